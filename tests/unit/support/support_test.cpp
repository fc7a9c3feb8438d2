#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/CYVXMLInstallEngine.h"
#include "kit/BagTestKit.h"
#include "kit/TempFolder.h"
#include "support/MessageLog.h"
#include "support/stringw.h"

using yv::_stringw;

namespace {

// An engine that keeps every line the log hands it.
struct LineCollector : CYVXMLInstallEngine {
  void OnLogMessage(const wchar_t* text) override { lines.emplace_back(text); }
  bool IsFileLogEnabled() override { return fileLog; }
  int OnErrorPrompt(const wchar_t*, int, int) override { return 0; }
  std::vector<std::wstring> lines;
  bool fileLog = false;
};

}  // namespace

TEST(MessageLog, FormatsNumberedMessagesForTheLiveEngineAndItsLogFile) {
  std::wstring path = RuntimeLogFilePath().c_str();
  DeleteFileW(path.c_str());
  LogMessage(IDS_TEST_RETURNED, 5);  // no engine yet: dropped without harm
  {
    LineCollector engine;
    LogMessage(IDS_ATTRIBUTE_OPERATION, _stringw(L"add"), L"key", L"C:\\old", 3);
    LogMessage(IDS_USING_SELECTION_NAMESPACES);  // no arguments: the text goes out as it stands, '%s' included
    LogMessage(MessageId{4000}, 1);              // no such text, with arguments: nothing
    LogText(L"100% ready");
    EXPECT_EQ(engine.lines,
              (std::vector<std::wstring>{
                  L"Node name: 'add'  --> Attribute name = 'key', Current Value = 'C:\\old', Operation = '3'",
                  L"Using SelectionNamespaces:  %s", L"100% ready"}));
  }
  EXPECT_EQ(GetLogSink(), nullptr) << "a destroyed engine must not stay registered";
  EXPECT_FALSE(FileExists(path)) << "only an engine that asks for it gets the file";
  {
    LineCollector engine;
    engine.fileLog = true;
    LogText(L"first");
    LogMessage(IDS_TEST_RETURNED, 7);
  }
  std::wstring expected = L"first\r\nXML test returned: 7\r\n";  // UTF-16LE, no byte-order mark
  EXPECT_EQ(ReadFileBytes(path), std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 2));
  DeleteFileW(path.c_str());
  EXPECT_EQ(LoadMessageText(MessageId{1000}).size(), 1240u) << "longer than the first buffer, loaded whole";
}

// A hidden value, and a text that holds one, never reach the engine or its
// log file: each occurrence is ten asterisks, occurrences that overlap are one
// mask with no rest of either beside it. The texts end with the engine.
TEST(MessageLog, MasksHiddenTextsInEveryLineUntilTheEngineEnds) {
  std::wstring path = RuntimeLogFilePath().c_str();
  DeleteFileW(path.c_str());
  {
    LineCollector engine;
    engine.fileLog = true;
    LogSecrets().AddPropertyValues(L" PASS ;; KEY;EMPTY", [](const std::wstring& name) {
      return name == L"PASS" ? L"pa55" : name == L"KEY" ? L"5*x" : L"";
    });
    LogSecrets().Add(L"Server=x;pa55word");
    LogMessage(IDS_ATTRIBUTE_UPDATED, L"add", L"v", L"pa55pa55", L"Server=x;pa55word", L"pa55*x");
    EXPECT_EQ(engine.lines, std::vector<std::wstring>{L"Node name: 'add'  - Attribute name = 'v', Old Value = "
                                                      L"'********************',  New value = '**********', Actual "
                                                      L"New Value = '**********'"});
  }
  EXPECT_EQ(ReadFileBytes(path).find(Utf16Bytes(L"pa5")), std::string::npos);
  EXPECT_TRUE(LogSecrets().empty()) << "a later action must not inherit them";
  DeleteFileW(path.c_str());
}

// Code builds messages between a failed Win32 call and the capture of its
// error code, so no string operation may change the thread's last error;
// and long strings go to COM as BSTRs of the right length.
TEST(StringW, KeepsTheLastErrorAndHandsComBstrsOfTheRightLength) {
  SetLastError(5);
  {
    _stringw s(L"abc");
    s += std::wstring(300, L'x').c_str();
    _stringw copy(s);
    copy = s.substr(1);
    s.format(L"%s-%d", L"x", 7);
    (void)s.bstr();
    (void)copy.narrow();
    { auto buffer = s.writable(10); }
    EXPECT_EQ(GetLastError(), 5u);
  }
  EXPECT_EQ(GetLastError(), 5u) << "destruction must put the value back";

  _stringw s(40, L'q');
  EXPECT_GE(SysStringLen(const_cast<BSTR>(s.c_str())), 40u) << "long storage is itself a BSTR";
  s = L"second text";
  EXPECT_EQ(SysStringLen(s.bstr()), 11u);
  s = L"third text!";  // same length: the cached copy is reused
  EXPECT_STREQ(s.bstr(), L"third text!");
  auto give = [](BSTR* out, const wchar_t* text) { *out = text ? SysAllocString(text) : nullptr; };
  give(s.out(), L"from COM");
  EXPECT_EQ(s, L"from COM");
  give(s.out(), nullptr);
  EXPECT_TRUE(s.empty());
  wcscpy(s.writable(64), L"filled");
  EXPECT_EQ(s.size(), 6u) << "the length is the text the call gave";
  s = static_cast<const wchar_t*>(nullptr);
  EXPECT_TRUE(s.empty());
  s.format(L"<%s|%d|0x%lx>", _stringw(5000, L'z').c_str(), -12, 0x8007064Ful);
  EXPECT_EQ(std::wstring(s.c_str()), L"<" + std::wstring(5000, L'z') + L"|-12|0x8007064f>")
      << "measured first, then formatted";
}
