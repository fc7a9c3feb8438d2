// What applying one large XML file costs, against the floor that any
// implementation pays on the same parser.
//
// The file: about 5 MB, 36,000 <add key=... value=...> elements. The records:
// 1,000 XPaths, a quarter each replacing content and setting an attribute,
// appending content, creating a missing element with an attribute, and
// removing an element. The engine's InstallFile runs them; the floor does
// the same work directly with MSXML: a backup copy, the load, the same
// 1,000 selectNodes with the same changes, the pretty-print (through the
// stylesheet's text output where the parser's object output leaves no root,
// as Wine's does) and the save. Each side runs several times, taking turns;
// the fastest run of each counts. The same again for a file kept as it is
// (flag 0x4): the engine writes the changes over the file's own bytes, the
// floor loads with the whitespace and saves without formatting.
//
// Run: build/wine-run build/bin/bench_install_file_bench.exe

#include <windows.h>
#include <msxml2.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "config/CXmlCfgComponentProp.h"
#include "config/CXmlCfgFileProp.h"
#include "config/CXmlCfgXPathAttribProp.h"
#include "config/CXmlCfgXPathProp.h"
#include "config/ConfigFlags.h"
#include "engine/CYVXMLInstallEngine.h"
#include "engine/XmlFileOperations.h"
#include "kit/TempFolder.h"
#include "support/MessageLog.h"
#include "support/com_ptr.h"
#include "support/stringw.h"
#include "xml/ComVariant.h"
#include "xml/MsxmlIds.h"
#include "xml/XmlContentDigest.h"
#include "xml/XmlDeclarationText.h"

namespace {

constexpr int kElements = 36000;
constexpr int kRecords = 1000;
constexpr int kRepeats = 3;

std::string LargeConfig() {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <appSettings>\r\n";
  char line[256];
  for (int i = 0; i < kElements; ++i) {
    std::snprintf(line, sizeof line,
                  "    <add key=\"setting%05d\" value=\"the value of setting %05d, long enough to look like a "
                  "connection string or a path\">text %05d</add>\r\n",
                  i, i, i);
    text += line;
  }
  return text + "  </appSettings>\r\n</configuration>\r\n";
}

// One record per element chosen, in four kinds by the element's number.
enum class Kind { kReplaceAndSet, kAppend, kCreate, kRemove };

Kind KindOf(int record) { return static_cast<Kind>(record % 4); }

std::wstring XPathOf(int record) {
  wchar_t text[96];
  int element = record * (kElements / kRecords);
  if (KindOf(record) == Kind::kCreate) {
    std::swprintf(text, 96, L"/configuration/appSettings/added[@id='n%05d']", record);
  } else {
    std::swprintf(text, 96, L"/configuration/appSettings/add[@key='setting%05d']", element);
  }
  return text;
}

// The engine's host for this run: quiet, and never asked anything.
class QuietEngine : public CYVXMLInstallEngine {
 public:
  void OnLogMessage(const wchar_t* text) override {
    if (std::wcsstr(text, L"cannot be kept")) layoutLost = true;
  }
  // The layout-keeping save gave up and the parser wrote the file.
  bool layoutLost = false;
  int OnErrorPrompt(const wchar_t*, int, int) override { return 3; }
};

void FillFile(CXmlCfgFileProp& file, const std::wstring& folder, const std::wstring& name, bool keepLayout) {
  file.path = folder.c_str();
  file.fileName = name.c_str();
  file.fileAttributes = kUnknownFileAttributes;
  file.attributes = keepLayout ? XmlFileFlags::kKeepFormatting : 0;
  for (int r = 0; r < kRecords; ++r) {
    CXmlCfgXPathProp* xpath = file.AddXPath(XPathOf(r).c_str());
    switch (KindOf(r)) {
      case Kind::kReplaceAndSet: {
        xpath->action = XmlElementFlags::kReplaceContent;
        xpath->content = L"replaced";
        CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"value");
        attribute->value = L"changed";
        attribute->action = XmlAttributeFlags::kApplyOnInstall;
        break;
      }
      case Kind::kAppend:
        xpath->action = XmlElementFlags::kAppendContent;
        xpath->content = L" and more";
        break;
      case Kind::kCreate: {
        xpath->action = XmlElementFlags::kCreateOnInstall;
        CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(L"id");
        attribute->value = (L"n" + std::to_wstring(100000 + r).substr(1)).c_str();
        attribute->action = XmlAttributeFlags::kApplyOnInstall | XmlAttributeFlags::kCreateIfMissing;
        break;
      }
      case Kind::kRemove:
        xpath->action = XmlElementFlags::kRemoveOnInstall;
        break;
    }
  }
}

