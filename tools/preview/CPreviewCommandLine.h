#pragma once

#include <map>
#include <string>
#include <vector>

// The preview's command line:
//
//   yvxml-preview <package.msi> install|uninstall --dir PROPERTY=C:\folder
//                 [--dir ...] [--property NAME=value ...]
//
// Property names are kept as typed: installer property names are case
// sensitive.
class CPreviewCommandLine {
 public:
  // Parses the arguments after the program name. False with error() set
  // when they do not form a valid command.
  bool Parse(const std::vector<std::wstring>& arguments);

  const std::wstring& package() const noexcept { return package_; }
  bool install() const noexcept { return install_; }
  // Folder property name -> folder, in the order of the names.
  const std::map<std::wstring, std::wstring>& folders() const noexcept { return folders_; }
  const std::map<std::wstring, std::wstring>& properties() const noexcept { return properties_; }
  const std::wstring& error() const noexcept { return error_; }

  static const wchar_t* Usage();

 private:
  bool Fail(const std::wstring& message);
  bool TakeAssignment(const std::wstring& option, const std::wstring& text, std::map<std::wstring, std::wstring>& into);

  std::wstring package_;
  bool install_ = true;
  std::map<std::wstring, std::wstring> folders_;
  std::map<std::wstring, std::wstring> properties_;
  std::wstring error_;
};
