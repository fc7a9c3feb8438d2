#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "config/ConfigFlags.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathProp.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlIniWriter.h"

namespace {

using ActionExport = UINT(__stdcall*)(MSIHANDLE);

// The module's install action, loaded and called as the installer does it.
class InstallExport {
 public:
  InstallExport() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"YVXmlCfg.dll";
    module_ = LoadLibraryW(path.c_str());
    if (!module_) throw std::runtime_error("YVXmlCfg.dll must sit beside the test program");
    function_ = reinterpret_cast<ActionExport>(reinterpret_cast<void*>(GetProcAddress(module_, "YVXmlInstall")));
    if (!function_) throw std::runtime_error("YVXmlCfg.dll exports no YVXmlInstall");
  }
  ~InstallExport() { FreeLibrary(module_); }
  UINT operator()(MSIHANDLE session) const { return function_(session); }

 private:
  HMODULE module_;
  ActionExport function_ = nullptr;
};

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
  InstallExport install;

  UINT result = 0;
  ApartmentAfter after;
  session.AnswerPrompts({IDABORT});
  std::thread([&] {
    result = install(session.handle());
    after = CurrentApartment();
  }).join();
  EXPECT_EQ(result, 0xFFFFF82Cu);
  EXPECT_EQ(after.query, CO_E_NOTINITIALIZED) << "the runner undid its own initialisation";

  session.AnswerPrompts({IDABORT});
  bool prompted = false;
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    size_t before = session.OfType(INSTALLMESSAGE_ERROR).size();
    result = install(session.handle());
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
