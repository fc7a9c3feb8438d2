#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "actions/CXmlCfgActionBase.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"

namespace {

// A millisecond counter the test sets by hand, so the 200 ms throttle can be
// checked exactly, including across the counter's wrap.
DWORD g_fakeNow = 0;
DWORD FakeClock() { return g_fakeNow; }

class ClockedAction : public CXmlCfgActionBase {
 public:
  explicit ClockedAction(MSIHANDLE session) : CXmlCfgActionBase(session, &FakeClock) {}
};

class ActionBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestPackage package(folder_.File(L"session.msi"));
    package.ErrorPromptRows()
        .Property(L"ProductCode", L"{0B4C3D2A-1E5F-4A6B-8C7D-9E0F1A2B3C4D}")
        .Property(L"Short", L"a value")
        .Property(L"Long", std::wstring(300, L'x') + L"END")
        .Property(L"Exactly260", std::wstring(260, L'y'));
    package.Commit();
    session_ = std::make_unique<RecordedSession>(package.path());
  }

  std::vector<RecordedMessage> Progress() const { return session_->OfType(INSTALLMESSAGE_PROGRESS); }

  TempFolder folder_;
  std::unique_ptr<RecordedSession> session_;
};

}  // namespace

TEST_F(ActionBaseTest, LogSendsTheTemplateInFieldZeroEveryTime) {
  CXmlCfgActionBase action(session_->handle());
  action.Log(L"first line");
  action.Log(nullptr);
  action.Log(L"third [1] line");
  auto infos = session_->OfType(INSTALLMESSAGE_INFO);
  ASSERT_EQ(infos.size(), 3u);
  for (const auto& m : infos) EXPECT_EQ(m.Field(0), L"Yelvin [Time]: [1]");
  EXPECT_EQ(infos[0].Field(1), L"first line");
  EXPECT_EQ(infos[1].Field(1), L"") << "a null text is an empty line";
  EXPECT_EQ(infos[2].Field(1), L"third [1] line");
}

TEST_F(ActionBaseTest, PropertiesAreReadWholeWhateverTheirLength) {
  CXmlCfgActionBase action(session_->handle());
  EXPECT_EQ(action.GetProperty(L"Short"), L"a value");
  yv::_stringw longValue = action.GetProperty(L"Long");
  EXPECT_EQ(longValue.size(), 303u) << "read whole through the second call";
  EXPECT_EQ(longValue.substr(300), L"END");
  EXPECT_EQ(action.GetProperty(L"Exactly260").size(), 260u);
  EXPECT_EQ(action.GetProperty(L"NoSuchProperty"), L"");

  EXPECT_EQ(action.SetProperty(L"YVXmlFinalize", L"C:\\temp\\XML1.TMP"), 0);
  EXPECT_EQ(action.SetProperty(L"CustomActionData", L"C:\\temp\\XML2.TMP"), 0);
  EXPECT_EQ(action.GetRuntimeDataPath(false), L"C:\\temp\\XML1.TMP");
  EXPECT_EQ(action.GetRuntimeDataPath(true), L"C:\\temp\\XML2.TMP");
  EXPECT_TRUE(session_->LogLines().empty()) << "nothing failed, so nothing is logged";
}

TEST_F(ActionBaseTest, AClosedSessionGivesEmptyResultsAndNoCrash) {
  CXmlCfgActionBase action(0xDEAD);
  EXPECT_TRUE(action.IsValid());
  EXPECT_EQ(action.database(), 0u);
  EXPECT_EQ(action.GetProperty(L"Short"), L"");
  EXPECT_EQ(action.SetProperty(L"Short", L"x"), 0);
  action.Log(nullptr);
  // The installer refuses the dead handle (Windows answers -1, Wine the error
  // code 6); either way no button was pressed.
  EXPECT_EQ(action.PromptError(L"C:\\f.xml", 27520, 5), 0);
  EXPECT_EQ(action.SetupProgressBar(3, 10), 1);
  action.IncrementProgressBar();
  action.CompleteProgressBar();
  action.ProgressMessage(nullptr);
  EXPECT_FALSE(action.IsCancelled());
}

TEST_F(ActionBaseTest, AFailedPropertyCallIsLoggedWithTheNameAndCode) {
  CXmlCfgActionBase action(session_->handle());
  EXPECT_EQ(action.SetProperty(nullptr, L"value"), 0);
  EXPECT_EQ(action.GetProperty(nullptr), L"");
  auto lines = session_->LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find(L"MsiGetProperty error for property ''"), std::wstring::npos) << lines[1];
  EXPECT_NE(lines[0].find(L"MsiSetProperty error for property ''"), std::wstring::npos) << lines[0];
  EXPECT_NE(lines[0].find(std::to_wstring(ERROR_INVALID_PARAMETER)), std::wstring::npos) << lines[0];
}

