#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <map>
#include <string>

#include "BagTestKit.h"
#include "kit/TempFolder.h"
#include "runtime_file/CIniFile.h"

namespace {

using Sections = std::map<std::wstring, std::map<std::wstring, std::wstring>>;

Sections Contents(const CIniFile& ini) {
  Sections out;
  for (const auto& name : ini.SectionNames()) {
    auto& keys = out[name];
    for (const auto& [key, value] : ini.SectionEntries(name.c_str())) keys[key] = value;
  }
  return out;
}

class IniFileTest : public ::testing::Test {
 protected:
  // Loads `bytes` from a file into a fresh document.
  Sections LoadBytes(const std::string& bytes) {
    std::wstring path = folder_.File(L"in.ini");
    WriteFileBytes(path, bytes);
    CIniFile ini(path.c_str());
    EXPECT_TRUE(ini.Load());
    return Contents(ini);
  }
  Sections LoadText(const std::wstring& text) { return LoadBytes(Utf16Lines({}) + Utf16Bytes(text)); }

  TempFolder folder_;
};

}  // namespace

TEST_F(IniFileTest, LinesAreTrimmedSplitAtTheFirstEqualsAndCommentsSkipped) {
  Sections got = LoadText(
      L"orphan=before any header\r\n"
      L"[A]\r\n"
      L"  \tkey \t=  value with ; inside \t \r\n"
      L";comment=ignored\r\n"
      L"   ;indented comment=ignored too\r\n"
      L"no equals sign here\r\n"
      L"=empty key\r\n"
      L"empty value=\r\n"
      L"a=b=c\r\n"
      L"[abc=1\r\n"
      L"Count=1\r\n"
      L"count=2\r\n"
      L"[ spaced name ] trailing text ignored\r\n"
      L"x=1\r\n"
      L"[]\r\n"
      L"y=2\r\n");
  Sections expected = {
      {L"A",
       {{L"key", L"  value with ; inside"},
        {L"", L"empty key"},
        {L"empty value", L""},
        {L"a", L"b=c"},
        {L"[abc", L"1"},
        {L"Count", L"1"},
        {L"count", L"2"}}},
      {L" spaced name ", {{L"x", L"1"}}},
      {L"", {{L"y", L"2"}}},
  };
  EXPECT_EQ(got, expected);
}

TEST_F(IniFileTest, ARepeatedHeaderStartsItsSectionAfreshAndALoadMergesIntoWhatIsHeld) {
  std::wstring path = folder_.File(L"merge.ini");
  WriteFileBytes(path, Utf16Lines({L"[A]", L"x=1", L"[B]", L"k=v", L"[A]", L"y=2", L"y=3"}));
  CIniFile ini(path.c_str());
  ini.SetString(L"Kept", L"old", L"stays");
  ini.SetString(L"B", L"stale", L"goes");
  ASSERT_TRUE(ini.Load());
  Sections expected = {{L"A", {{L"y", L"3"}}}, {L"B", {{L"k", L"v"}}}, {L"Kept", {{L"old", L"stays"}}}};
  EXPECT_EQ(Contents(ini), expected) << "a section met in the text is emptied; others stay";

  ini.SetPath(folder_.File(L"missing.ini").c_str());
  EXPECT_FALSE(ini.Load());
  EXPECT_EQ(Contents(ini), expected) << "a file that cannot be read changes nothing";

  WriteFileBytes(path, "");
  ini.SetPath(path.c_str());
  EXPECT_TRUE(ini.Load()) << "an empty file is an empty text";
  EXPECT_EQ(Contents(ini), expected);

  WriteFileBytes(path, Utf16Lines({L"no headers", L"and = keys before any"}));
  EXPECT_TRUE(ini.Load()) << "text that is not INI loads as nothing";
  EXPECT_EQ(Contents(ini), expected);
}

TEST_F(IniFileTest, LineEndsFollowCrLfWhileAnyRemainsThenLf) {
  EXPECT_EQ(LoadText(L"[A]\nx=1\ny=2\n"), (Sections{{L"A", {{L"x", L"1"}, {L"y", L"2"}}}})) << "LF only";
  EXPECT_EQ(LoadText(L"[A]\nx=1\nlast=no line end"),
            (Sections{{L"A", {{L"x", L"1"}, {L"last", L"no line end"}}}}));
  // LF lines before a CR LF are one line up to that CR LF; after the last
  // CR LF single LFs end lines again.
  EXPECT_EQ(LoadText(L"[A]\r\nk=0\nx=1\r\n[B]\ny=2\nz=3"),
            (Sections{{L"A", {{L"k", L"0\nx=1"}}}, {L"B", {{L"y", L"2"}, {L"z", L"3"}}}}));
  // With CR LF lines a lone LF or CR is part of the value; CR is not trimmed.
  EXPECT_EQ(LoadText(L"[A]\r\nlf=a\nb\r\ncr=a\rb\r\nend=c\r\r\n"),
            (Sections{{L"A", {{L"lf", L"a\nb"}, {L"cr", L"a\rb"}, {L"end", L"c\r"}}}}));
  // A text ending in a lone CR gets an LF, which makes a CR LF of it.
  EXPECT_EQ(LoadText(L"[A]\r\nx=1\r"), (Sections{{L"A", {{L"x", L"1"}}}}));
}

