// yvxml-preview: what a package's XML changes would do, tried on copies.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "CPreviewCommandLine.h"
#include "CPreviewOutput.h"
#include "CPreviewRun.h"
#include "support/ComApartment.h"
#include "support/UniqueHandle.h"

int main() {
  CPreviewOutput output;
  int count = 0;
  yv::UniqueLocalMemory<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::wstring> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv.get()[i]);

  CPreviewCommandLine commandLine;
  if (!commandLine.Parse(arguments)) {
    output.ErrorLine(L"yvxml-preview: " + commandLine.error());
    output.ErrorLine(CPreviewCommandLine::Usage());
    return CPreviewRun::kUsage;
  }

  // The module's test pass expects its caller to own the thread's apartment.
  yv::ComApartment apartment;
  CPreviewRun run(commandLine, output);
  return run.Run();
}