TEST_F(ActionBaseTest, PromptErrorRaisesTheInstallersAbortRetryIgnoreBox) {
  CXmlCfgActionBase action(session_->handle());
  session_->AnswerPrompts({IDRETRY, IDIGNORE, IDABORT});
  EXPECT_EQ(action.PromptError(L"C:\\app\\web.config", 27520, -2147467259), IDRETRY);
  EXPECT_EQ(action.PromptError(L"C:\\app\\web.config", 27519, 5), IDIGNORE);
  EXPECT_EQ(action.PromptError(L"C:\\app\\web.config", 27519, 5), IDABORT);
  EXPECT_EQ(action.PromptError(L"C:\\app\\web.config", 27519, 5), 0) << "nobody left to answer";
  auto prompts = session_->OfType(INSTALLMESSAGE_ERROR);
  ASSERT_EQ(prompts.size(), 4u);
  EXPECT_EQ(prompts[0].style, static_cast<UINT>(MB_ICONWARNING | MB_ABORTRETRYIGNORE));
  EXPECT_EQ(prompts[0].IntField(1), 27520);
  EXPECT_EQ(prompts[0].Field(2), L"C:\\app\\web.config");
  EXPECT_EQ(prompts[0].IntField(3), -2147467259);
  EXPECT_EQ(prompts[1].IntField(1), 27519);
}

TEST_F(ActionBaseTest, ProgressReportsAtMostOnceEvery200Milliseconds) {
  ClockedAction action(session_->handle());
  g_fakeNow = 10000;
  EXPECT_EQ(action.SetupProgressBar(0, 7), 1);
  auto setup = Progress();
  ASSERT_EQ(setup.size(), 2u);
  EXPECT_EQ(setup[0].IntField(1), 0);
  EXPECT_EQ(setup[0].IntField(2), 7) << "0 steps count as one step";
  EXPECT_EQ(setup[1].IntField(1), 1);
  EXPECT_EQ(setup[1].IntField(2), 1);
  EXPECT_EQ(action.progress().remaining(), 1u);

  session_->Clear();
  action.SetupProgressBar(6, 10);
  session_->Clear();
  action.IncrementProgressBar();  // the first one always reports
  g_fakeNow += 50;
  action.IncrementProgressBar();
  g_fakeNow += 149;
  action.IncrementProgressBar();
  action.IncrementProgressBar();  // three counted within 199 ms of the report
  auto reports = Progress();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].IntField(1), 2);
  EXPECT_EQ(reports[0].IntField(2), 10);
  EXPECT_EQ(action.progress().pending(), 3u);
  EXPECT_EQ(action.progress().remaining(), 5u);

  action.CompleteProgressBar();  // the unreported steps go out with the rest
  reports = Progress();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].IntField(2), 50) << "remaining 5 x 10 ticks";
  EXPECT_EQ(action.progress().remaining(), 0u);
  EXPECT_EQ(action.progress().pending(), 0u);

  session_->Clear();
  action.CompleteProgressBar();
  EXPECT_TRUE(Progress().empty()) << "nothing left to report";
}

TEST_F(ActionBaseTest, ThrottleSurvivesTheWrapOfTheMillisecondCounter) {
  ClockedAction action(session_->handle());
  action.SetupProgressBar(10, 1);
  session_->Clear();
  g_fakeNow = 0xFFFFFFF0u;
  action.IncrementProgressBar();
  g_fakeNow = 0x00000050u;  // 96 ms later, across the wrap
  action.IncrementProgressBar();
  EXPECT_EQ(Progress().size(), 1u);
  g_fakeNow = 0x000000C0u;  // 208 ms after the report
  action.IncrementProgressBar();
  auto reports = Progress();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].IntField(2), 2) << "the step counted in between goes out too";
}

TEST_F(ActionBaseTest, ActionTextAndCancelFromTheUser) {
  CXmlCfgActionBase action(session_->handle());
  action.ProgressMessage(L"Updating XML files");
  auto starts = session_->OfType(INSTALLMESSAGE_ACTIONSTART);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].Field(1), L"Progress Custom Action");
  EXPECT_EQ(starts[0].Field(2), L"Updating XML files");
  EXPECT_FALSE(action.IsCancelled());

  session_->AnswerProgress(IDCANCEL);
  EXPECT_EQ(action.SetupProgressBar(2, 5000), 1) << "setting the bar up never cancels";
  EXPECT_FALSE(action.IsCancelled());
  EXPECT_EQ(action.IncrementProgressBar(), IDCANCEL);
  EXPECT_TRUE(action.IsCancelled());

  CXmlCfgActionBase second(session_->handle());
  second.ProgressMessage(L"x");
  EXPECT_TRUE(second.IsCancelled()) << "a cancel answered to the action text counts too";
}