TEST_F(IniFileTest, EncodingIsTakenFromZeroBytesAndTheTextEndsAtTheFirstZeroUnit) {
  Sections expected = {{L"S\x00E9", {{L"k", L"v\x4E2D"}}}};
  EXPECT_EQ(LoadBytes(Utf16Bytes(L"[S\x00E9]\r\nk=v\x4E2D\r\n")), expected) << "UTF-16 without the mark";
  EXPECT_EQ(LoadBytes(Utf16Bytes(L"\xFEFF\xFEFF[S\x00E9]\r\nk=v\x4E2D\r\n")),
            (Sections{})) << "only one mark is skipped; a second one spoils the header";
  const wchar_t withZero[] = L"[S\x00E9]\r\nk=v\x4E2D\r\n\0[T]\r\nz=1\r\n";
  EXPECT_EQ(LoadBytes(Utf16Bytes(std::wstring(withZero, std::size(withZero) - 1))), expected)
      << "the text ends at U+0000";
  std::string odd = Utf16Bytes(L"\xFEFF[S\x00E9]\r\nk=v\x4E2D\r\n") + "x";
  EXPECT_EQ(LoadBytes(odd), expected) << "an odd last byte is no character";

  // 8-bit text is converted in the thread's code page, whatever it is.
  std::string ansi = "[A]\r\nk=caf\xE9\r\n";
  wchar_t converted[32] = {};
  ASSERT_GT(MultiByteToWideChar(CP_THREAD_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), converted, 32), 0);
  std::wstring value = std::wstring(converted).substr(7, 4);
  EXPECT_EQ(LoadBytes(ansi), (Sections{{L"A", {{L"k", value}}}}));
  // A zero byte after the first 1024 bytes does not make it UTF-16; it ends
  // the 8-bit text.
  std::string late = "[A]\r\n" + std::string(1100, ';') + "\r\nk=1\r\n" + std::string(1, '\0') + "j=2\r\n";
  EXPECT_EQ(LoadBytes(late), (Sections{{L"A", {{L"k", L"1"}}}}));
}

TEST_F(IniFileTest, LookupsGiveTheDefaultOnlyForAnAbsentSection) {
  CIniFile ini;
  ini.SetString(L"S", L"key", L"value");
  ini.SetString(L"S", L"empty", L"");
  ini.SetString(L"S", L"number", L"  -42xyz");
  wchar_t buffer[8];

  // Absent section: the default, and false.
  EXPECT_FALSE(ini.GetString(L"T", L"key", L"dflt", buffer, 8));
  EXPECT_STREQ(buffer, L"dflt");
  yv::_stringw whole;
  EXPECT_FALSE(ini.GetIndexedString(L"T", L"c%d", 1, L"dflt", whole));
  EXPECT_EQ(whole, L"dflt");
  EXPECT_EQ(ini.GetInt(L"T", L"number", -1), -1);

  // Present section, absent key or empty value: the empty text, and true.
  for (const wchar_t* key : {L"absent", L"empty", L"KEY"}) {
    EXPECT_TRUE(ini.GetString(L"S", key, L"dflt", buffer, 8)) << key;
    EXPECT_STREQ(buffer, L"") << key;
    EXPECT_EQ(ini.GetInt(L"S", key, -99), -99) << key;
  }
  EXPECT_FALSE(ini.GetString(L"s", L"key", L"dflt", buffer, 8)) << "section names are case-sensitive";

  // Present: cut to the buffer like lstrcpyn.
  EXPECT_TRUE(ini.GetString(L"S", L"key", L"", buffer, 3));
  EXPECT_STREQ(buffer, L"va");
  buffer[0] = L'#';
  EXPECT_TRUE(ini.GetString(L"S", L"key", L"", buffer, 1));
  EXPECT_EQ(buffer[0], L'\0');
  EXPECT_FALSE(ini.GetString(L"S", L"key", L"", nullptr, 8)) << "no buffer";
  EXPECT_EQ(ini.GetInt(L"S", L"number", 0), -42);

  ini.SetString(L"S", L"c12", std::wstring(5000, L'w'));
  EXPECT_TRUE(ini.GetIndexedString(L"S", L"c%d", 12, L"", whole));
  EXPECT_EQ(whole.size(), 5000u) << "indexed values are taken whole";
  EXPECT_TRUE(ini.GetIndexedString(L"S", L"c%d", 13, L"dflt", whole));
  EXPECT_EQ(whole, L"");
}

