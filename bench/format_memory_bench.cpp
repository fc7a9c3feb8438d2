// Peak memory of pretty-printing a large XML file: the module loads it,
// changes one attribute and saves it formatted (through the stylesheet),
// as an install of a file without the keep-formatting flag does. A process's
// peak working set only grows, so each size runs in a process of its own:
//
//   build/wine-run build/bin/bench_format_memory_bench.exe 2
//   build/wine-run build/bin/bench_format_memory_bench.exe 7
//   build/wine-run build/bin/bench_format_memory_bench.exe 28
//
// The argument is the file's size in MB; the output is the peak working set
// and its ratio to the file's size.

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "config/ConfigFlags.h"
#include "engine/CYVXMLInstallEngine.h"
#include "engine/XmlFileOperations.h"
#include "kit/TempFolder.h"
#include "support/ComApartment.h"

namespace {

class QuietEngine : public CYVXMLInstallEngine {
 public:
  void OnLogMessage(const wchar_t*) override {}
  int OnErrorPrompt(const wchar_t*, int, int) override { return 3; }
};

double PeakWorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize / 1048576.0;
}

}  // namespace

int main(int argc, char** argv) {
  double megabytes = argc > 1 ? std::atof(argv[1]) : 2;
  yv::ComApartment apartment;
  TempFolder folder;
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration><appSettings>";
  for (int i = 0; text.size() < megabytes * 1048576; ++i)
    text += "<add key=\"setting" + std::to_string(i) + "\" value=\"a value long enough to look like a path\"/>";
  text += "</appSettings></configuration>\r\n";
  WriteFileBytes(folder.File(L"big.config"), text);
  double before = PeakWorkingSetMb();

  QuietEngine engine;
  CXmlCfgFileProp file(L"Big", L"Comp");
  file.path = folder.path().c_str();
  file.fileName = L"big.config";
  file.fileAttributes = kUnknownFileAttributes;
  file.attributes = 0;  // pretty-printed on save
  CXmlCfgXPathAttribProp* attribute = file.AddXPath(L"/configuration/appSettings/add[1]")->AddAttribute(L"value");
  attribute->value = L"changed";
  attribute->action = XmlAttributeFlags::kApplyOnInstall;
  int result = InstallFile(file, engine);
  CommitFile(file, engine.BackupFolder());

  double peak = PeakWorkingSetMb(), size = text.size() / 1048576.0;
  std::printf("file %.1f MB: result %d, peak working set %.0f MB before the install, %.0f MB after (%.0fx the file)\n",
              size, result, before, peak, peak / size);
  return result;
}
