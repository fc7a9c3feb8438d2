// What an installing user can do between the module's actions: replace the
// runtime data file in their own temporary folder with a file of their own.
// Run by a test package as an EXE custom action:
//   yvattacker.exe "[YVXmlInstall]" <replacement file>
// The first argument is the action data the costing published; the path is
// its part before the first '|'. Exit status 0 once the file is replaced.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv || count != 3) return 2;
  std::wstring data = argv[1];
  std::wstring path = data.substr(0, data.find(L'|'));
  bool replaced = CopyFileW(argv[2], path.c_str(), FALSE) != FALSE;
  LocalFree(argv);
  return replaced ? 0 : 1;
}
