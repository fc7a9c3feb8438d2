#include "kit/BagTestKit.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string_view>

#include "runtime_file/RuntimeFileLayout.h"

namespace {

// Characters that exercise the format: blanks and controls that trimming and
// line splitting look at, the format's own punctuation, non-ASCII letters,
// a surrogate pair, lone surrogates, and the byte-order mark itself. It
// lacks letters of the file's own section names and of "xmlns", so no
// generated name can be one of them.
const wchar_t kPool[] = L"abcXYZ019 \t\n\r\"'=;[]%\\/#:.-_"
                        L"\x00E9\x00FC\x00DF\x4E2D\x6587\x0416\x05D0\x2028\xFEFF\xFFFD\xFFFF\xD83D\xDE00\xDC00\xD800";

}  // namespace

CXmlCfgXPathProp& AddExampleItem(CXmlCfgPropertyBag& bag) {
  CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"CompA");
  component->actionState = 3;
  CXmlCfgFileProp* file = component->AddFile(L"XmlFile1");
  file->path = L"C:\\App\\";
  file->fileName = L"settings.xml";
  file->fileAttributes = 1;
  file->rootElementName = L"configuration";
  file->encoding = L"UTF-8";
  CXmlCfgXPathProp* xpath = file->AddXPath(L"/configuration/item");
  xpath->action = 1;
  return *xpath;
}

std::wstring Escaped(std::wstring_view text) {
  std::wstring out = L"\"";
  for (wchar_t ch : text) {
    if (ch >= 0x20 && ch < 0x7F && ch != L'\\') {
      out.push_back(ch);
    } else {
      wchar_t code[8];
      std::swprintf(code, 8, L"\\x%04X", static_cast<unsigned>(ch));
      out += code;
    }
  }
  return out + L"\"";
}

std::wstring DescribeBag(const CXmlCfgPropertyBag& bag, bool readBack) {
  std::wstring out;
  for (const auto& [id, text] : bag.progressMessages) out += L"progress " + Escaped(id) + L"=" + Escaped(text) + L"\n";
  for (const auto& [name, component] : bag.components) {
    out += L"component " + Escaped(name) + L" name=" + Escaped(component->name) + L" actionState=" +
           std::to_wstring(component->actionState) + L"\n";
    for (const auto& [key, file] : component->files) {
      out += L"  file " + Escaped(key) + L" component=" + Escaped(file->component) + L" fileName=" +
             Escaped(file->fileName) + L" fileAttributes=" + std::to_wstring(file->fileAttributes) + L" path=" +
             Escaped(file->path) + L" uninstPath=" + Escaped(file->uninstPath) + L" rootElementName=" +
             Escaped(file->rootElementName);
      out += L" rootElementNamespace=" + Escaped(file->rootElementNamespace);
      out += L" attributes=" + std::to_wstring(file->attributes) + L" selectionNamespaces=" +
             Escaped(file->selectionNamespaces) + L" encoding=" + Escaped(file->encoding) + L" tempFilePath=" +
             Escaped(file->tempFilePath) + L" createdOnInstall=" + std::to_wstring(file->createdOnInstall) + L"\n";
      for (const auto& [expression, xpath] : file->xpaths) {
        out += L"    xpath " + Escaped(expression) + L" xpath=" + Escaped(xpath->xpath) + L" action=" +
               std::to_wstring(xpath->action) + L" content=" + Escaped(xpath->content) +
               (xpath->xpathHidden ? L" xpathHidden" : L"") + (xpath->contentHidden ? L" contentHidden" : L"") + L"\n";
        // The runtime data file carries a declared namespace, not its flags.
        if (xpath->namespaceDeclaration && !xpath->namespaceDeclaration->value.empty()) {
          out += L"      xmlns value=" + Escaped(xpath->namespaceDeclaration->value) +
                 (readBack ? L"" : L" action=" + std::to_wstring(xpath->namespaceDeclaration->action)) + L"\n";
        }
        for (const auto& attribute : xpath->attributes) {
          out += L"      attribute " + Escaped(attribute->name) + L" value=" + Escaped(attribute->value) + L" action=" +
                 std::to_wstring(attribute->action) + (attribute->valueHidden ? L" valueHidden" : L"") + L"\n";
        }
      }
    }
  }
  return out;
}

