#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/CYVXMLInstallEngine.h"
#include "kit/TempFolder.h"
#include "support/MessageLog.h"
#include "support/com_exception.h"

namespace {

// An engine that keeps every line the log hands it.
class LineCollector : public CYVXMLInstallEngine {
 public:
  explicit LineCollector(bool fileLog = false) : fileLog_(fileLog) {}
  void OnLogMessage(const wchar_t* text) override { lines.emplace_back(text); }
  bool IsFileLogEnabled() override { return fileLog_; }
  int OnErrorPrompt(const wchar_t*, int, int) override { return 0; }
  std::vector<std::wstring> lines;

 private:
  bool fileLog_;
};

constexpr UINT kLongMessageId = 1000;

}  // namespace

TEST(MessageLog, FormatsNumberedMessagesForTheLiveEngineOnly) {
  LogMessage(62, 5);  // no engine yet: dropped without harm
  {
    LineCollector engine;
    EXPECT_EQ(GetLogSink(), &engine);
    LogMessage(62, 5);
    LogMessage(2, yv::_stringw(L"C:\\a b\\web.config"));
    LogMessage(29, L"add", L"key", L"old", 3);
    LogMessage(12, static_cast<long>(0x80004005));
    LogMessage(33);
    LogMessage(6);  // no arguments: the text goes out as it stands, '%s' included
    LogMessage(4000, 1);  // no such text, with arguments: nothing
    LogMessage(4000);     // no such text, alone: an empty line
    LogText(L"a ready line with 100% in it");
    ASSERT_EQ(engine.lines.size(), 8u);
    EXPECT_EQ(engine.lines[0], L"XML test returned: 5");
    EXPECT_EQ(engine.lines[1], L"Updating XML file: C:\\a b\\web.config");
    EXPECT_EQ(engine.lines[2], L"Node name: 'add'  --> Attribute name = 'key', Current Value = 'old', Operation = '3'");
    EXPECT_EQ(engine.lines[3], L"Error setting SelectionLanguage property. Error Code = 0x80004005");
    EXPECT_EQ(engine.lines[4], L"Removing element");
    EXPECT_EQ(engine.lines[5], L"Using SelectionNamespaces:  %s");
    EXPECT_EQ(engine.lines[6], L"");
    EXPECT_EQ(engine.lines[7], L"a ready line with 100% in it");
  }
  EXPECT_EQ(GetLogSink(), nullptr) << "a destroyed engine must not stay registered";
}

TEST(MessageLog, LoadsTextsLongerThanItsFirstBufferWhole) {
  yv::_stringw text = LoadMessageText(kLongMessageId);
  EXPECT_EQ(text.size(), 1240u);
  EXPECT_EQ(text.substr(text.size() - 31), L"segment 039 of a long message; ");
  EXPECT_EQ(LoadMessageText(57).size(), 344u);
}

TEST(MessageLog, WritesTheRuntimeLogFileOnlyWhenTheEngineAsksForIt) {
  std::wstring path = RuntimeLogFilePath().c_str();
  DeleteFileW(path.c_str());
  {
    LineCollector quiet(false);
    LogText(L"not in the file");
  }
  EXPECT_FALSE(FileExists(path));
  {
    LineCollector engine(true);
    LogText(L"first");
    LogMessage(62, 7);
    EXPECT_EQ(engine.lines.size(), 2u);
  }
  std::wstring expected = L"first\r\nXML test returned: 7\r\n";
  std::string bytes = ReadFileBytes(path);
  DeleteFileW(path.c_str());
  ASSERT_EQ(bytes.size(), expected.size() * 2) << "UTF-16LE, no byte-order mark";
  EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 2));
}

TEST(ThrowIfMsiFailed, TurnsAFailedInstallerCallIntoAComExceptionWithItsText) {
  EXPECT_NO_THROW(ThrowIfMsiFailed(ERROR_SUCCESS, L"MsiViewFetch"));

  try {
    ThrowIfMsiFailed(1615, L"MsiOpenDatabaseView");
    FAIL() << "must throw";
  } catch (const com_exception& e) {
    EXPECT_EQ(static_cast<unsigned long>(e.result()), 0x8007064Ful);
    const yv::_stringw& text = e.description();
    ASSERT_GE(text.size(), 21u);
    EXPECT_EQ(text.substr(text.size() - 21), L"MsiOpenDatabaseView()");
    EXPECT_GT(text.size(), 21u) << "the installer's or the system's text comes first";
  }

  try {
    ThrowIfMsiFailed(ERROR_INVALID_HANDLE, L"MsiViewExecute", L"SELECT * FROM `YVXmlFile`");
    FAIL() << "must throw";
  } catch (const com_exception& e) {
    EXPECT_EQ(static_cast<unsigned long>(e.result()), 0x80070006ul);
    std::wstring suffix = L"MsiViewExecute(SELECT * FROM `YVXmlFile`)";
    const yv::_stringw& text = e.description();
    ASSERT_GE(text.size(), suffix.size());
    EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix.c_str());
  }

  try {
    ThrowIfMsiFailed(static_cast<UINT>(E_OUTOFMEMORY), L"MsiRecordGetString", L"a", L"b");
    FAIL() << "must throw";
  } catch (const com_exception& e) {
    EXPECT_EQ(e.result(), E_OUTOFMEMORY) << "a negative result is already an HRESULT";
    std::wstring suffix = L"MsiRecordGetString(a, b)";
    EXPECT_EQ(e.description().substr(e.description().size() - suffix.size()), suffix.c_str());
  }
}

TEST(EventDefaults, ResolveStringCopiesWhatFitsAndReportsTheFullLength) {
  LineCollector engine;
  IXMLRTEvent& events = engine;
  wchar_t buffer[8] = L"unset!!";
  EXPECT_EQ(events.ResolveString(1, L"0123456789", buffer, 4), 10u);
  EXPECT_STREQ(buffer, L"012");

  wcscpy(buffer, L"unset!!");
  EXPECT_EQ(events.ResolveString(1, L"0123456789", buffer, 0), 10u);
  EXPECT_STREQ(buffer, L"unset!!") << "size 0 leaves the buffer alone";

  EXPECT_EQ(events.ResolveString(2, L"abc", buffer, 0x80000000u), 3u);
  EXPECT_STREQ(buffer, L"") << "an impossible size is answered with an empty text";

  EXPECT_EQ(events.ResolveString(8, L"abc", buffer, 8), 3u);
  EXPECT_STREQ(buffer, L"abc");

  EXPECT_TRUE(engine.IsInstallState(1));
  EXPECT_TRUE(engine.IsUninstallState(2));
  EXPECT_FALSE(events.IsFileLogEnabled());
}
