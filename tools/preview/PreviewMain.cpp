// yvxml-preview: what a package's XML changes would do, tried on copies.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "CPreviewCommandLine.h"
#include "CPreviewOutput.h"
#include "CPreviewRun.h"

int main() {
  CPreviewOutput output;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv[i]);
  if (argv) LocalFree(argv);

  CPreviewCommandLine commandLine;
  if (!commandLine.Parse(arguments)) {
    output.ErrorLine(L"yvxml-preview: " + commandLine.error());
    output.ErrorLine(CPreviewCommandLine::Usage());
    return CPreviewRun::kUsage;
  }

  // The module's test pass expects its caller to own the thread's apartment.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int code;
  {
    CPreviewRun run(commandLine, output);
    code = run.Run();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}
