#pragma once

#include <windows.h>
#include <msxml2.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/CYVXMLInstallEngine.h"
#include "kit/TempFolder.h"
#include "support/com_ptr.h"
#include "xml/CYVXmlFile.h"

// Stands in for the installer-hosted engine: keeps every numbered log line
// (it is the log sink while alive) and answers prompts from a script. A step
// may change the world first (repair a file, drop a lock), as a user would
// before pressing Retry.
class ScriptedEngine : public CYVXMLInstallEngine {
 public:
  struct Prompt {
    std::wstring text;
    int errorNumber;
    int detail;
  };
  struct Step {
    int answer;
    std::function<void()> before;
  };
  void Script(std::vector<Step> steps) {
    steps_ = std::move(steps);
    next_ = 0;
  }
  void OnLogMessage(const wchar_t* text) override { lines.emplace_back(text); }
  int OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) override;
  size_t Count(const std::wstring& line) const;
  size_t CountStartingWith(const std::wstring& start) const;
  bool Logged(const std::wstring& line) const { return Count(line) > 0; }

  std::vector<std::wstring> lines;
  std::vector<Prompt> prompts;

 private:
  std::vector<Step> steps_;
  size_t next_ = 0;
};

bool RunningOnWine();

// A file written from `text` into a temporary folder and loaded (without
// formatting on save); the log is cleared once it is loaded.
class LoadedDocument {
 public:
  explicit LoadedDocument(const std::string& text, const std::wstring& selectionNamespaces = L"");
  CYVXmlFile& file() { return file_; }
  ScriptedEngine& engine() { return engine_; }
  const std::wstring& path() const { return path_; }
  // The root element in canonical form.
  std::wstring Root() const;
  // Selects `xpath` (nothing created) and clears the log.
  void Select(const wchar_t* xpath);
  // Saves and parses the file afresh.
  yv::ComPtr<IXMLDOMDocument2> SaveAndReload(const std::wstring& selectionNamespaces = L"");

 private:
  TempFolder folder_;
  std::wstring path_;
  ScriptedEngine engine_;
  CYVXmlFile file_;
};

// A file parsed by a fresh parser object, independent of the code under
// test; null when it does not parse.
yv::ComPtr<IXMLDOMDocument2> ParseFile(const std::wstring& path, const std::wstring& selectionNamespaces = L"");
// The text of every node that `xpath` selects.
std::vector<std::wstring> Select(IXMLDOMDocument2* document, const std::wstring& xpath);
// The markup the parser writes for a node (indented on Wine, not on Windows).
std::wstring XmlOf(IXMLDOMNode* node);

// What a node holds, as compact markup that is the same on every parser:
// element and attribute names carry their namespace as `name{uri}`,
// attributes are sorted and namespace declarations left out, adjacent text,
// CDATA and entity content merge (an entity Wine gives no text for shows as
// `&name;`), whitespace-only text is dropped and the XML declaration is left
// out. Indenting a document changes nothing here; losing content does.
std::wstring Canonical(IXMLDOMNode* node);

std::wstring FixtureFolder();
std::string Utf8(const std::wstring& text);