// The same work straight on MSXML, in the order the records are kept (the
// engine's key order): select, then change.
class Floor {
 public:
  Floor(const std::wstring& path, bool keepLayout) : path_(path), keepLayout_(keepLayout) {
    for (int r = 0; r < kRecords; ++r) ordered_.push_back(r);
    std::sort(ordered_.begin(), ordered_.end(), [](int a, int b) { return XPathOf(a) < XPathOf(b); });
    stylesheetText_ = LoadMessageText(IDS_INDENT_STYLESHEET);
    size_t at = stylesheetText_.find(L"%1");
    stylesheetText_.replace(at, 2, L"encoding=\"utf-8\"");
  }

  // Runs the floor; returns its time without the content check.
  double Run() {
    double start = Now();
    wchar_t tempFolder[MAX_PATH], backup[MAX_PATH];
    GetTempPathW(MAX_PATH, tempFolder);
    GetTempFileNameW(tempFolder, L"XML", 0, backup);
    CopyFileW(path_.c_str(), backup, FALSE);

    yv::ComPtr<IXMLDOMDocument2> document = NewDocument();
    document->put_preserveWhiteSpace(keepLayout_ ? VARIANT_TRUE : VARIANT_FALSE);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->load(ComVariant::FromText(path_.c_str()).get(), &loaded);
    yv::ComPtr<IXMLDOMElement> root;
    document->get_documentElement(root.put());

    for (int r : ordered_) {
      yv::ComPtr<IXMLDOMNodeList> matches;
      root->selectNodes(yv::_stringw(XPathOf(r).c_str()).bstr(), matches.put());
      long length = 0;
      matches->get_length(&length);
      yv::ComPtr<IXMLDOMNode> node;
      if (length > 0) matches->get_item(0, node.put());
      switch (KindOf(r)) {
        case Kind::kReplaceAndSet: {
          node->put_text(yv::_stringw(L"replaced").bstr());
          yv::ComPtr<IXMLDOMElement> element;
          node.As(msxml::kIXMLDOMElement, element);
          element->setAttribute(yv::_stringw(L"value").bstr(), ComVariant::FromText(L"changed").get());
          break;
        }
        case Kind::kAppend: {
          yv::_stringw text;
          node->get_text(text.out());
          text.append(L" and more");
          node->put_text(text.bstr());
          break;
        }
        case Kind::kCreate: {
          // The selection above found nothing: the element is made under its
          // parent, which is selected on its own.
          yv::ComPtr<IXMLDOMNode> parent, created, appended;
          root->selectSingleNode(yv::_stringw(L"/configuration/appSettings").bstr(), parent.put());
          document->createNode(ComVariant::FromI4(NODE_ELEMENT).get(), yv::_stringw(L"added").bstr(),
                               yv::_stringw(L"").bstr(), created.put());
          parent->appendChild(created.get(), appended.put());
          yv::ComPtr<IXMLDOMElement> element;
          appended.As(msxml::kIXMLDOMElement, element);
          element->setAttribute(yv::_stringw(L"id").bstr(), ComVariant::FromText(L"n").get());
          break;
        }
        case Kind::kRemove: {
          yv::ComPtr<IXMLDOMNode> parent, removed;
          node->get_parentNode(parent.put());
          parent->removeChild(node.get(), removed.put());
          break;
        }
      }
    }

    if (keepLayout_) {
      document->save(ComVariant::FromText(path_.c_str()).get());
      DeleteFileW(backup);
      contentCheckSeconds_ = 0;
      return Now() - start;
    }
    yv::ComPtr<IXMLDOMDocument2> stylesheet = NewDocument();
    stylesheet->loadXML(yv::_stringw(stylesheetText_).bstr(), &loaded);
    yv::ComPtr<IXMLDOMDocument2> output = NewDocument();
    output->put_preserveWhiteSpace(VARIANT_TRUE);
    document->transformNodeToObject(stylesheet.get(), ComVariant::FromDispatch(output.get()).get());
    yv::ComPtr<IXMLDOMElement> formatted;
    output->get_documentElement(formatted.put());
    if (!formatted) {
      yv::_stringw text;
      document->transformNode(stylesheet.get(), text.out());
      output->loadXML(StripLeadingXmlDeclarations(text).bstr(), &loaded);
      output->get_documentElement(formatted.put());
    }
    // Not part of the floor: the engine's check that formatting changed
    // nothing but whitespace, timed apart to show where the engine's extra
    // time goes.
    double checkStart = Now();
    SameXmlContent(root.get(), formatted.get());
    contentCheckSeconds_ = Now() - checkStart;
    document->putref_documentElement(formatted.get());
    document->save(ComVariant::FromText(path_.c_str()).get());
    DeleteFileW(backup);
    return Now() - start - contentCheckSeconds_;
  }

