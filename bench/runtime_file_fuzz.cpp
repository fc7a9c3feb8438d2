// Damaged runtime data files against the reader: the deferred actions read
// whatever the temporary folder holds, so no damage may crash or stall the
// reader, change the file, or give a result outside the reader's own codes.
//
// Three rounds: every prefix of real files (cut after each line, a record
// read must be one of the whole file's, no field taken from elsewhere; cut
// anywhere, odd lengths included), random bytes and random text of the
// format's own characters, and then mutations of real files at the byte,
// line, name and number level; whatever a mutated file reads as must come
// back unchanged from a second write and read.
//
// Run: build/wine-run build/bin/bench_runtime_file_fuzz.exe
// YV_FUZZ_ITERATIONS sets the number of mutated files (default 10,000),
// YV_FUZZ_SEED another series of them. A failing file is kept as
// yv-fuzz-failing.ini in the temporary folder. Exit code 1 on any failure.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"
#include "kit/BagTestKit.h"
#include "kit/TempFolder.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileLayout.h"
#include "runtime_file/RuntimeFileResults.h"
#include "support/stringw.h"

namespace result = RuntimeFileResult;

namespace {

const std::set<int> kReaderCodes = {
    result::kSuccess,    result::kEmptyName,        result::kActionStateMissing,      result::kComponentCountMissing,
    result::kPathEmpty,  result::kCountMissing,     result::kSectionNameOrXPathEmpty, result::kNoPath,
    result::kCannotRead, result::kFileFlagsMissing, result::kCreatedOnInstallMissing, result::kProgressMessageEmpty};

int g_failures = 0;

// Records a failure and keeps the file that caused it.
void Fail(const std::string& what, const std::string& bytes) {
  if (++g_failures > 20) return;
  std::printf("FAILED: %s\n", what.c_str());
  WriteFileBytes(std::wstring(yv::temp_folder_path().c_str()) + L"yv-fuzz-failing.ini", bytes);
}

std::string Narrow(const std::wstring& text) { return std::string(yv::_stringw(text.c_str()).narrow()); }

std::wstring AsText(const std::string& bytes) {
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// Reads damaged files and checks what every read must give whatever the
// damage: one of the reader's own codes, the file left as it was, and a
// bounded time.
class DamagedFileReader {
 public:
  explicit DamagedFileReader(const TempFolder& folder) : path_(folder.File(L"damaged.ini")) {}

  int Read(const std::string& bytes, CXmlCfgPropertyBag& bag) {
    WriteFileBytes(path_, bytes);
    auto start = std::chrono::steady_clock::now();
    CXmlMsiIniLoader loader(path_.c_str());
    int code = bag.Load(loader);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    slowest_ = std::max(slowest_, seconds);
    if (!kReaderCodes.count(code)) Fail("unexpected code " + std::to_string(code), bytes);
    if (seconds >= 5.0) Fail("a damaged file stalled the reader", bytes);
    if (ReadFileBytes(path_) != bytes) Fail("reading changed the file", bytes);
    ++codes_[code];
    return code;
  }
  int Read(const std::string& bytes) {
    CXmlCfgPropertyBag bag;
    return Read(bytes, bag);
  }

  double slowest() const { return slowest_; }
  const std::map<int, int>& codes() const { return codes_; }

 private:
  std::wstring path_;
  double slowest_ = 0;
  std::map<int, int> codes_;
};

// A real runtime data file: what the writer makes of a bag.
std::string RealFile(const TempFolder& folder, const CXmlCfgPropertyBag& bag, const wchar_t* name) {
  std::wstring path = folder.File(name);
  DeleteFileW(path.c_str());
  CXmlIniWriter writer(path.c_str());
  bag.Save(writer);
  return ReadFileBytes(path);
}

bool SameOrUnset(const yv::_stringw& part, const yv::_stringw& whole) { return part.empty() || part == whole; }
bool SameOrUnset(DWORD part, DWORD whole) { return part == 0 || part == whole; }

// Every record of `partial` must stand in `whole` with each field either
// still at its constructed value or equal to the whole's; the result lists
// the records that break this (empty when none does).
std::vector<std::wstring> FindForeignRecords(const CXmlCfgPropertyBag& partial, const CXmlCfgPropertyBag& whole) {
  std::vector<std::wstring> foreign;
  for (const auto& [id, text] : partial.progressMessages) {
    // The reader's own default stands in when the section is missing.
    if (whole.GetProgressMessage(id) != text && text != RuntimeFileLayout::kDefaultProgressMessage) {
      foreign.push_back(L"progress " + Escaped(id));
    }
  }
  for (const auto& [name, component] : partial.components) {
    auto wholeComponent = whole.components.find(name);
    if (wholeComponent == whole.components.end()) {
      foreign.push_back(L"component " + Escaped(name));
      continue;
    }
    if (component->actionState != 0 && component->actionState != wholeComponent->second->actionState) {
      foreign.push_back(L"actionState of " + Escaped(name));
    }
    for (const auto& [key, file] : component->files) {
      auto wholeFile = wholeComponent->second->files.find(key);
      if (wholeFile == wholeComponent->second->files.end()) {
        foreign.push_back(L"file " + Escaped(key));
        continue;
      }
      const CXmlCfgFileProp& w = *wholeFile->second;
      bool same = SameOrUnset(file->fileName, w.fileName) && SameOrUnset(file->fileAttributes, w.fileAttributes) &&
                  SameOrUnset(file->path, w.path) && SameOrUnset(file->uninstPath, w.uninstPath) &&
                  SameOrUnset(file->rootElementName, w.rootElementName) &&
                  SameOrUnset(file->attributes, w.attributes) &&
                  SameOrUnset(file->selectionNamespaces, w.selectionNamespaces) &&
                  SameOrUnset(file->encoding, w.encoding) && SameOrUnset(file->tempFilePath, w.tempFilePath) &&
                  SameOrUnset(file->createdOnInstall, w.createdOnInstall) && file->component == w.component;
      if (!same) foreign.push_back(L"fields of file " + Escaped(key));
      for (const auto& [expression, xpath] : file->xpaths) {
        auto wholeXPath = w.xpaths.find(expression);
        if (wholeXPath == w.xpaths.end()) {
          foreign.push_back(L"xpath " + Escaped(expression));
          continue;
        }
        const CXmlCfgXPathProp& wx = *wholeXPath->second;
        if (!SameOrUnset(xpath->action, wx.action) || !SameOrUnset(xpath->content, wx.content)) {
          foreign.push_back(L"fields of xpath " + Escaped(expression));
        }
        // Attributes are a list: the ones read must appear in the whole's
        // list in the same order, as far as they were read.
        size_t next = 0;
        for (const auto& attribute : xpath->attributes) {
          while (next < wx.attributes.size() &&
                 (wx.attributes[next]->name != attribute->name || wx.attributes[next]->value != attribute->value ||
                  !SameOrUnset(attribute->action, wx.attributes[next]->action))) {
            ++next;
          }
          if (next == wx.attributes.size()) {
            foreign.push_back(L"attribute " + Escaped(attribute->name) + L" of " + Escaped(expression));
            break;
          }
          ++next;
        }
      }
    }
  }
  return foreign;
}

void FillExample(CXmlCfgPropertyBag& bag) {
  CXmlCfgXPathProp* xpath = &AddExampleItem(bag);
  xpath->content = L" c ";
  for (const wchar_t* name : {L"value", L"mode"}) {
    CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(name);
    attribute->value = name;
    attribute->action = 1;
  }
  for (const wchar_t* id :
       {L"YV_PROGMSG_XML_COSTING", L"YV_PROGMSG_XML_FILES", L"YV_PROGMSG_XML_CREATE_FILE",
        L"YV_PROGMSG_XML_UPDATE_FILE", L"YV_PROGMSG_XML_REMOVE_FILE", L"YV_PROGMSG_XML_ROLLBACK_FILES"}) {
    bag.progressMessages[id] = L"Working on %s";
  }
}

std::vector<size_t> LineEnds(const std::string& bytes) {
  std::vector<size_t> ends;
  std::string crlf = Utf16Bytes(L"\r\n");
  for (size_t at = bytes.find(crlf); at != std::string::npos; at = bytes.find(crlf, at + 2)) {
    if (at % 2 == 0) ends.push_back(at + 4);
  }
  return ends;
}

// Ways to damage a real file: some at the byte level, most at the level of
// lines, names and numbers, which is where a writer or a disk goes wrong.
class Mutator {
 public:
  explicit Mutator(uint32_t seed) : random_(seed) {}

  std::string Mutate(const std::string& original) {
    std::string bytes = original;
    int rounds = 1 + static_cast<int>(random_() % 4);
    for (int i = 0; i < rounds; ++i) bytes = MutateOnce(bytes);
    return bytes;
  }
  uint32_t Next() { return random_(); }

 private:
  size_t Pick(size_t bound) { return bound ? random_() % bound : 0; }

  std::wstring RandomNumber() {
    switch (random_() % 8) {
      case 0:
        return L"-1";
      case 1:
        return L"-99";
      case 2:
        return L"-2147483648";
      case 3:
        return L"2147483647";
      case 4:
        return L"99999999999999999999";
      case 5:
        return L"0";
      case 6:
        return std::to_wstring(static_cast<int>(random_() % 100) - 50);
      default:
        return std::to_wstring(random_());
    }
  }

  std::string MutateOnce(const std::string& bytes) {
    std::wstring text = AsText(bytes);
    std::vector<std::wstring> lines;
    for (size_t at = 0; at <= text.size();) {
      size_t end = text.find(L"\r\n", at);
      if (end == std::wstring::npos) end = text.size();
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    auto join = [&] {
      std::wstring out;
      for (size_t i = 0; i < lines.size(); ++i) out += (i ? L"\r\n" : L"") + lines[i];
      return Utf16Bytes(out);
    };
    std::string out = bytes;
    size_t n = lines.size();
    switch (random_() % 16) {
      case 0:  // flip a bit
        if (!out.empty()) out[Pick(out.size())] ^= static_cast<char>(1 << (random_() % 8));
        return out;
      case 1:  // insert random bytes
        out.insert(Pick(out.size() + 1), std::string(1 + Pick(8), static_cast<char>(random_())));
        return out;
      case 2: {  // delete a range
        size_t at = Pick(out.size() + 1);
        out.erase(at, Pick(64));
        return out;
      }
      case 3:  // truncate
        out.resize(Pick(out.size() + 1));
        return out;
      case 4: {  // duplicate a range of bytes somewhere else
        size_t at = Pick(out.size() + 1);
        std::string piece = out.substr(at, Pick(200));
        out.insert(Pick(out.size() + 1), piece);
        return out;
      }
      case 5:  // drop a line
        if (n) lines.erase(lines.begin() + Pick(n));
        return join();
      case 6:  // repeat a line elsewhere
        if (n) lines.insert(lines.begin() + Pick(n + 1), lines[Pick(n)]);
        return join();
      case 7:  // swap two lines
        if (n) std::swap(lines[Pick(n)], lines[Pick(n)]);
        return join();
      case 8:
      case 9: {  // put a number where a number was
        size_t i = Pick(n);
        if (!n) return out;
        size_t equals = lines[i].find(L'=');
        if (equals != std::wstring::npos) lines[i] = lines[i].substr(0, equals + 1) + RandomNumber();
        return join();
      }
      case 10:
      case 11: {  // give a key the value of another line: lists name the wrong sections
        size_t i = Pick(n), j = Pick(n);
        if (!n) return out;
        size_t a = lines[i].find(L'='), b = lines[j].find(L'=');
        if (a != std::wstring::npos && b != std::wstring::npos)
          lines[i] = lines[i].substr(0, a + 1) + lines[j].substr(b + 1);
        return join();
      }
      case 12: {  // rename a header to another header
        std::vector<size_t> headers;
        for (size_t i = 0; i < n; ++i) {
          if (!lines[i].empty() && lines[i][0] == L'[') headers.push_back(i);
        }
        if (!headers.empty()) lines[headers[Pick(headers.size())]] = lines[headers[Pick(headers.size())]];
        return join();
      }
      case 13: {  // insert one of the format's own characters
        static const wchar_t marks[] = {L'[', L']', L'=', L'\r', L'\n', L'\0', L'"', L';', L' ', L'\t'};
        std::wstring all = AsText(out);
        all.insert(Pick(all.size() + 1), 1, marks[Pick(std::size(marks))]);
        return Utf16Bytes(all);
      }
      case 14: {  // LF line ends from some point on
        std::wstring all = AsText(out);
        for (size_t at = all.find(L"\r\n", Pick(all.size() + 1)); at != std::wstring::npos;
             at = all.find(L"\r\n", at)) {
          all.erase(at, 1);
        }
        return Utf16Bytes(all);
      }
      default: {  // a key renamed to another key
        size_t i = Pick(n), j = Pick(n);
        if (!n) return out;
        size_t a = lines[i].find(L'='), b = lines[j].find(L'=');
        if (a != std::wstring::npos && b != std::wstring::npos) lines[i] = lines[j].substr(0, b) + lines[i].substr(a);
        return join();
      }
    }
  }

  std::mt19937 random_;
};

// A bag that a second write and read must give back unchanged: its names do
// not collide with each other or with the file's own sections, and no text
// sits at the limit of its buffer (a cut text may end in a blank, which the
// second read trims, and quotes added by a second write would be cut).
bool RewritesFaithfully(const CXmlCfgPropertyBag& bag) {
  std::set<std::wstring> names;
  auto own = [&](const yv::_stringw& name) {
    std::wstring plain(name.c_str());
    if (plain.size() >= 259 || plain == L"Components" || plain == L"ProgressMessages" ||
        plain.rfind(L"XPath", 0) == 0) {
      return false;
    }
    return names.insert(plain).second;
  };
  auto fits = [](const yv::_stringw& text, size_t limit) { return text.size() < limit; };
  for (const auto& [id, text] : bag.progressMessages) {
    if (!fits(text, 511)) return false;
  }
  for (const auto& [name, component] : bag.components) {
    if (!own(name)) return false;
    for (const auto& [key, file] : component->files) {
      if (!own(key) || !fits(file->path, 259) || !fits(file->fileName, 259) || !fits(file->uninstPath, 10239) ||
          !fits(file->tempFilePath, 10239) || !fits(file->rootElementName, 10239) ||
          !fits(file->selectionNamespaces, 10239) || !fits(file->encoding, 10239)) {
        return false;
      }
      for (const auto& [expression, xpath] : file->xpaths) {
        if (!fits(xpath->content, 10237)) return false;
        for (const auto& attribute : xpath->attributes) {
          if (!fits(attribute->name, 259) || !fits(attribute->value, 10237)) return false;
        }
      }
    }
  }
  return true;
}

int EnvironmentNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  int number = value ? std::atoi(value) : 0;
  return number > 0 ? number : fallback;
}

void Truncations(const TempFolder& folder, DamagedFileReader& reader) {
  RandomBagMaker maker(77);
  for (int sample = 0; sample < 3; ++sample) {
    CXmlCfgPropertyBag whole;
    if (sample == 0) {
      FillExample(whole);
    } else {
      maker.Fill(whole, 2, 2, 3, 2);
    }
    std::string bytes = RealFile(folder, whole, L"whole.ini");
    for (size_t end : LineEnds(bytes)) {
      CXmlCfgPropertyBag partial;
      int code = reader.Read(bytes.substr(0, end), partial);
      std::vector<std::wstring> foreign = FindForeignRecords(partial, whole);
      if (!foreign.empty()) Fail("cut at " + std::to_string(end) + ": " + Narrow(foreign[0]), bytes.substr(0, end));
      if (end == bytes.size() && code != 0) Fail("the whole file did not read", bytes);
    }
    for (size_t end = 0; end < bytes.size(); end += 1 + bytes.size() / 400) reader.Read(bytes.substr(0, end));
  }
}

void RandomInput(DamagedFileReader& reader, uint32_t seed) {
  std::mt19937 random(4242 * seed);
  int valid = 0;
  for (int i = 0; i < 150; ++i) {
    std::string bytes(random() % 3000, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    valid += reader.Read(bytes) == 0;
  }
  // Text made of the format's own characters gets further into the reader.
  const wchar_t pool[] = L"[]=\r\n;\" 0123456789-cfxpa_ComponentsCountPathXPathActionNameValueActionState";
  for (int i = 0; i < 150; ++i) {
    std::wstring text(1, 0xFEFF);
    size_t length = random() % 4000;
    for (size_t n = 0; n < length; ++n) text.push_back(pool[random() % (std::size(pool) - 1)]);
    valid += reader.Read(Utf16Bytes(text)) == 0;
  }
  if (valid) Fail("random input read as a valid configuration", "");
}

void Mutations(const TempFolder& folder, DamagedFileReader& reader, uint32_t seed, int iterations) {
  RandomBagMaker maker(20240917 + seed);
  Mutator mutator(918273 * seed);
  std::vector<std::string> seeds;
  CXmlCfgPropertyBag example;
  FillExample(example);
  seeds.push_back(RealFile(folder, example, L"seed.ini"));
  for (int i = 0; i < 24; ++i) {
    CXmlCfgPropertyBag bag;
    maker.Fill(bag, 1 + i % 3, 1 + i % 2, 1 + i % 5, i % 4);
    seeds.push_back(RealFile(folder, bag, L"seed.ini"));
  }

  std::wstring rewritten = folder.File(L"rewritten.ini");
  int rewrites = 0;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations && g_failures == 0; ++i) {
    std::string damaged = mutator.Mutate(seeds[mutator.Next() % seeds.size()]);
    CXmlCfgPropertyBag bag;
    int code = reader.Read(damaged, bag);
    // Whatever a damaged file gave, a second write and read keeps it.
    if (code == 0 && RewritesFaithfully(bag)) {
      DeleteFileW(rewritten.c_str());
      CXmlIniWriter writer(rewritten.c_str());
      bag.Save(writer);
      CXmlCfgPropertyBag again;
      CXmlMsiIniLoader loader(rewritten.c_str());
      if (again.Load(loader) != 0 || DescribeBag(again, true) != DescribeBag(bag, true)) {
        Fail("case " + std::to_string(i) + " changed on a second write and read", damaged);
      }
      ++rewrites;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d mutated files in %.1f s, slowest read %.3f s, %d read back after a rewrite\n", iterations, seconds,
              reader.slowest(), rewrites);
}

}  // namespace

int main() {
  uint32_t seed = static_cast<uint32_t>(EnvironmentNumber("YV_FUZZ_SEED", 1));
  int iterations = EnvironmentNumber("YV_FUZZ_ITERATIONS", 10000);
  TempFolder folder;
  DamagedFileReader reader(folder);
  Truncations(folder, reader);
  RandomInput(reader, seed);
  Mutations(folder, reader, seed, iterations);
  for (const auto& [code, count] : reader.codes()) std::printf("  code %6d: %d\n", code, count);
  std::printf(g_failures ? "%d failures\n" : "no failures\n", g_failures);
  return g_failures ? 1 : 0;
}
