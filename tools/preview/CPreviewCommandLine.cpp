#include "CPreviewCommandLine.h"

const wchar_t* CPreviewCommandLine::Usage() {
  return L"usage: yvxml-preview <package.msi> install|uninstall --dir PROPERTY=C:\\folder [--dir ...] "
         L"[--property NAME=value ...]";
}

bool CPreviewCommandLine::Fail(const std::wstring& message) {
  error_ = message;
  return false;
}

bool CPreviewCommandLine::TakeAssignment(const std::wstring& option, const std::wstring& text,
                                         std::map<std::wstring, std::wstring>& into) {
  size_t equals = text.find(L'=');
  if (equals == std::wstring::npos || equals == 0) return Fail(option + L" needs NAME=value, got '" + text + L"'");
  std::wstring name = text.substr(0, equals);
  if (into.count(name)) return Fail(option + L" " + name + L" is given twice");
  into[name] = text.substr(equals + 1);
  return true;
}

bool CPreviewCommandLine::Parse(const std::vector<std::wstring>& arguments) {
  std::vector<std::wstring> positional;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument == L"--dir" || argument == L"--property") {
      if (i + 1 == arguments.size()) return Fail(argument + L" needs NAME=value");
      if (!TakeAssignment(argument, arguments[++i], argument == L"--dir" ? folders_ : properties_)) return false;
    } else if (argument.rfind(L"--", 0) == 0) {
      return Fail(L"unknown option " + argument);
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 2) return Fail(L"expected a package and install or uninstall");
  package_ = positional[0];
  if (positional[1] == L"install") {
    install_ = true;
  } else if (positional[1] == L"uninstall") {
    install_ = false;
  } else {
    return Fail(L"expected install or uninstall, got '" + positional[1] + L"'");
  }
  if (folders_.empty()) return Fail(L"at least one --dir is needed: the preview only changes files in those folders");
  for (const auto& [name, folder] : folders_) {
    if (folder.empty()) return Fail(L"--dir " + name + L" names no folder");
  }
  return true;
}
