#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"

// Helpers shared by the runtime data file tests: a readable description of a
// whole bag (so two bags compare as texts and a failure shows the
// difference), a generator of random bags that stay inside the format's
// documented limits, and the bytes of hand-made files.

// One line per record, every text escaped so that blanks and control
// characters show. `readBack` leaves out the two texts that the runtime data
// file does not store: the root element's namespace and the namespace
// declarations.
std::wstring DescribeBag(const CXmlCfgPropertyBag& bag, bool readBack = false);

// The worked example's one file record (component CompA, state 3; file
// XmlFile1, C:\App\settings.xml, root <configuration>, UTF-8) with its
// XPath record /configuration/item (action 1), returned for the caller's
// content and attributes.
CXmlCfgXPathProp& AddExampleItem(CXmlCfgPropertyBag& bag);

// `text` in quotes, with every character outside printable ASCII (and the
// backslash) spelled as \xNNNN, so blanks and control characters show.
std::wstring Escaped(std::wstring_view text);

// Fills bags with random records that a runtime data file carries unchanged:
// six progress texts; names and texts with non-ASCII characters, surrogates,
// blanks inside and (for the quoted texts) at the ends, empty optional
// texts, texts at their buffers' limits; names that do not collide with one
// another or with the file's own section names.
class RandomBagMaker {
 public:
  explicit RandomBagMaker(uint32_t seed) : random_(seed) {}

  // Components, files per component, XPath entries per file and attributes
  // per entry: about as many, or exactly as many when `exact`.
  void Fill(CXmlCfgPropertyBag& bag, int components = 3, int files = 2, int xpaths = 4, int attributes = 3,
            bool exact = false);

 private:
  // A text of `minLength` to `maxLength` characters from a pool of awkward
  // characters. `quoted` texts may begin and end with blanks; others do not
  // end with one, since line trimming removes it.
  std::wstring Text(size_t minLength, size_t maxLength, bool quoted = false);
  std::wstring UniqueName(size_t maxLength);
  uint32_t Flags();

  std::mt19937 random_;
  std::vector<std::wstring> usedNames_;
};

// The text of a module string as a standard string, for comparisons.
inline std::wstring Plain(const yv::_stringw& text) { return std::wstring(text.data(), text.size()); }

// The bytes of `text` in UTF-16LE, without a byte-order mark.
std::string Utf16Bytes(const std::wstring& text);
// The bytes of a UTF-16LE file with a byte-order mark holding `lines`, each
// ended by CR LF.
std::string Utf16Lines(const std::vector<std::wstring>& lines);
