#include "runtime_file/CIniFile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>

#include "support/ReplacementFile.h"
#include "support/Sha256.h"
#include "support/UniqueHandle.h"

namespace {

constexpr wchar_t kByteOrderMark = 0xFEFF;
// Whether a file is UTF-16 is decided by the zero bytes among its first
// bytes: text in an 8-bit code page has none.
constexpr size_t kEncodingProbeBytes = 1024;

// wchar_t is an unsigned 16-bit type on Windows, so the standard comparison
// is the ordinal one: code units as unsigned numbers, a prefix first.
static_assert(sizeof(wchar_t) == 2 && static_cast<wchar_t>(-1) > 0, "ordinal order needs unsigned UTF-16 units");
bool OrdinalLess(std::wstring_view left, std::wstring_view right) { return left.compare(right) < 0; }

bool IsLineBlank(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == L'\n'; }

// Blanks at both ends are not part of a line or a key. CR is kept: in a text
// with CR LF line ends a lone CR belongs to the value it stands in.
std::wstring_view TrimBlanks(std::wstring_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsLineBlank(text[first])) ++first;
  while (last > first && IsLineBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::wstring_view CutSectionName(std::wstring_view name) {
  return name.size() >= CIniFile::kMaxNameChars ? name.substr(0, CIniFile::kMaxNameChars - 1) : name;
}

// Copies like lstrcpyn: at most size - 1 characters, always terminated when
// there is room for the terminator.
void CopyCut(std::wstring_view text, wchar_t* buffer, DWORD size) {
  if (size == 0) return;
  size_t count = text.size() < size - 1 ? text.size() : size - 1;
  if (count) std::wmemcpy(buffer, text.data(), count);
  buffer[count] = L'\0';
}

bool IsDecimalBlank(wchar_t ch) { return ch == L' ' || (ch >= L'\t' && ch <= L'\r'); }

int ParseDecimal(const wchar_t* text) {
  while (IsDecimalBlank(*text)) ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
  long long magnitude = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    // Beyond the 32-bit range the value is clamped, so further digits need
    // not be counted (and cannot overflow the accumulator).
    if (magnitude <= 2147483648LL) magnitude = magnitude * 10 + (*text - L'0');
  }
  long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void AppendDecimal(std::wstring& text, int value) {
  wchar_t digits[12];
  wchar_t* end = digits + 12;
  wchar_t* p = end;
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--p = L'-';
  text.append(p, end);
}

// A whole file's text, with room for one more character after it.
struct FileText {
  std::unique_ptr<wchar_t[]> block;
  wchar_t* text = nullptr;
  size_t length = 0;
};

bool ReadBytes(HANDLE file, void* buffer, DWORD size, DWORD& total) {
  total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!ReadFile(file, static_cast<char*>(buffer) + total, size - total, &got, nullptr)) return false;
    if (got == 0) break;  // the file shrank while we read it
    total += got;
  }
  return true;
}

// Reads a file's text: UTF-16 (one leading byte-order mark dropped) when a
// zero byte shows among its first bytes, else 8-bit text in the thread's
// code page. The text ends at the first zero unit. False when the file
// cannot be opened, sized or read, or is too large to be our text.
bool ReadFileText(const wchar_t* path, FileText& out) {
  yv::UniqueFileHandle file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD high = 0;
  DWORD size = GetFileSize(file.get(), &high);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (high != 0) return false;

  // Read straight into the block the text will live in; UTF-16 needs no
  // conversion, only a look at its first bytes.
  size_t units = size / 2 + 1;
  std::unique_ptr<wchar_t[]> block(new wchar_t[units + 1]);
  // Touching the new pages first makes the read a plain copy; a read into
  // pages never touched costs about twice as much under Wine.
  std::memset(block.get(), 0, size);
  DWORD got = 0;
  if (!ReadBytes(file.get(), block.get(), size, got)) return false;
  const char* bytes = reinterpret_cast<const char*>(block.get());
  size_t probe = got < kEncodingProbeBytes ? got : kEncodingProbeBytes;
  if (std::memchr(bytes, 0, probe)) {
    wchar_t* text = block.get();
    size_t length = got / 2;  // an odd last byte is no character
    if (length && text[0] == kByteOrderMark) {
      ++text;
      --length;
    }
    const wchar_t* zero = std::wmemchr(text, L'\0', length);
    if (zero) length = static_cast<size_t>(zero - text);
    out.text = text;
    out.length = length;
    out.block = std::move(block);
    return true;
  }

  if (got >= CIniFile::kMaxAnsiFileBytes) return false;
  const char* zero = static_cast<const char*>(std::memchr(bytes, 0, got));
  int length = static_cast<int>(zero ? zero - bytes : got);
  if (length == 0) {
    out.length = 0;
    return true;
  }
  int converted = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, nullptr, 0);
  if (converted <= 0) return false;
  std::unique_ptr<wchar_t[]> wide(new wchar_t[static_cast<size_t>(converted) + 1]);
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, wide.get(), converted) != converted) return false;
  out.text = wide.get();
  out.length = static_cast<size_t>(converted);
  out.block = std::move(wide);
  return true;
}

