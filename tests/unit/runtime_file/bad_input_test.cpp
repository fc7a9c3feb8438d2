#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "BagTestKit.h"
#include "config/CXmlCfgPropertyBag.h"
#include "kit/TempFolder.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/CXmlMsiIniLoader.h"
#include "runtime_file/RuntimeFileResults.h"

namespace result = RuntimeFileResult;

namespace {

const std::set<int> kReaderCodes = {result::kSuccess,           result::kEmptyName,
                                    result::kActionStateMissing, result::kComponentCountMissing,
                                    result::kPathEmpty,          result::kCountMissing,
                                    result::kSectionNameOrXPathEmpty, result::kNoPath,
                                    result::kCannotRead,         result::kFileFlagsMissing,
                                    result::kCreatedOnInstallMissing, result::kProgressMessageEmpty};

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
    EXPECT_TRUE(kReaderCodes.count(code)) << "unexpected code " << code;
    EXPECT_LT(seconds, 5.0) << "a damaged file must not stall the reader";
    EXPECT_TRUE(ReadFileBytes(path_) == bytes) << "reading never changes the file";
    ++codes_[code];
    return code;
  }
  int Read(const std::string& bytes) {
    CXmlCfgPropertyBag bag;
    return Read(bytes, bag);
  }

  double slowest() const { return slowest_; }
  const std::map<int, int>& codes() const { return codes_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  double slowest_ = 0;
  std::map<int, int> codes_;
};

// A real runtime data file: what the writer makes of a generated bag.
std::string RealFile(const TempFolder& folder, const CXmlCfgPropertyBag& bag, const wchar_t* name) {
  std::wstring path = folder.File(name);
  DeleteFileW(path.c_str());
  CXmlIniWriter writer(path.c_str());
  bag.Save(writer);
  return ReadFileBytes(path);
}

void FillExample(CXmlCfgPropertyBag& bag) {
  CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"CompA");
  component->actionState = 3;
  CXmlCfgFileProp* file = component->AddFile(L"XmlFile1");
  file->path = L"C:\\App\\";
  file->fileName = L"settings.xml";
  file->fileAttributes = 1;
  file->rootElementName = L"configuration";
  file->encoding = L"UTF-8";
  CXmlCfgXPathProp* xpath = file->AddXPath(L"/configuration/item");
  xpath->action = 1;
  xpath->content = L" c ";
  for (const wchar_t* name : {L"value", L"mode"}) {
    CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(name);
    attribute->value = name;
    attribute->action = 1;
  }
  for (const wchar_t* id : {L"YV_PROGMSG_XML_COSTING", L"YV_PROGMSG_XML_FILES", L"YV_PROGMSG_XML_CREATE_FILE",
                            L"YV_PROGMSG_XML_UPDATE_FILE", L"YV_PROGMSG_XML_REMOVE_FILE",
                            L"YV_PROGMSG_XML_ROLLBACK_FILES"}) {
    bag.progressMessages[id] = L"Working on %s";
  }
}

std::string Replace(std::string bytes, const std::wstring& from, const std::wstring& to) {
  std::string f = Utf16Bytes(from);
  size_t at = bytes.find(f);
  EXPECT_NE(at, std::string::npos) << "fixture lacks the text to replace";
  if (at != std::string::npos) bytes.replace(at, f.size(), Utf16Bytes(to));
  return bytes;
}

std::vector<size_t> LineEnds(const std::string& bytes) {
  std::vector<size_t> ends;
  std::string crlf = Utf16Bytes(L"\r\n");
  for (size_t at = bytes.find(crlf); at != std::string::npos; at = bytes.find(crlf, at + 2)) {
    if (at % 2 == 0) ends.push_back(at + 4);
  }
  return ends;
}

}  // namespace