std::wstring RandomBagMaker::Text(size_t minLength, size_t maxLength, bool quoted) {
  size_t length = minLength + random_() % (maxLength - minLength + 1);
  std::wstring text;
  while (text.size() < length) {
    wchar_t ch = kPool[random_() % (std::size(kPool) - 1)];
    // CR LF would end the line: only a quoted value, which is escaped when
    // it holds a line break, can hold the pair.
    if (quoted || ch != L'\n' || text.empty() || text.back() != L'\r') text.push_back(ch);
  }
  while (!quoted && !text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\n')) {
    text.pop_back();
  }
  return text.size() < minLength ? text + std::wstring(minLength - text.size(), L'x') : text;
}

std::wstring RandomBagMaker::UniqueName(size_t maxLength) {
  for (;;) {
    // Section names cannot hold ']' and share one namespace.
    std::wstring name = Text(1, maxLength);
    std::replace(name.begin(), name.end(), L']', L')');
    if (std::find(usedNames_.begin(), usedNames_.end(), name) == usedNames_.end()) {
      usedNames_.push_back(name);
      return name;
    }
  }
}

uint32_t RandomBagMaker::Flags() {
  // None, a few, the unknown-attributes marker (written as -1), or any value
  // but the absence marker, which cannot be stored.
  uint32_t few = random_() % 256, any = random_();
  const uint32_t choices[] = {0, few, 0xFFFFFFFFu, any == 0x80000000u ? 1u : any};
  return choices[random_() % 4];
}

void RandomBagMaker::Fill(CXmlCfgPropertyBag& bag, int components, int files, int xpaths, int attributes, bool exact) {
  auto vary = [&](int n) { return exact ? n : static_cast<int>(random_() % static_cast<uint32_t>(2 * n + 1)); };
  // Now and then a text longer than any fixed buffer would hold.
  auto upTo = [&](size_t usual, size_t limit, uint32_t odds) { return random_() % odds == 0 ? limit : usual; };
  for (const wchar_t* id : RuntimeFileLayout::kProgressMessageIds) bag.progressMessages[id] = Text(1, 511);
  for (int c = vary(components); c > 0; --c) {
    CXmlCfgComponentProp* component = bag.GetOrAddComponent(UniqueName(40));
    component->actionState = static_cast<int>(random_() % 7) - 2;
    for (int f = vary(files); f > 0; --f) {
      CXmlCfgFileProp* file = component->AddFile(UniqueName(upTo(30, 259, 8)));
      file->path = Text(1, upTo(40, 400, 8));
      file->fileName = Text(1, 30);
      file->uninstPath = Text(0, 40);
      file->tempFilePath = Text(0, upTo(40, 10239, 16));
      file->rootElementName = Text(0, 20);
      file->rootElementNamespace = Text(0, 20);
      file->selectionNamespaces = Text(0, 60);
      file->encoding = Text(0, 10);
      file->fileAttributes = Flags();
      file->attributes = Flags();
      file->createdOnInstall = Flags();
      for (int x = vary(xpaths); x > 0; --x) {
        CXmlCfgXPathProp* xpath = file->AddXPath(Text(1, upTo(60, 2000, 32)));
        xpath->action = Flags();
        // Content travels inside quotes: blanks at its ends survive.
        xpath->content = Text(0, upTo(50, 30000, 32), true);
        xpath->xpathHidden = random_() % 8 == 0;
        xpath->contentHidden = random_() % 8 == 0;
        for (int a = vary(attributes); a > 0; --a) {
          CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(Text(1, upTo(20, 259, 16)));
          attribute->value = Text(0, upTo(30, 30000, 32), true);
          attribute->action = Flags();
          attribute->valueHidden = random_() % 8 == 0;
        }
        // Kept apart from the list, written as the element's namespace.
        if (random_() % 4 == 0) xpath->AddAttribute(L"xmlns")->value = Text(0, 20);
      }
    }
  }
}

std::string Utf16Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string Utf16Lines(const std::vector<std::wstring>& lines) {
  std::wstring text(1, 0xFEFF);
  for (const auto& line : lines) text += line + L"\r\n";
  return Utf16Bytes(text);
}