  double contentCheckSeconds() const { return contentCheckSeconds_; }

 private:
  static yv::ComPtr<IXMLDOMDocument2> NewDocument() {
    yv::ComPtr<IXMLDOMDocument2> document;
    for (const CLSID* id : {&msxml::kDomDocument60, &msxml::kDomDocument40, &msxml::kDomDocument30}) {
      if (SUCCEEDED(
              CoCreateInstance(*id, nullptr, CLSCTX_INPROC_SERVER, msxml::kIXMLDOMDocument2, document.put_void()))) {
        break;
      }
    }
    document->setProperty(yv::_stringw(L"SelectionLanguage").bstr(), ComVariant::FromText(L"XPath").get());
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    return document;
  }

  std::wstring path_;
  bool keepLayout_;
  std::vector<int> ordered_;
  yv::_stringw stylesheetText_;
  double contentCheckSeconds_ = 0;
};

// Times the engine and the floor on `original`, taking turns.
void Compare(const TempFolder& folder, const std::string& original, bool keepLayout) {
  std::wstring enginePath = folder.File(L"engine.config");
  std::wstring floorPath = folder.File(L"floor.config");
  double engineBest = 1e30, floorBest = 1e30, checkBest = 1e30;
  std::string engineResult, floorResult;
  for (int i = 0; i < kRepeats; ++i) {
    {
      WriteFileBytes(enginePath, original);
      QuietEngine engine;
      CXmlCfgComponentProp* component = engine.bag().GetOrAddComponent(L"Main");
      component->actionState = 3;
      CXmlCfgFileProp* file = component->AddFile(L"Large");
      FillFile(*file, folder.path().c_str(), L"engine.config", keepLayout);
      double start = Now();
      int result = InstallFile(*file, engine);
      engineBest = std::min(engineBest, Now() - start);
      if (result != 0) std::printf("InstallFile returned %d\n", result);
      if (engine.layoutLost) std::printf("the layout-keeping save fell back to the parser's\n");
      DeleteFileW(file->tempFilePath.c_str());
      engineResult = ReadFileBytes(enginePath);
    }
    {
      WriteFileBytes(floorPath, original);
      Floor floor(floorPath, keepLayout);
      floorBest = std::min(floorBest, floor.Run());
      checkBest = std::min(checkBest, floor.contentCheckSeconds());
      floorResult = ReadFileBytes(floorPath);
    }
  }
  std::printf("\n%s\n",
              keepLayout ? "Kept as it is (0x4): written over the file's own bytes" : "Pretty-printed on save");
  std::printf("engine InstallFile        %9.1f ms  (saved %zu bytes)\n", engineBest * 1e3, engineResult.size());
  std::printf("floor, MSXML directly     %9.1f ms  (saved %zu bytes)\n", floorBest * 1e3, floorResult.size());
  std::printf("engine / floor            %9.2fx\n", engineBest / floorBest);
  if (!keepLayout)
    std::printf("of which the content check of the formatted document: %.1f ms (%.2fx of the floor)\n", checkBest * 1e3,
                checkBest / floorBest);
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    TempFolder folder;
    std::string original = LargeConfig();
    std::printf("One XML file of %.2f MB, %d XPath records (set, append, create, remove)\n",
                static_cast<double>(original.size()) / 1e6, kRecords);
    std::printf("fastest of %d alternating runs\n", kRepeats);
    Compare(folder, original, false);
    Compare(folder, original, true);
  }
  CoUninitialize();
  return 0;
}