TEST(RuntimeFileBadInput, TruncatedFilesGiveAReaderCodeAndOnlyRecordsOfTheWholeFile) {
  TempFolder folder;
  DamagedFileReader reader(folder);
  RandomBagMaker maker(77);
  for (int sample = 0; sample < 3; ++sample) {
    CXmlCfgPropertyBag whole;
    if (sample == 0) {
      FillExample(whole);
    } else {
      maker.Fill(whole, {2, 2, 3, 2, false});
    }
    std::string bytes = RealFile(folder, whole, L"whole.ini");
    // Cut after every line: each record read must be one of the whole bag's,
    // with no field taken from anywhere else.
    for (size_t end : LineEnds(bytes)) {
      CXmlCfgPropertyBag partial;
      int code = reader.Read(bytes.substr(0, end), partial);
      std::vector<std::wstring> foreign = FindForeignRecords(partial, whole);
      EXPECT_TRUE(foreign.empty()) << "cut at " << end << ": " << (foreign.empty() ? "" : std::string(foreign[0].begin(), foreign[0].end()));
      if (end == bytes.size()) {
        EXPECT_EQ(code, 0);
      }
    }
    // Cut anywhere, odd lengths included.
    for (size_t end = 0; end < bytes.size(); end += 1 + bytes.size() / 400) reader.Read(bytes.substr(0, end));
  }
}

