#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "config/ConfigFlags.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathProp.h"
#include "kit/ModuleLibrary.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlIniWriter.h"

namespace {

struct ApartmentAfter {
  HRESULT query = E_FAIL;
  APTTYPE type = APTTYPE_CURRENT;
};

ApartmentAfter CurrentApartment() {
  ApartmentAfter after;
  APTTYPEQUALIFIER qualifier;
  after.query = CoGetApartmentType(&after.type, &qualifier);
  return after;
}

}  // namespace

// The install export over a runtime data file whose one XML file cannot be
// parsed, and a user who answers the load prompt with Abort: the action's
// -2004 must arrive as the installer's unsigned 0xFFFFF82C, on a thread of
// its own making as well as on one that already lives in the multi-threaded
// apartment, which keeps that apartment afterwards.
TEST(ExportRunner, AnAbortReachesTheInstallerUnsignedAndTheCallersApartmentIsLeftAsItWas) {
  TempFolder folder;
  WriteFileBytes(folder.File(L"broken.xml"), "<configuration><unclosed></configuration>");
  std::wstring runtimeData = folder.File(L"runtime.ini");
  {
    CXmlCfgPropertyBag bag;
    CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"Main");
    component->actionState = INSTALLSTATE_LOCAL;
    CXmlCfgFileProp* file = component->AddFile(L"Broken");
    file->path = folder.path().c_str();
    file->fileName = L"broken.xml";
    file->fileAttributes = kUnknownFileAttributes;
    file->rootElementName = L"configuration";
    file->AddXPath(L"//configuration/item")->action = XmlElementFlags::kCreateOnInstall;
    CXmlIniWriter writer(runtimeData.c_str());
    ASSERT_EQ(bag.Save(writer), 0);
  }
  TestPackage package(folder.File(L"runner.msi"));
  package.ErrorPromptRows().Property(L"ProductCode", L"{5B6C7D8E-9FA0-41B2-83C4-D5E6F708192A}");
  package.Commit();
  RecordedSession session(package.path());
  ASSERT_EQ(MsiSetPropertyW(session.handle(), L"CustomActionData", runtimeData.c_str()), 0u);
  ModuleLibrary module;

  UINT result = 0;
  ApartmentAfter after;
  session.AnswerPrompts({IDABORT});
  std::thread([&] {
    result = module.CallAction("YVXmlInstall", session.handle());
    after = CurrentApartment();
  }).join();
  EXPECT_EQ(result, 0xFFFFF82Cu);
  EXPECT_EQ(after.query, CO_E_NOTINITIALIZED) << "the runner undid its own initialisation";

  session.AnswerPrompts({IDABORT});
  bool prompted = false;
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    size_t before = session.OfType(INSTALLMESSAGE_ERROR).size();
    result = module.CallAction("YVXmlInstall", session.handle());
    prompted = session.OfType(INSTALLMESSAGE_ERROR).size() == before + 1;
    after = CurrentApartment();
    CoUninitialize();
  }).join();
  EXPECT_TRUE(prompted) << "the action ran in the caller's apartment and reached the load prompt";
  EXPECT_EQ(result, 0xFFFFF82Cu);
  EXPECT_EQ(after.query, S_OK) << "the caller's initialisation was not undone";
  EXPECT_EQ(after.type, APTTYPE_MTA);
  EXPECT_EQ(ReadFileBytes(folder.File(L"broken.xml")), "<configuration><unclosed></configuration>");
}
