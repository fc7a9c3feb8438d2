#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime_file/ChunkedPool.h"
#include "runtime_file/NameIndex.h"
#include "runtime_file/TextArena.h"
#include "support/stringw.h"

// The module's own INI document: sections of keys and values, read from a
// file in one pass, queried and changed in memory, written back in one pass.
// The operating system's profile functions are not used: they are slow, and
// their parsing and lookup rules are not ours to fix.
//
// Reading accepts UTF-16 with or without a byte-order mark, or 8-bit text in
// the thread's ANSI code page, with CR LF or LF line ends, ';' comment lines
// and blanks around keys. Writing always produces UTF-16 little-endian with a
// byte-order mark and CR LF line ends, sections and keys in ordinal order
// (UTF-16 code units compared as unsigned numbers).
//
// Section and key names are matched exactly and case-sensitively. A section
// name passes through a buffer of kMaxNameChars characters wherever it
// enters the document or is looked up, so longer names are cut to
// kMaxNameChars - 1 characters everywhere alike: two names that agree in
// their first 259 characters name the same section.
//
// The default text of a lookup applies only when the whole section is
// absent; an absent key in an existing section reads as an empty text.
namespace yv {
class Sha256;
}  // namespace yv

class CIniFile {
 public:
  static constexpr DWORD kMaxNameChars = 260;
  static constexpr DWORD kIntegerChars = 260;
  // 8-bit files of this size or larger are refused.
  static constexpr DWORD kMaxAnsiFileBytes = 1u << 30;

  CIniFile();
  explicit CIniFile(const yv::_stringw& path);
  ~CIniFile();
  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;

  const yv::_stringw& path() const noexcept { return path_; }
  void SetPath(const yv::_stringw& path) { path_ = path; }
  // Forgets every section.
  void Clear();

  // Reads the file at path() and merges what it defines into the document:
  // sections it does not mention stay, a section it mentions is emptied at
  // each of its headers. Returns false, with the document unchanged, when
  // the file cannot be opened or read.
  bool Load();

  // Writes the whole document to `destination`, replacing any file there in
  // one step. False when any byte could not be written or the file not be
  // replaced: `destination` then keeps what it held, and path() stays.
  // With `digest`, every byte written is fed to it as well.
  bool Save(const yv::_stringw& destination, yv::Sha256* digest = nullptr);

  // Copies the value into `buffer`, cut to bufferChars - 1 characters and
  // terminated. An absent key in an existing section gives an empty text and
  // true; an absent section gives `defaultText` and false; a null buffer
  // gives false.
  bool GetString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, wchar_t* buffer,
                 DWORD bufferChars) const;
  // The value as stored, whole; empty when the section or key is absent.
  // Valid until the document changes.
  std::wstring_view Value(const wchar_t* section, const wchar_t* key) const;
  // The same lookup, with the value taken whole.
  bool GetString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText, yv::_stringw& value) const;

  // The value as a signed decimal (leading blanks skipped, optional sign,
  // digits up to the first non-digit, clamped to 32 bits, no digits giving
  // 0), or `defaultValue` when the section or key is absent or the value is
  // empty.
  int GetInt(const wchar_t* section, const wchar_t* key, int defaultValue) const;

  // GetString for the key made of `keyFormat` (printf-style, one integer)
  // filled with `index`; the value is taken whole.
  bool GetIndexedString(const wchar_t* section, const wchar_t* keyFormat, int index, const wchar_t* defaultText,
                        yv::_stringw& value) const;

  // Sets the key, creating the section and the key when absent. False only
  // for a null section name.
  bool SetString(const wchar_t* section, const wchar_t* key, const wchar_t* value);
  bool SetString(const wchar_t* section, const wchar_t* key, std::wstring_view value);
  // Sets the key to the integer in signed decimal.
  bool SetInt(const wchar_t* section, const wchar_t* key, int value);

  bool HasSection(const wchar_t* section) const;

  // Every n >= 1, in ascending order, for which the key that
  // GetIndexedString makes of `keyFormat` and n exists in `section`. Lets a
  // caller walk a numbered list whose count it cannot trust without visiting
  // billions of absent entries.
  std::vector<int> IndexedKeys(const wchar_t* section, const wchar_t* keyFormat) const;

  // Copies of the document's names and values in the order Save writes
  // them, for callers that inspect a document as a whole.
  std::vector<std::wstring> SectionNames() const;
  std::vector<std::pair<std::wstring, std::wstring>> SectionEntries(const wchar_t* section) const;

  // The key that GetIndexedString looks up: `keyFormat` filled with `index`,
  // cut to kMaxNameChars - 1 characters.
  static std::wstring IndexedKeyName(const wchar_t* keyFormat, int index);
  // `value` in signed decimal, as "%d" writes it.
  static std::wstring DecimalText(int value);

 private:
  static constexpr uint32_t kNone = NameIndex::kNotFound;
  // Names and values are views into arena_ (or into a loaded file's text,
  // which the arena keeps), and entries and sections live in pools of
  // fixed-size blocks: a document of a few hundred thousand keys is a few
  // dozen allocations rather than a million.
  // 24 bytes: the value is found from where the key starts, since both come
  // from one line of a file or one copy into the arena.
  struct Entry {
    const wchar_t* keyText;
    uint32_t keyLength;
    int32_t valueOffset;
    uint32_t valueLength;
    uint32_t next;  // the section's next entry, or kNone
    std::wstring_view key() const { return std::wstring_view(keyText, keyLength); }
    std::wstring_view value() const { return std::wstring_view(keyText + valueOffset, valueLength); }
  };
  // 32 bytes.
  struct Section {
    const wchar_t* nameText;
    uint32_t nameLength;
    uint32_t first;
    uint32_t last;
    uint32_t count;
    // Position in keyIndexes_ of the hash of this section's keys, built when
    // a large section is first searched; kNone until then.
    mutable uint32_t keyIndex;
    // Whether the entries are in ordinal key order, as in a saved file.
    bool sorted;
    std::wstring_view name() const { return std::wstring_view(nameText, nameLength); }
  };
  // Sections up to this size are searched key by key.
  static constexpr uint32_t kLinearSearchLimit = 16;

  uint32_t FindSection(const wchar_t* name) const;
  uint32_t FindSection(std::wstring_view name) const;
  uint32_t GetOrAddSection(std::wstring_view name, bool copyName);
  void EmptySection(Section& section);
  uint32_t FindEntry(const Section& section, std::wstring_view key) const;
  void SetEntry(uint32_t section, std::wstring_view key, std::wstring_view value, bool copyTexts);
  // Points `entry` at the key and value, copying both when asked.
  void Fill(Entry& entry, std::wstring_view key, std::wstring_view value, bool copyTexts);
  // Sections, and the entries of one section, in the order Save writes them.
  std::vector<uint32_t> OrderedSections() const;
  void OrderedEntries(const Section& section, std::vector<uint32_t>& order) const;
  void Parse(wchar_t* text, size_t length);
  void ParseLine(std::wstring_view line, uint32_t& current);

  yv::_stringw path_;
  TextArena arena_;
  ChunkedPool<Entry> entries_;
  ChunkedPool<Section> sections_;
  NameIndex sectionIndex_;
  mutable std::vector<NameIndex> keyIndexes_;
  // Whether sections were added in ordinal name order.
  bool sectionsSorted_ = true;
  // The section of the last lookup or change: callers work through one
  // section key after key.
  mutable uint32_t recent_ = kNone;
};