TEST(RuntimeFileBadInput, RandomBytesAndRandomTextNeverCrashTheReader) {
  TempFolder folder;
  DamagedFileReader reader(folder);
  std::mt19937 random(4242);
  for (int i = 0; i < 150; ++i) {
    std::string bytes(random() % 3000, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    reader.Read(bytes);
  }
  // Text made of the format's own characters gets further into the reader.
  const wchar_t pool[] = L"[]=\r\n;\" 0123456789-cfxpa_ComponentsCountPathXPathActionNameValueActionState";
  for (int i = 0; i < 150; ++i) {
    std::wstring text(1, 0xFEFF);
    size_t length = random() % 4000;
    for (size_t n = 0; n < length; ++n) text.push_back(pool[random() % (std::size(pool) - 1)]);
    reader.Read(Utf16Bytes(text));
  }
  EXPECT_EQ(reader.codes().count(0), 0u) << "random input is never a valid configuration";
}

TEST(RuntimeFileBadInput, EachKindOfDamageGivesItsOwnCodeOrAPartialBag) {
  TempFolder folder;
  DamagedFileReader reader(folder);
  CXmlCfgPropertyBag example;
  FillExample(example);
  const std::string good = RealFile(folder, example, L"good.ini");
  ASSERT_EQ(reader.Read(good), 0);

  // Encoding damage.
  EXPECT_EQ(reader.Read(good + "x"), 0) << "an odd last byte is dropped";
  EXPECT_EQ(reader.Read(good.substr(0, good.size() - 1)), 0) << "half a line end still ends the text";
  std::string bigEndian = good;
  for (size_t i = 0; i + 1 < bigEndian.size(); i += 2) std::swap(bigEndian[i], bigEndian[i + 1]);
  EXPECT_EQ(reader.Read(bigEndian), result::kComponentCountMissing) << "big-endian text is not ours";
  EXPECT_EQ(reader.Read(std::string("\xFF\xFE", 2)), result::kComponentCountMissing);
  EXPECT_EQ(reader.Read(std::string(64, '\0')), result::kComponentCountMissing);
  std::wstring text = AsText(good).substr(1);
  std::string ansi(text.begin(), text.end());  // the example is plain ASCII
  CXmlCfgPropertyBag fromAnsi;
  EXPECT_EQ(reader.Read(ansi, fromAnsi), 0) << "the same text in 8 bits";
  EXPECT_EQ(DescribeBag(fromAnsi), DescribeBag(example));

  // Header damage.
  EXPECT_EQ(reader.Read(Replace(good, L"[Components]", L"[Components")), result::kComponentCountMissing);
  EXPECT_EQ(reader.Read(Replace(good, L"[XmlFile1]", L"[XmlFile1")), result::kPathEmpty);
  EXPECT_EQ(reader.Read(good + Utf16Bytes(L"\r\n[Components]\r\n")), result::kComponentCountMissing)
      << "a repeated header discards what came before it";

  // Huge lines and values.
  std::wstring mib(1 << 20, L'v');
  CXmlCfgPropertyBag junk;
  EXPECT_EQ(reader.Read(Replace(good, L"[CompA]", std::wstring(4 << 20, L'j') + L"\r\n[CompA]"), junk), 0)
      << "a 4 MiB line without '=' is ignored";
  EXPECT_EQ(DescribeBag(junk), DescribeBag(example));
  CXmlCfgPropertyBag huge;
  std::string hugeValues = Replace(good, L"XPath=/configuration/item", L"XPath=/" + mib);
  hugeValues = Replace(hugeValues, L"Content=\" c \"", L"Content=\"" + mib + L"\"");
  hugeValues = Replace(hugeValues, L"Path=C:\\App\\", L"Path=" + mib);
  hugeValues = Replace(hugeValues, L"Value=\"mode\"", L"Value=\"" + mib + L"\"");
  ASSERT_EQ(reader.Read(hugeValues, huge), 0);
  const CXmlCfgFileProp& hugeFile = *huge.components[L"CompA"]->files[L"XmlFile1"];
  EXPECT_EQ(hugeFile.path.size(), 259u);
  ASSERT_EQ(hugeFile.xpaths.size(), 1u);
  const CXmlCfgXPathProp& hugeXPath = *hugeFile.xpaths.begin()->second;
  EXPECT_EQ(hugeXPath.xpath.size(), mib.size() + 1) << "an expression has no limit";
  EXPECT_EQ(hugeXPath.content.size(), 10239u) << "cut, so the opening quote stays";
  EXPECT_EQ(hugeXPath.attributes[1]->value.size(), 10239u);
  CXmlCfgPropertyBag hugeName;
  std::wstring longName = L"Comp" + mib;
  std::string renamed = Replace(Replace(good, L"c1=CompA", L"c1=" + longName), L"[CompA]", L"[" + longName + L"]");
  EXPECT_EQ(reader.Read(renamed, hugeName), 0) << "a name is cut alike in the header and in the lookup";
  EXPECT_EQ(hugeName.components.begin()->first.size(), longName.size());

  // Counts that point past the lists or at missing sections.
  EXPECT_EQ(reader.Read(Replace(good, L"Count=1\r\nc1=", L"Count=3\r\nc1=")), result::kEmptyName);
  EXPECT_EQ(reader.Read(Replace(good, L"c1=CompA", L"c1=CompA\r\nc2=Missing\r\nCount=2")),
            result::kActionStateMissing);
  EXPECT_EQ(reader.Read(Replace(good, L"xp1=XPath_1", L"xp1=XPath_77")), result::kSectionNameOrXPathEmpty);
  CXmlCfgPropertyBag dangling;
  EXPECT_EQ(reader.Read(Replace(good, L"a2=XPathAttrib_2", L"a2=XPathAttrib_99"), dangling), 0);
  EXPECT_EQ(dangling.components[L"CompA"]->files[L"XmlFile1"]->xpaths.begin()->second->attributes.size(), 1u);

  // Negative and overflowing counts.
  CXmlCfgPropertyBag negative;
  EXPECT_EQ(reader.Read(Replace(good, L"Count=1\r\nc1=", L"Count=-2\r\nc1="), negative), 0);
  EXPECT_TRUE(negative.components.empty());
  EXPECT_EQ(reader.Read(Replace(good, L"Count=1\r\nc1=", L"Count=-2147483648\r\nc1=")), 0);
  EXPECT_EQ(reader.Read(Replace(good, L"Count=1\r\nc1=", L"Count=99999999999999\r\nc1=")), result::kEmptyName);
  EXPECT_EQ(reader.Read(Replace(good, L"Count=1\r\nCreatedOnInstall", L"Count=-1\r\nCreatedOnInstall")),
            result::kCountMissing);
  CXmlCfgPropertyBag overflow;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(reader.Read(Replace(good, L"Count=2\r\nXPath=", L"Count=4294967297\r\na2147483647=XPathAttrib_1\r\nXPath="),
                        overflow),
            0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "a clamped count is not walked";
  EXPECT_EQ(overflow.components[L"CompA"]->files[L"XmlFile1"]->xpaths.begin()->second->attributes.size(), 3u);

  // Lists that name the wrong kind of section.
  EXPECT_EQ(reader.Read(Replace(good, L"c1=CompA", L"c1=XPath_1")), result::kActionStateMissing);
  EXPECT_EQ(reader.Read(Replace(good, L"c1=CompA", L"c1=ProgressMessages")), result::kActionStateMissing);
  EXPECT_EQ(reader.Read(Replace(good, L"f1=XmlFile1", L"f1=Components")), result::kPathEmpty);
  EXPECT_EQ(reader.Read(Replace(good, L"f1=XmlFile1", L"f1=CompA")), result::kPathEmpty);
  EXPECT_EQ(reader.Read(Replace(good, L"xp1=XPath_1", L"xp1=XmlFile1")), result::kSectionNameOrXPathEmpty);
  CXmlCfgPropertyBag wrongAttribute;
  EXPECT_EQ(reader.Read(Replace(good, L"a1=XPathAttrib_1", L"a1=XPath_1"), wrongAttribute), 0);
  EXPECT_EQ(wrongAttribute.components[L"CompA"]->files[L"XmlFile1"]->xpaths.begin()->second->attributes.size(), 1u)
      << "an XPath section has no Name, so it adds no attribute";
  CXmlCfgPropertyBag twice;
  EXPECT_EQ(reader.Read(Replace(good, L"Count=1\r\nc1=CompA", L"Count=2\r\nc1=CompA\r\nc2=CompA"), twice), 0);
  EXPECT_EQ(DescribeBag(twice), DescribeBag(example)) << "a component listed twice is read twice alike";
}

namespace {

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
      case 0: return L"-1";
      case 1: return L"-99";
      case 2: return L"-2147483648";
      case 3: return L"2147483647";
      case 4: return L"99999999999999999999";
      case 5: return L"0";
      case 6: return std::to_wstring(static_cast<int>(random_() % 100) - 50);
      default: return std::to_wstring(random_());
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
        if (a != std::wstring::npos && b != std::wstring::npos) lines[i] = lines[i].substr(0, a + 1) + lines[j].substr(b + 1);
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
        for (size_t at = all.find(L"\r\n", Pick(all.size() + 1)); at != std::wstring::npos; at = all.find(L"\r\n", at)) {
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
    if (plain.size() >= 259 || plain == L"Components" || plain == L"ProgressMessages" || plain.rfind(L"XPath", 0) == 0) {
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

}  // namespace

// Not part of the regular run: enable with --gtest_also_run_disabled_tests
// --gtest_filter=*Mutations* (YV_FUZZ_ITERATIONS sets the number of cases,
// YV_FUZZ_SEED another series of them).
TEST(RuntimeFileBadInput, DISABLED_MutationsOfRealFilesNeverCrashStallOrLoseData) {
  TempFolder folder;
  DamagedFileReader reader(folder);
  uint32_t seed = static_cast<uint32_t>(EnvironmentNumber("YV_FUZZ_SEED", 1));
  RandomBagMaker maker(20240917 + seed);
  Mutator mutator(918273 * seed);
  std::vector<std::string> seeds;
  CXmlCfgPropertyBag example;
  FillExample(example);
  seeds.push_back(RealFile(folder, example, L"seed.ini"));
  for (int i = 0; i < 24; ++i) {
    CXmlCfgPropertyBag bag;
    maker.Fill(bag, {1 + i % 3, 1 + i % 2, 1 + i % 5, i % 4, false});
    seeds.push_back(RealFile(folder, bag, L"seed.ini"));
  }

  std::wstring rewritten = folder.File(L"rewritten.ini");
  int iterations = EnvironmentNumber("YV_FUZZ_ITERATIONS", 10000);
  int rewrites = 0;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) {
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
      DescribeOptions options;
      options.namespaceDeclarations = false;
      ASSERT_EQ(again.Load(loader), 0) << "case " << i;
      ASSERT_EQ(DescribeBag(again, options), DescribeBag(bag, options)) << "case " << i;
      ++rewrites;
    }
    if (HasFailure()) {
      WriteFileBytes(folder.File(L"failing.ini"), damaged);
      FAIL() << "case " << i;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d mutated files in %.1f s, slowest read %.3f s, %d read back after a rewrite\n", iterations, seconds,
              reader.slowest(), rewrites);
  for (const auto& [code, count] : reader.codes()) std::printf("  code %6d: %d\n", code, count);
}