// The next CR LF at or after `from`, or npos.
size_t FindCrLf(const wchar_t* text, size_t length, size_t from) {
  while (from + 1 < length) {
    const wchar_t* cr = std::wmemchr(text + from, L'\r', length - from - 1);
    if (!cr) return std::wstring_view::npos;
    size_t at = static_cast<size_t>(cr - text);
    if (text[at + 1] == L'\n') return at;
    from = at + 1;
  }
  return std::wstring_view::npos;
}

}  // namespace

CIniFile::CIniFile() = default;

CIniFile::CIniFile(const yv::_stringw& path) : path_(path) {}

CIniFile::~CIniFile() = default;

void CIniFile::Clear() {
  sections_.Clear();
  entries_.Clear();
  sectionIndex_.Clear();
  keyIndexes_.clear();
  arena_.Clear();
  sectionsSorted_ = true;
  recent_ = kNone;
}

bool CIniFile::Load() {
  FileText file;
  if (!ReadFileText(path_.c_str(), file)) return false;
  if (file.length == 0) return true;
  Parse(file.text, file.length);
  // Names and values point into the text: the document keeps it.
  arena_.Adopt(std::move(file.block));
  return true;
}

void CIniFile::Parse(wchar_t* text, size_t length) {
  // There is always room for this one character after the text.
  if (text[length - 1] != L'\n') text[length++] = L'\n';

  // A line ends at the next CR LF; only once no CR LF is left anywhere in the
  // rest of the text do single LFs end lines. So a text mixing the two keeps
  // everything before its last CR LF on CR LF lines.
  uint32_t current = kNone;
  size_t start = 0;
  bool crLfLeft = true;
  while (start < length) {
    size_t end = std::wstring_view::npos;
    size_t separator = 2;
    if (crLfLeft) {
      end = FindCrLf(text, length, start);
      crLfLeft = end != std::wstring_view::npos;
    }
    if (!crLfLeft) {
      const wchar_t* lf = std::wmemchr(text + start, L'\n', length - start);
      if (!lf) break;
      end = static_cast<size_t>(lf - text);
      separator = 1;
    }
    ParseLine(std::wstring_view(text + start, end - start), current);
    start = end + separator;
  }
}

void CIniFile::ParseLine(std::wstring_view line, uint32_t& current) {
  line = TrimBlanks(line);
  if (line.empty() || line[0] == L';') return;
  if (line[0] == L'[') {
    size_t close = line.find(L']', 1);
    if (close != std::wstring_view::npos) {
      // A header met again starts its section afresh.
      current = GetOrAddSection(line.substr(1, close - 1), false);
      EmptySection(sections_[current]);
      return;
    }
  }
  size_t equals = line.find(L'=');
  if (equals == std::wstring_view::npos || current == kNone) return;
  SetEntry(current, TrimBlanks(line.substr(0, equals)), line.substr(equals + 1), false);
}