TEST_F(IniFileTest, IntegersReadLikeABase10ConversionAndClampTo32Bits) {
  CIniFile ini;
  const std::pair<const wchar_t*, int> cases[] = {
      {L"17", 17},          {L"12abc", 12},       {L"abc", 0},           {L"-", 0},
      {L" \t+5", 5},        {L"-0", 0},           {L"0x1F", 0},          {L"2147483647", INT_MAX},
      {L"2147483648", INT_MAX}, {L"-2147483648", INT_MIN}, {L"-99999999999999999999", INT_MIN},
      {L"99999999999999999999999", INT_MAX}, {L"0000000000000000000000000000012", 12},
  };
  for (const auto& [text, value] : cases) {
    ini.SetString(L"S", L"n", text);
    EXPECT_EQ(ini.GetInt(L"S", L"n", 777), value) << static_cast<const wchar_t*>(text);
  }
  ini.SetInt(L"S", L"n", INT_MIN);
  wchar_t buffer[16];
  ini.GetString(L"S", L"n", L"", buffer, 16);
  EXPECT_STREQ(buffer, L"-2147483648");
}

TEST_F(IniFileTest, SaveWritesSortedUtf16WithMarkAndCrLfAndLoadsBackTheSame) {
  CIniFile ini;
  ini.SetString(L"b", L"x", L"1");
  ini.SetString(L"XPath_2", L"c1", L"v");
  ini.SetString(L"XPath_10", L"Count", L"2");
  ini.SetString(L"XPath_10", L"c1", L"lf\ninside");
  ini.SetString(L"XPathAttrib_1", L"Value", L"\"  quoted  \"");
  ini.SetString(L"XPath_1", L"", L"");
  std::wstring path = folder_.File(L"out.ini");
  ASSERT_TRUE(ini.Save(path.c_str()));
  EXPECT_EQ(Plain(ini.path()), path);

  std::string expected = Utf16Lines({L"[XPathAttrib_1]", L"Value=\"  quoted  \"", L"", L"[XPath_1]", L"=", L"",
                                     L"[XPath_10]", L"Count=2", L"c1=lf\ninside", L"", L"[XPath_2]", L"c1=v", L"",
                                     L"[b]", L"x=1"});
  EXPECT_EQ(ReadFileBytes(path), expected);

  CIniFile back(path.c_str());
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(Contents(back), Contents(ini));

  CIniFile empty;
  ASSERT_TRUE(empty.Save(path.c_str()));
  EXPECT_EQ(ReadFileBytes(path), std::string("\xFF\xFE", 2)) << "an empty document is the mark alone";

  EXPECT_FALSE(ini.Save(folder_.File(L"no such folder\\out.ini").c_str()));
  EXPECT_EQ(Plain(ini.path()), path) << "a failed save keeps the old path";
}

TEST_F(IniFileTest, LongSectionNamesAreCutTheSameWayWhereverTheyAppear) {
  std::wstring name259(259, L'n');
  std::wstring longName = name259 + L"-tail one";
  std::wstring otherLongName = name259 + L"-tail two";
  CIniFile ini;
  ASSERT_TRUE(ini.SetString(longName.c_str(), L"k", L"v"));
  EXPECT_TRUE(ini.HasSection(name259.c_str()));
  EXPECT_TRUE(ini.HasSection(otherLongName.c_str())) << "names equal in 259 characters share a section";
  ASSERT_EQ(ini.SectionNames().size(), 1u);
  EXPECT_EQ(ini.SectionNames()[0].size(), 259u);

  std::wstring path = folder_.File(L"long.ini");
  ASSERT_TRUE(ini.Save(path.c_str()));
  WriteFileBytes(path, Utf16Lines({L"[" + longName + L"]", L"k=from file"}));
  CIniFile back(path.c_str());
  ASSERT_TRUE(back.Load());
  wchar_t buffer[32];
  EXPECT_TRUE(back.GetString(longName.c_str(), L"k", L"", buffer, 32));
  EXPECT_STREQ(buffer, L"from file");
  EXPECT_FALSE(ini.SetString(nullptr, L"k", L"v")) << "only an absent section name is refused";
}

TEST_F(IniFileTest, IndexedKeysListOnlyTheSpellingsThatAnIndexProduces) {
  CIniFile ini;
  for (const wchar_t* key : {L"a1", L"a10", L"a2", L"a01", L"a+3", L"a-4", L"a0", L"a5x", L"b7", L"a",
                             L"a2147483647", L"a2147483648", L"a99999999999"}) {
    ini.SetString(L"S", key, L"v");
  }
  EXPECT_EQ(ini.IndexedKeys(L"S", L"a%d"), (std::vector<int>{1, 2, 10, 2147483647}));
  EXPECT_TRUE(ini.IndexedKeys(L"T", L"a%d").empty());
  EXPECT_EQ(CIniFile::IndexedKeyName(L"xp%d", -12), L"xp-12");
  EXPECT_EQ(CIniFile::IndexedKeyName(L"%d%%", 3), L"3%") << "other formats go through printf";
  EXPECT_EQ(CIniFile::IndexedKeyName(std::wstring(300, L'k').append(L"%d").c_str(), 1).size(), 259u);
}
