#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"

// Helpers shared by the runtime data file tests: a readable description of a
// whole bag (so two bags compare as texts and a failure shows the
// difference), a generator of random bags that stay inside the format's
// documented limits, and writers of hand-made files.

struct DescribeOptions {
  // The writer does not store these two, so a bag read back never has them.
  bool namespaceDeclarations = true;
  bool rootElementNamespace = true;
  // Only the reader fills it.
  bool sectionNames = false;
  bool progressMessages = true;
};

// One line per record, every text escaped so that blanks and control
// characters show.
std::wstring DescribeBag(const CXmlCfgPropertyBag& bag, DescribeOptions options = {});

// What a write and a read give back for `bag`: no namespace declarations, no
// root element namespaces, and the six default progress texts when the bag
// has none (the reader asks for exactly six).
std::wstring DescribeAfterRoundTrip(const CXmlCfgPropertyBag& bag);

// Every record of `partial` must stand in `whole` with each field either
// still at its constructed value or equal to the whole's; the result lists
// the records that break this (empty when none does).
std::vector<std::wstring> FindForeignRecords(const CXmlCfgPropertyBag& partial, const CXmlCfgPropertyBag& whole);

// Fills bags with random records that a runtime data file carries unchanged:
// names and texts with non-ASCII characters, surrogates, blanks inside and
// (for the quoted texts) at the ends, empty optional texts; names that do not
// collide with one another or with the file's own section names.
class RandomBagMaker {
 public:
  explicit RandomBagMaker(uint32_t seed) : random_(seed) {}

  struct Shape {
    int components = 3;
    int filesPerComponent = 2;
    int xpathsPerFile = 4;
    int attributesPerXPath = 3;
    // Sizes vary around the shape unless exact.
    bool exact = false;
  };

  void Fill(CXmlCfgPropertyBag& bag, const Shape& shape);

  // A text of up to `maxLength` characters (at least `minLength`) from a
  // pool of awkward characters. `quoted` texts may begin and end with
  // blanks; others do not end with one, since line trimming removes it.
  std::wstring Text(size_t minLength, size_t maxLength, bool quoted);
  uint32_t Next() { return random_(); }
  int Below(int bound) { return static_cast<int>(random_() % static_cast<uint32_t>(bound)); }

 private:
  std::wstring UniqueName(size_t maxLength);
  uint32_t Flags();

  std::mt19937 random_;
  std::vector<std::wstring> usedNames_;
};

// The text of a module string as a standard string, for comparisons.
inline std::wstring Plain(const yv::_stringw& text) { return std::wstring(text.data(), text.size()); }

// The bytes of a UTF-16LE file with a byte-order mark holding `lines`, each
// ended by CR LF.
std::string Utf16Lines(const std::vector<std::wstring>& lines);
// The bytes of `text` in UTF-16LE, without a byte-order mark.
std::string Utf16Bytes(const std::wstring& text);
