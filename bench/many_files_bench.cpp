// How an installation grows with the number of files: 100, 1,000 and 3,000
// small XML files with 5 element records each, installed by the engine the
// installer hosts (a real installer session, the runtime data file checked
// and copied into the private state, a backup and a journal record per file,
// the state stored once at the end), then committed. The ratios say whether
// the cost per file stays flat: 1,000 files should cost at most 12 times
// 100 files.
//
// Run: build/wine-run build/bin/bench_many_files_bench.exe

#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchClock.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "config/ConfigFlags.h"
#include "engine/CXMLMSIInstallEngine.h"
#include "kit/RecordedSession.h"
#include "kit/TempFolder.h"
#include "kit/TestPackage.h"
#include "runtime_file/CXmlIniWriter.h"
#include "runtime_file/RuntimeDataReference.h"
#include "support/ComApartment.h"
#include "support/Sha256.h"

namespace {

constexpr int kElementsPerFile = 5;

// Seconds for one install of `count` files, and the commit after it.
double InstallSeconds(int count) {
  TempFolder folder;
  TestPackage package(folder.File(L"many.msi"));
  package.ErrorPromptRows().Property(L"ProductCode", L"{6B1F3C2A-9E4D-4F0A-8B7C-1D2E3F405162}").Commit();
  RecordedSession session(package.path());

  CXmlCfgPropertyBag bag;
  CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"Comp");
  component->actionState = INSTALLSTATE_LOCAL;
  for (int i = 0; i < count; ++i) {
    std::wstring name = L"file" + std::to_wstring(i) + L".xml";
    WriteFileBytes(folder.File(name), "<config>\r\n  <a/>\r\n  <b/>\r\n  <c/>\r\n  <d/>\r\n  <e/>\r\n</config>\r\n");
    CXmlCfgFileProp* file = component->AddFile(name.c_str());
    file->path = folder.path().c_str();
    file->fileName = name.c_str();
    file->fileAttributes = kUnknownFileAttributes;
    file->attributes = XmlFileFlags::kKeepFormatting;
    for (const wchar_t* element : {L"/config/a", L"/config/b", L"/config/c", L"/config/d", L"/config/e"}) {
      CXmlCfgXPathProp* xpath = file->AddXPath(element);
      CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"installed");
      attribute->value = L"yes";
      attribute->action = XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing;
    }
  }
  std::wstring runtimeData = folder.File(L"XMLbench.tmp");
  CXmlIniWriter writer(runtimeData.c_str());
  bag.Save(writer);
  yv::_stringw data = RuntimeDataReference{runtimeData.c_str(), writer.digest(), yv::RandomHexToken()}.Format();
  MsiSetPropertyW(session.handle(), L"CustomActionData", data.c_str());

  double start = Now();
  int installed = CXMLMSIInstallEngine(session.handle()).Install();
  double seconds = Now() - start;
  int committed = CXMLMSIInstallEngine(session.handle()).Commit();
  if (installed != 0 || committed != 0) std::printf("install %d, commit %d\n", installed, committed);
  return seconds;
}

}  // namespace

int main() {
  yv::ComApartment apartment;
  double seconds100 = InstallSeconds(100), seconds1000 = InstallSeconds(1000), seconds3000 = InstallSeconds(3000);
  std::printf("Installing small XML files, %d element records each, through the installer-hosted engine\n\n",
              kElementsPerFile);
  std::printf("  100 files  %8.2f s\n 1000 files  %8.2f s\n 3000 files  %8.2f s\n\n", seconds100, seconds1000,
              seconds3000);
  std::printf("1000 / 100 files   %6.2fx (linear: 10x; target at most 12x)\n", seconds1000 / seconds100);
  std::printf("3000 / 1000 files  %6.2fx (linear: 3x)\n", seconds3000 / seconds1000);
  return 0;
}
