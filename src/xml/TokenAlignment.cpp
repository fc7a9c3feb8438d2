#include "xml/TokenAlignment.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

namespace xmlutils {

namespace {

// A piece with everything it holds: kind, name, value and each attribute.
// Equal keys are the same piece in the strict sense, and so also in
// SameXmlPiece's.
std::wstring StrictKey(const XmlToken& token) {
  std::wstring key(1, static_cast<wchar_t>(L'0' + static_cast<int>(token.kind)));
  key += token.name;
  key += L'\x1';
  key += token.value;
  for (const XmlAttributeToken& attribute : token.attributes) {
    key += L'\x1';
    key += attribute.name;
    key += L'=';
    key += attribute.value;
  }
  return key;
}

std::vector<std::wstring> StrictKeys(const std::vector<XmlToken>& tokens) {
  std::vector<std::wstring> keys;
  keys.reserve(tokens.size());
  for (const XmlToken& token : tokens) keys.push_back(StrictKey(token));
  return keys;
}

// Where each key that occurs exactly once stands; -1 for one that repeats.
std::unordered_map<std::wstring, long> PlacesOfKeys(const std::vector<std::wstring>& keys) {
  std::unordered_map<std::wstring, long> places;
  for (long i = 0; i < static_cast<long>(keys.size()); ++i) {
    auto [place, inserted] = places.emplace(keys[i], i);
    if (!inserted) place->second = -1;
  }
  return places;
}

// Pieces that occur once in each sequence, unchanged, kept in the order of
// both (the longest such run, found by patience sorting): between them
// the changes lie in short stretches, each lined up on its own.
std::vector<std::pair<long, long>> UnchangedAnchors(const std::vector<XmlToken>& before,
                                                    const std::vector<XmlToken>& after) {
  std::vector<std::wstring> beforeKeys = StrictKeys(before), afterKeys = StrictKeys(after);
  std::unordered_map<std::wstring, long> inBefore = PlacesOfKeys(beforeKeys), inAfter = PlacesOfKeys(afterKeys);
  std::vector<std::pair<long, long>> candidates;  // (after, before), in the order of `after`
  for (long j = 0; j < static_cast<long>(afterKeys.size()); ++j) {
    auto b = inBefore.find(afterKeys[j]);
    if (b != inBefore.end() && b->second >= 0 && inAfter[afterKeys[j]] == j) candidates.emplace_back(j, b->second);
  }
  std::vector<long> tails, previous(candidates.size(), -1);
  for (long i = 0; i < static_cast<long>(candidates.size()); ++i) {
    auto later = std::lower_bound(tails.begin(), tails.end(), candidates[i].second,
                                  [&](long tail, long place) { return candidates[tail].second < place; });
    if (later != tails.begin()) previous[i] = *(later - 1);
    if (later == tails.end()) {
      tails.push_back(i);
    } else {
      *later = i;
    }
  }
  std::vector<std::pair<long, long>> anchors;
  for (long i = tails.empty() ? -1 : tails.back(); i >= 0; i = previous[i]) anchors.push_back(candidates[i]);
  std::reverse(anchors.begin(), anchors.end());
  return anchors;
}

// Myers' difference of before[beforeFrom, beforeTo) and after[afterFrom,
// afterTo), entered into `match`.
bool AlignStretch(const std::vector<XmlToken>& before, long beforeFrom, long beforeTo,
                  const std::vector<XmlToken>& after, long afterFrom, long afterTo, long maxEdits,
                  std::vector<long>& match) {
  long n = beforeTo, m = afterTo;
  // The same start and end need no search; most changes touch a few places.
  long prefix = 0;
  while (beforeFrom + prefix < n && afterFrom + prefix < m &&
         SameXmlPiece(before[beforeFrom + prefix], after[afterFrom + prefix])) {
    match[afterFrom + prefix] = beforeFrom + prefix;
    ++prefix;
  }
  beforeFrom += prefix;
  afterFrom += prefix;
  long suffix = 0;
  while (suffix < n - beforeFrom && suffix < m - afterFrom &&
         SameXmlPiece(before[n - 1 - suffix], after[m - 1 - suffix])) {
    match[m - 1 - suffix] = n - 1 - suffix;
    ++suffix;
  }
  const XmlToken* a = before.data() + beforeFrom;
  const XmlToken* b = after.data() + afterFrom;
  long rows = n - beforeFrom - suffix, columns = m - afterFrom - suffix;
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
      match[static_cast<size_t>(afterFrom + y)] = beforeFrom + x;
    }
    x = priorX, y = priorY;
  }
  while (x > 0 && y > 0) {
    --x, --y;
    match[static_cast<size_t>(afterFrom + y)] = beforeFrom + x;
  }
  return true;
}

}  // namespace

bool AlignTokens(const std::vector<XmlToken>& before, const std::vector<XmlToken>& after, long maxEdits,
                 std::vector<long>& match) {
  match.assign(after.size(), -1);
  long beforeFrom = 0, afterFrom = 0;
  for (const auto& [afterAt, beforeAt] : UnchangedAnchors(before, after)) {
    if (!AlignStretch(before, beforeFrom, beforeAt, after, afterFrom, afterAt, maxEdits, match)) return false;
    match[afterAt] = beforeAt;
    beforeFrom = beforeAt + 1;
    afterFrom = afterAt + 1;
  }
  return AlignStretch(before, beforeFrom, static_cast<long>(before.size()), after, afterFrom,
                      static_cast<long>(after.size()), maxEdits, match);
}

}  // namespace xmlutils
