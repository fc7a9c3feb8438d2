#include "CLineDiff.h"

#include <algorithm>

CLineDiff::CLineDiff(const std::string& before, const std::string& after)
    : before_(SplitLines(before)), after_(SplitLines(after)) {
  ComputeEdits();
}

// Each line keeps its "\n" (and a "\r" before it), so that a changed line
// break or a missing last break counts as a change.
std::vector<std::string> CLineDiff::SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size() - 1;
    lines.push_back(text.substr(start, end - start + 1));
    start = end + 1;
  }
  return lines;
}

void CLineDiff::ComputeEdits() {
  // The common head and tail are kept as they are; only the middle is
  // searched.
  size_t head = 0;
  while (head < before_.size() && head < after_.size() && before_[head] == after_[head]) ++head;
  size_t tail = 0;
  while (tail < before_.size() - head && tail < after_.size() - head &&
         before_[before_.size() - 1 - tail] == after_[after_.size() - 1 - tail])
    ++tail;
  for (size_t line = 0; line < head; ++line) edits_.push_back({Op::kKeep, line});
  std::vector<Edit> middle = MiddleEdits(head, before_.size() - tail, head, after_.size() - tail);
  edits_.insert(edits_.end(), middle.begin(), middle.end());
  for (size_t line = before_.size() - tail; line < before_.size(); ++line) edits_.push_back({Op::kKeep, line});
}

std::vector<CLineDiff::Edit> CLineDiff::MiddleEdits(size_t beforeBegin, size_t beforeEnd, size_t afterBegin,
                                                    size_t afterEnd) {
  const long n = static_cast<long>(beforeEnd - beforeBegin);
  const long m = static_cast<long>(afterEnd - afterBegin);
  auto same = [&](long x, long y) { return before_[beforeBegin + x] == after_[afterBegin + y]; };
  auto replaceAll = [&]() {
    std::vector<Edit> edits;
    for (long x = 0; x < n; ++x) edits.push_back({Op::kRemove, beforeBegin + x});
    for (long y = 0; y < m; ++y) edits.push_back({Op::kAdd, afterBegin + y});
    return edits;
  };
  if (n == 0 || m == 0) {
    changed_ = n + m > 0;
    return replaceAll();
  }
  changed_ = true;
  // Myers' greedy search. v[k + offset] is the furthest x reached on
  // diagonal k = x - y; trace[d] keeps v before step d (diagonals -d..d
  // only), so that the path can be walked back.
  const long max = std::min(n + m, static_cast<long>(kMaxEditDistance));
  const long offset = max + 1;
  std::vector<long> v(2 * max + 3, 0);
  std::vector<std::vector<long>> trace;
  long found = -1;
  for (long d = 0; d <= max && found < 0; ++d) {
    trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
    for (long k = -d; k <= d; k += 2) {
      long x = (k == -d || (k != d && v[k - 1 + offset] < v[k + 1 + offset])) ? v[k + 1 + offset]
                                                                              : v[k - 1 + offset] + 1;
      long y = x - k;
      while (x < n && y < m && same(x, y)) ++x, ++y;
      v[k + offset] = x;
      if (x >= n && y >= m) {
        found = d;
        break;
      }
    }
  }
  // Too far apart to be worth the search (a whole file rewritten): one
  // block out, one block in.
  if (found < 0) return replaceAll();

  long x = n, y = m;
  std::vector<Edit> reversed;
  for (long d = found; d > 0; --d) {
    const std::vector<long>& pv = trace[d];  // pv[k + d] is v[k] before step d
    long k = x - y;
    long previousK = (k == -d || (k != d && pv[k - 1 + d] < pv[k + 1 + d])) ? k + 1 : k - 1;
    long previousX = pv[previousK + d];
    long previousY = previousX - previousK;
    while (x > previousX && y > previousY) {
      --x, --y;
      reversed.push_back({Op::kKeep, beforeBegin + x});
    }
    if (x == previousX) {
      reversed.push_back({Op::kAdd, afterBegin + --y});
    } else {
      reversed.push_back({Op::kRemove, beforeBegin + --x});
    }
  }
  while (x > 0 && y > 0) {
    --x, --y;
    reversed.push_back({Op::kKeep, beforeBegin + x});
  }
  return std::vector<Edit>(reversed.rbegin(), reversed.rend());
}

void CLineDiff::AppendLine(std::string& out, char prefix, const std::string& line) const {
  out += prefix;
  bool broken = !line.empty() && line.back() == '\n';
  std::string text = broken ? line.substr(0, line.size() - 1) : line;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  out += text;
  out += '\n';
  if (!broken) out += "\\ No newline at end of file\n";
}

std::string CLineDiff::Hunks() const {
  std::string out;
  const size_t count = edits_.size();
  size_t i = 0;
  // Line numbers (0-based) in before_ and after_ at edit i.
  std::vector<size_t> beforeAt(count + 1), afterAt(count + 1);
  for (size_t e = 0, b = 0, a = 0; e <= count; ++e) {
    beforeAt[e] = b;
    afterAt[e] = a;
    if (e == count) break;
    if (edits_[e].op != Op::kAdd) ++b;
    if (edits_[e].op != Op::kRemove) ++a;
  }
  while (i < count) {
    if (edits_[i].op == Op::kKeep) {
      ++i;
      continue;
    }
    // A hunk: from kContext lines before this change to kContext lines after
    // the last change that lies within 2 * kContext kept lines of the next.
    size_t start = i >= kContext ? i - kContext : 0;
    while (start < i && edits_[start].op != Op::kKeep) ++start;
    size_t end = i;
    for (;;) {
      while (end < count && edits_[end].op != Op::kKeep) ++end;
      size_t kept = end;
      while (kept < count && edits_[kept].op == Op::kKeep && kept - end < 2 * kContext) ++kept;
      if (kept < count && edits_[kept].op != Op::kKeep) {
        end = kept;
        continue;
      }
      end = std::min(count, end + kContext);
      break;
    }
    size_t beforeLines = beforeAt[end] - beforeAt[start];
    size_t afterLines = afterAt[end] - afterAt[start];
    // An empty side is numbered by the line before it, as diff does.
    size_t beforeFirst = beforeLines ? beforeAt[start] + 1 : beforeAt[start];
    size_t afterFirst = afterLines ? afterAt[start] + 1 : afterAt[start];
    out += "@@ -" + std::to_string(beforeFirst) + "," + std::to_string(beforeLines) + " +" +
           std::to_string(afterFirst) + "," + std::to_string(afterLines) + " @@\n";
    for (size_t e = start; e < end; ++e) {
      const Edit& edit = edits_[e];
      switch (edit.op) {
        case Op::kKeep:
          AppendLine(out, ' ', before_[edit.line]);
          break;
        case Op::kRemove:
          AppendLine(out, '-', before_[edit.line]);
          break;
        case Op::kAdd:
          AppendLine(out, '+', after_[edit.line]);
          break;
      }
    }
    i = end;
  }
  return out;
}
