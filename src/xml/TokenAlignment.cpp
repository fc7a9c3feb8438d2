#include "xml/TokenAlignment.h"

namespace xmlutils {

bool AlignTokens(const std::vector<XmlToken>& before, const std::vector<XmlToken>& after, long maxEdits,
                 std::vector<long>& match) {
  match.assign(after.size(), -1);
  long n = static_cast<long>(before.size()), m = static_cast<long>(after.size());
  // The same start and end need no search; most changes touch a few places.
  long prefix = 0;
  while (prefix < n && prefix < m && SameXmlPiece(before[prefix], after[prefix])) {
    match[prefix] = prefix;
    ++prefix;
  }
  long suffix = 0;
  while (suffix < n - prefix && suffix < m - prefix && SameXmlPiece(before[n - 1 - suffix], after[m - 1 - suffix])) {
    match[m - 1 - suffix] = n - 1 - suffix;
    ++suffix;
  }
  const XmlToken* a = before.data() + prefix;
  const XmlToken* b = after.data() + prefix;
  long rows = n - prefix - suffix, columns = m - prefix - suffix;
  long limit = std::min(rows + columns, maxEdits);
  // far[k] is the furthest row reached on diagonal k = row - column; the
  // trace keeps it for every number of edits, for the way back.
  std::vector<long> far(static_cast<size_t>(2 * limit + 3), 0);
  auto at = [&](long k) -> long& { return far[static_cast<size_t>(k + limit + 1)]; };
  std::vector<std::vector<long>> trace;
  long edits = -1;
  for (long d = 0; d <= limit && edits < 0; ++d) {
    for (long k = -d; k <= d; k += 2) {
      long x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
      long y = x - k;
      while (x < rows && y < columns && SameXmlPiece(a[x], b[y])) ++x, ++y;
      at(k) = x;
      if (x >= rows && y >= columns) edits = d;
    }
    trace.emplace_back(far.begin() + (limit + 1 - d), far.begin() + (limit + 2 + d));
  }
  if (edits < 0) return false;
  long x = rows, y = columns;
  for (long d = edits; d > 0; --d) {
    const std::vector<long>& previous = trace[static_cast<size_t>(d - 1)];
    auto prior = [&](long k) { return previous[static_cast<size_t>(k + d - 1)]; };
    long k = x - y;
    long priorK = (k == -d || (k != d && prior(k - 1) < prior(k + 1))) ? k + 1 : k - 1;
    long priorX = prior(priorK), priorY = priorX - priorK;
    while (x > priorX && y > priorY) {
      --x, --y;
      match[static_cast<size_t>(prefix + y)] = prefix + x;
    }
    x = priorX, y = priorY;
  }
  while (x > 0 && y > 0) {
    --x, --y;
    match[static_cast<size_t>(prefix + y)] = prefix + x;
  }
  return true;
}

}  // namespace xmlutils
