#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "actions/ActionRunner.h"
#include "actions/CXmlCfgActionBase.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"

namespace {

// An action whose operation the test chooses, recording the COM apartment it
// ran in.
struct ProbeAction : CXmlCfgActionBase {
  explicit ProbeAction(MSIHANDLE session) : CXmlCfgActionBase(session) {}
};

HRESULT ApartmentSeenInside = E_FAIL;

class ActionRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestPackage package(folder_.File(L"runner.msi"));
    package.Property(L"ProductCode", L"{1C2D3E4F-5A6B-4C7D-8E9F-0A1B2C3D4E5F}");
    package.Commit();
    session_ = std::make_unique<RecordedSession>(package.path());
  }

  TempFolder folder_;
  std::unique_ptr<RecordedSession> session_;
};

}  // namespace

TEST_F(ActionRunnerTest, NegativeResultsReachTheInstallerAsTheirUnsignedForm) {
  UINT result = 0;
  std::thread([&] {
    result = RunAction<ProbeAction>(session_->handle(), L"YVXmlInstall", [](ProbeAction&) { return -2004; });
  }).join();
  EXPECT_EQ(result, 0xFFFFF82Cu);

  std::thread([&] {
    result = RunAction<ProbeAction>(session_->handle(), L"YVXmlCosting", [](ProbeAction&) { return -1101; });
  }).join();
  EXPECT_EQ(result, 0xFFFFFBB3u);
}

TEST_F(ActionRunnerTest, AnExceptionIsLoggedOnceAndBecomesAFailureCode) {
  UINT result = 0;
  std::thread([&] {
    result = RunAction<ProbeAction>(session_->handle(), L"YVXmlInstall", [](ProbeAction&) -> int {
      throw std::runtime_error("a failed COM call deep inside");
    });
  }).join();
  EXPECT_EQ(result, static_cast<UINT>(ERROR_INSTALL_FAILURE));
  auto lines = session_->LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], L"An unhandled exception occurred in YVXmlInstall function");
}

TEST_F(ActionRunnerTest, RunsInASingleThreadedApartmentAndLeavesOthersAlone) {
  std::thread([&] {
    RunAction<ProbeAction>(session_->handle(), L"YVXmlCommit", [](ProbeAction&) {
      APTTYPE type;
      APTTYPEQUALIFIER qualifier;
      ApartmentSeenInside = SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_STA ? S_OK : E_FAIL;
      return 0;
    });
    // The runner left COM as it found it: not initialised.
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
  }).join();
  EXPECT_EQ(ApartmentSeenInside, S_OK);

  // A thread already in the multi-threaded apartment: the action still runs,
  // and the thread's own COM initialisation is not undone.
  bool ran = false;
  HRESULT stillInitialised = E_FAIL;
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    UINT result = RunAction<ProbeAction>(session_->handle(), L"YVXmlFinalize", [&](ProbeAction&) {
      ran = true;
      return 0;
    });
    EXPECT_EQ(result, 0u);
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    stillInitialised = CoGetApartmentType(&type, &qualifier);
    EXPECT_EQ(type, APTTYPE_MTA);
    CoUninitialize();
  }).join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(stillInitialised, S_OK);
}
