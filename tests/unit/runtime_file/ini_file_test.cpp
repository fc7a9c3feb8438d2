#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <map>
#include <string>
#include <utility>

#include "kit/BagTestKit.h"
#include "kit/TempFolder.h"
#include "runtime_file/CIniFile.h"

// How the runtime data file's text is taken apart. `Text` cases carry a
// byte-order mark; values keep a CR that is not part of a CR LF, since a
// stored text may end in one.
TEST(IniFile, LinesLineEndsEncodingsAndRepeatedHeadersParseByTheFormatsRules) {
  using Sections = std::map<std::wstring, std::map<std::wstring, std::wstring>>;
  auto Text = [](const std::wstring& text) { return Utf16Lines({}) + Utf16Bytes(text); };
  // 8-bit text is converted in the thread's code page, whatever it is.
  std::string ansi = "[A]\r\nk=caf\xE9\r\n";
  wchar_t converted[32] = {};
  ASSERT_GT(MultiByteToWideChar(CP_THREAD_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), converted, 32), 0);
  const std::pair<std::string, Sections> cases[] = {
      {Text(L"k=before any header\r\n[A]\r\n  \tkey \t=  value ; inside \t \r\n;k=comment\r\nno equals\r\na=b=c\r\n"),
       {{L"A", {{L"key", L"  value ; inside"}, {L"a", L"b=c"}}}}},
      {Text(L"[A]\nx=1\nlast=no line end"), {{L"A", {{L"x", L"1"}, {L"last", L"no line end"}}}}},
      // Before the last CR LF only CR LF ends a line; after it LF does.
      {Text(L"[A]\r\nk=0\nx=1\r\n[B]\ny=2\nz=3"), {{L"A", {{L"k", L"0\nx=1"}}}, {L"B", {{L"y", L"2"}, {L"z", L"3"}}}}},
      {Text(L"[A]\r\nlf=a\nb\r\ncr=a\rb\r\nend=c\r\r\nx=1\r"),
       {{L"A", {{L"lf", L"a\nb"}, {L"cr", L"a\rb"}, {L"end", L"c\r"}, {L"x", L"1"}}}}},
      // A header met again starts its section afresh.
      {Text(L"[A]\r\nx=1\r\n[B]\r\nk=v\r\n[A]\r\ny=2\r\ny=3\r\n"), {{L"A", {{L"y", L"3"}}}, {L"B", {{L"k", L"v"}}}}},
      {Utf16Bytes(L"[S\x00E9]\r\nk=v\r\n"), {{L"S\x00E9", {{L"k", L"v"}}}}},
      {ansi, {{L"A", {{L"k", std::wstring(converted).substr(7, 4)}}}}},
  };
  TempFolder folder;
  std::wstring path = folder.File(L"in.ini");
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    WriteFileBytes(path, cases[i].first);
    CIniFile ini(path.c_str());
    EXPECT_TRUE(ini.Load());
    Sections got;
    for (const auto& name : ini.SectionNames()) {
      for (const auto& [key, value] : ini.SectionEntries(name.c_str())) got[name][key] = value;
    }
    EXPECT_EQ(got, cases[i].second);
  }

  // Numbers: signed decimal up to the first non-digit, clamped to 32 bits.
  CIniFile ini;
  for (const auto& [text, value] : {std::pair{L" -42x", -42}, std::pair{L"-99999999999999999999", INT_MIN},
                                    std::pair{L"99999999999999999999999", INT_MAX}}) {
    ini.SetString(L"S", L"n", text);
    EXPECT_EQ(ini.GetInt(L"S", L"n", 777), value) << text;
  }
}
