#pragma once

#include <string>
#include <vector>

// A unified diff of two texts, line by line, with three lines of context.
//
// Lines are compared with their line break, so a file whose only change is
// CR LF for LF still shows every line as changed: the preview reports the
// bytes an installation would write. The shortest edit script comes from
// Myers' O((N+M)D) algorithm, which stays fast for the small edits that
// configuration changes make to large files.
class CLineDiff {
 public:
  // Texts in UTF-8 (or any byte encoding with '\n' line breaks).
  CLineDiff(const std::string& before, const std::string& after);

  bool empty() const noexcept { return !changed_; }
  // The hunks, each beginning "@@ -a,b +c,d @@", lines prefixed by ' ', '-'
  // or '+', a last line without a break followed by "\ No newline at end of
  // file". The caller writes the "---" and "+++" header lines.
  std::string Hunks() const;

  static constexpr size_t kContext = 3;
  // Beyond this many changed lines the middle is shown as one removed and
  // one added block: the search's memory grows with the square of it.
  static constexpr size_t kMaxEditDistance = 2000;

 private:
  enum class Op { kKeep, kRemove, kAdd };
  struct Edit {
    Op op;
    size_t line;  // index into before_ (keep, remove) or after_ (add)
  };

  static std::vector<std::string> SplitLines(const std::string& text);
  void ComputeEdits();
  // The edits that turn before_[beforeBegin, beforeEnd) into
  // after_[afterBegin, afterEnd).
  std::vector<Edit> MiddleEdits(size_t beforeBegin, size_t beforeEnd, size_t afterBegin, size_t afterEnd);
  void AppendLine(std::string& out, char prefix, const std::string& line) const;

  std::vector<std::string> before_;
  std::vector<std::string> after_;
  std::vector<Edit> edits_;
  bool changed_ = false;
};