bool CIniFile::Save(const yv::_stringw& destination, yv::Sha256* digest) {
  // The document goes into a new file that replaces the old one only when
  // every byte is written: a full disk leaves the last complete version.
  yv::ReplacementFile replacement(destination);
  if (!replacement.valid()) return false;
  yv::UniqueFileHandle file(CreateFileW(replacement.path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;

  // The text goes out through one modest buffer in large writes: a runtime
  // data file can hold hundreds of thousands of lines, each write is a
  // system call, and a buffer the size of the file would be fresh memory
  // that costs more to touch than to fill. A failed write fails the save.
  constexpr size_t kFlushChars = 64 * 1024;
  std::wstring text;
  text.reserve(kFlushChars + 1024);
  bool writing = true;
  auto flush = [&] {
    const char* data = reinterpret_cast<const char*>(text.data());
    size_t remaining = text.size() * sizeof(wchar_t);
    if (digest) digest->Update(data, remaining);
    while (writing && remaining) {
      DWORD chunk = static_cast<DWORD>(remaining < (16u << 20) ? remaining : (16u << 20));
      DWORD written = 0;
      writing = WriteFile(file.get(), data, chunk, &written, nullptr) && written != 0;
      data += written;
      remaining -= written;
    }
    text.clear();
  };

  text.push_back(kByteOrderMark);
  bool first = true;
  std::vector<uint32_t> order;
  for (uint32_t s : OrderedSections()) {
    const Section& section = sections_[s];
    if (!first) text.append(L"\r\n", 2);
    first = false;
    text.push_back(L'[');
    text.append(section.name());
    text.append(L"]\r\n", 3);
    OrderedEntries(section, order);
    for (uint32_t e : order) {
      const Entry& entry = entries_[e];
      text.append(entry.key());
      text.push_back(L'=');
      text.append(entry.value());
      text.append(L"\r\n", 2);
      if (text.size() >= kFlushChars) flush();
    }
  }
  flush();
  file.reset();
  if (!writing || !replacement.Commit()) return false;
  path_ = destination;
  return true;
}

std::vector<uint32_t> CIniFile::OrderedSections() const {
  std::vector<uint32_t> order(sections_.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  if (!sectionsSorted_) {
    std::sort(order.begin(), order.end(),
              [this](uint32_t l, uint32_t r) { return OrdinalLess(sections_[l].name(), sections_[r].name()); });
  }
  return order;
}

void CIniFile::OrderedEntries(const Section& section, std::vector<uint32_t>& order) const {
  order.clear();
  for (uint32_t e = section.first; e != kNone; e = entries_[e].next) order.push_back(e);
  if (!section.sorted) {
    std::sort(order.begin(), order.end(),
              [this](uint32_t l, uint32_t r) { return OrdinalLess(entries_[l].key(), entries_[r].key()); });
  }
}

uint32_t CIniFile::FindSection(const wchar_t* name) const {
  return name ? FindSection(std::wstring_view(name)) : kNone;
}

uint32_t CIniFile::FindSection(std::wstring_view name) const {
  name = CutSectionName(name);
  if (recent_ != kNone && sections_[recent_].name() == name) return recent_;
  uint32_t found = sectionIndex_.Find(name, [this](uint32_t i) { return sections_[i].name(); });
  if (found != kNone) recent_ = found;
  return found;
}

uint32_t CIniFile::GetOrAddSection(std::wstring_view name, bool copyName) {
  name = CutSectionName(name);
  uint32_t found = FindSection(name);
  if (found == kNone) {
    if (copyName) name = arena_.Copy(name);
    if (sections_.size() && !OrdinalLess(sections_[static_cast<uint32_t>(sections_.size() - 1)].name(), name)) {
      sectionsSorted_ = false;
    }
    found = sections_.Add(Section{name.data(), static_cast<uint32_t>(name.size()), kNone, kNone, 0, kNone, true});
    sectionIndex_.Insert(name, found);
    recent_ = found;
  }
  return found;
}

void CIniFile::EmptySection(Section& section) {
  // The entries (and any hash of their keys) stay, unreachable, until the
  // document is cleared.
  section.first = section.last = kNone;
  section.count = 0;
  section.sorted = true;
  section.keyIndex = kNone;
}

uint32_t CIniFile::FindEntry(const Section& section, std::wstring_view key) const {
  if (section.count <= kLinearSearchLimit) {
    for (uint32_t e = section.first; e != kNone; e = entries_[e].next) {
      if (entries_[e].key() == key) return e;
    }
    return kNone;
  }
  if (section.keyIndex == kNone) {
    section.keyIndex = static_cast<uint32_t>(keyIndexes_.size());
    NameIndex& keys = keyIndexes_.emplace_back();
    for (uint32_t e = section.first; e != kNone; e = entries_[e].next) keys.Insert(entries_[e].key(), e);
  }
  return keyIndexes_[section.keyIndex].Find(key, [this](uint32_t e) { return entries_[e].key(); });
}

void CIniFile::SetEntry(uint32_t sectionIndex, std::wstring_view key, std::wstring_view value, bool copyTexts) {
  Section& section = sections_[sectionIndex];
  // Saved files list keys in order, so a new key usually goes at the end.
  bool after = section.last == kNone || OrdinalLess(entries_[section.last].key(), key);
  if (!(section.sorted && after)) {
    uint32_t existing = FindEntry(section, key);
    if (existing != kNone) {
      // The key is taken anew with the value, so the two stay together.
      Fill(entries_[existing], key, value, copyTexts);
      return;
    }
    if (!after) section.sorted = false;
  }
  Entry entry;
  Fill(entry, key, value, copyTexts);
  entry.next = kNone;
  uint32_t added = entries_.Add(entry);
  if (section.last == kNone) {
    section.first = added;
  } else {
    entries_[section.last].next = added;
  }
  section.last = added;
  ++section.count;
  if (section.keyIndex != kNone) keyIndexes_[section.keyIndex].Insert(entries_[added].key(), added);
}

void CIniFile::Fill(Entry& entry, std::wstring_view key, std::wstring_view value, bool copyTexts) {
  if (copyTexts) {
    entry.keyText = arena_.CopyTogether(key, value);
    entry.valueOffset = static_cast<int32_t>(key.size());
  } else {
    // Both lie in one line of the text, which is shorter than 2^31
    // characters (a file's size fits 32 bits).
    entry.keyText = key.data();
    entry.valueOffset = static_cast<int32_t>(value.data() - key.data());
  }
  entry.keyLength = static_cast<uint32_t>(key.size());
  entry.valueLength = static_cast<uint32_t>(value.size());
}

bool CIniFile::GetString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                         DWORD bufferChars) const {
  if (!buffer) return false;
  uint32_t found = FindSection(section);
  if (found == kNone) {
    CopyCut(defaultText ? defaultText : L"", buffer, bufferChars);
    return false;
  }
  uint32_t entry = FindEntry(sections_[found], key ? key : L"");
  CopyCut(entry != kNone ? entries_[entry].value() : std::wstring_view(), buffer, bufferChars);
  return true;
}

bool CIniFile::GetString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                         yv::_stringw& value) const {
  uint32_t found = FindSection(section);
  if (found == kNone) {
    value = defaultText ? defaultText : L"";
    return false;
  }
  uint32_t entry = FindEntry(sections_[found], key ? key : L"");
  if (entry != kNone) {
    std::wstring_view found = entries_[entry].value();
    value.assign(found.data(), found.size());
  } else {
    value.clear();
  }
  return true;
}

std::wstring_view CIniFile::Value(const wchar_t* section, const wchar_t* key) const {
  uint32_t found = FindSection(section);
  if (found == kNone) return std::wstring_view();
  uint32_t entry = FindEntry(sections_[found], key ? key : L"");
  return entry != kNone ? entries_[entry].value() : std::wstring_view();
}

int CIniFile::GetInt(const wchar_t* section, const wchar_t* key, int defaultValue) const {
  wchar_t text[kIntegerChars];
  if (!GetString(section, key, L"", text, kIntegerChars) || text[0] == L'\0') return defaultValue;
  return ParseDecimal(text);
}

bool CIniFile::GetIndexedString(const wchar_t* section, const wchar_t* keyFormat, int index, const wchar_t* defaultText,
                                yv::_stringw& value) const {
  std::wstring key = IndexedKeyName(keyFormat, index);
  return GetString(section, key.c_str(), defaultText, value);
}

bool CIniFile::SetString(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  return SetString(section, key, std::wstring_view(value ? value : L""));
}

bool CIniFile::SetString(const wchar_t* section, const wchar_t* key, std::wstring_view value) {
  if (!section) return false;
  SetEntry(GetOrAddSection(section, true), key ? key : L"", value, true);
  return true;
}

bool CIniFile::SetInt(const wchar_t* section, const wchar_t* key, int value) {
  return SetString(section, key, std::wstring_view(DecimalText(value)));
}

bool CIniFile::HasSection(const wchar_t* section) const { return FindSection(section) != kNone; }

std::vector<int> CIniFile::IndexedKeys(const wchar_t* section, const wchar_t* keyFormat) const {
  std::vector<int> indices;
  uint32_t found = FindSection(section);
  if (found == kNone || !keyFormat) return indices;
  std::wstring_view format(keyFormat);
  size_t marker = format.find(L'%');
  if (marker == std::wstring_view::npos || format.substr(marker, 2) != L"%d" ||
      format.find(L'%', marker + 2) != std::wstring_view::npos) {
    return indices;
  }
  std::wstring_view prefix = format.substr(0, marker);
  std::wstring_view suffix = format.substr(marker + 2);
  for (uint32_t e = sections_[found].first; e != kNone; e = entries_[e].next) {
    std::wstring_view key = entries_[e].key();
    if (key.size() < prefix.size() + suffix.size() + 1 || key.substr(0, prefix.size()) != prefix ||
        key.substr(key.size() - suffix.size()) != suffix) {
      continue;
    }
    std::wstring_view digits = key.substr(prefix.size(), key.size() - prefix.size() - suffix.size());
    // Only the spelling that "%d" gives a positive index can be looked up.
    if (digits.size() > 10 || digits[0] < L'1' || digits[0] > L'9') continue;
    long long number = 0;
    bool allDigits = true;
    for (wchar_t ch : digits) {
      if (ch < L'0' || ch > L'9') {
        allDigits = false;
        break;
      }
      number = number * 10 + (ch - L'0');
    }
    if (allDigits && number <= INT_MAX) indices.push_back(static_cast<int>(number));
  }
  std::sort(indices.begin(), indices.end());
  return indices;
}

std::vector<std::wstring> CIniFile::SectionNames() const {
  std::vector<std::wstring> names;
  for (uint32_t s : OrderedSections()) names.emplace_back(sections_[s].name());
  return names;
}

std::vector<std::pair<std::wstring, std::wstring>> CIniFile::SectionEntries(const wchar_t* section) const {
  std::vector<std::pair<std::wstring, std::wstring>> entries;
  uint32_t found = FindSection(section);
  if (found == kNone) return entries;
  std::vector<uint32_t> order;
  OrderedEntries(sections_[found], order);
  for (uint32_t e : order) entries.emplace_back(entries_[e].key(), entries_[e].value());
  return entries;
}

std::wstring CIniFile::IndexedKeyName(const wchar_t* keyFormat, int index) {
  std::wstring key;
  std::wstring_view format(keyFormat ? keyFormat : L"");
  size_t marker = format.find(L'%');
  if (marker != std::wstring_view::npos && format.substr(marker, 2) == L"%d" &&
      format.find(L'%', marker + 2) == std::wstring_view::npos) {
    // The formats in use are a word and the index; spelled out here, since
    // list keys are made hundreds of thousands of times per file.
    key.assign(format.substr(0, marker));
    AppendDecimal(key, index);
    key.append(format.substr(marker + 2));
  } else {
    yv::_stringw formatted;
    formatted.format(std::wstring(format).c_str(), index);
    key.assign(formatted.data(), formatted.size());
  }
  if (key.size() >= kMaxNameChars) key.resize(kMaxNameChars - 1);
  return key;
}

std::wstring CIniFile::DecimalText(int value) {
  std::wstring text;
  AppendDecimal(text, value);
  return text;
}
