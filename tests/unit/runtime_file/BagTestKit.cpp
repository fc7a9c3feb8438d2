#include "BagTestKit.h"

#include <algorithm>
#include <cwchar>
#include <string_view>

#include "runtime_file/RuntimeFileLayout.h"

namespace {

std::wstring Escaped(std::wstring_view text) {
  std::wstring out = L"\"";
  for (wchar_t ch : text) {
    if (ch >= 0x20 && ch < 0x7F && ch != L'\\') {
      out.push_back(ch);
    } else {
      wchar_t code[12];
      std::swprintf(code, 12, L"\\x%04X", static_cast<unsigned>(ch));
      out += code;
    }
  }
  return out + L"\"";
}

std::wstring Number(unsigned long long value) { return std::to_wstring(value); }

void DescribeFile(const CXmlCfgFileProp& file, const DescribeOptions& options, std::wstring& out) {
  out += L"  file " + Escaped(file.key) + L" component=" + Escaped(file.component) + L" fileName=" +
         Escaped(file.fileName) + L" fileAttributes=" + Number(file.fileAttributes) + L" path=" +
         Escaped(file.path) + L" uninstPath=" + Escaped(file.uninstPath) + L" rootElementName=" +
         Escaped(file.rootElementName);
  if (options.rootElementNamespace) out += L" rootElementNamespace=" + Escaped(file.rootElementNamespace);
  out += L" attributes=" + Number(file.attributes) + L" selectionNamespaces=" + Escaped(file.selectionNamespaces) +
         L" encoding=" + Escaped(file.encoding) + L" tempFilePath=" + Escaped(file.tempFilePath) +
         L" createdOnInstall=" + Number(file.createdOnInstall) + L"\n";
  for (const auto& [expression, xpath] : file.xpaths) {
    out += L"    xpath " + Escaped(expression) + L" xpath=" + Escaped(xpath->xpath) + L" action=" +
           Number(xpath->action) + L" content=" + Escaped(xpath->content);
    if (options.sectionNames) out += L" section=" + Escaped(xpath->sectionName);
    out += L"\n";
    if (options.namespaceDeclarations && xpath->namespaceDeclaration) {
      out += L"      xmlns value=" + Escaped(xpath->namespaceDeclaration->value) + L" action=" +
             Number(xpath->namespaceDeclaration->action) + L"\n";
    }
    for (const auto& attribute : xpath->attributes) {
      out += L"      attribute " + Escaped(attribute->name) + L" value=" + Escaped(attribute->value) +
             L" action=" + Number(attribute->action) + L"\n";
    }
  }
}

bool SameOrUnset(const yv::_stringw& part, const yv::_stringw& whole) { return part.empty() || part == whole; }
bool SameOrUnset(DWORD part, DWORD whole) { return part == 0 || part == whole; }

// Characters that exercise the format: blanks and controls that trimming and
// line splitting look at, the format's own punctuation, non-ASCII letters,
// a surrogate pair, lone surrogates, and the byte-order mark itself.
const wchar_t kPool[] = L"abcXYZ019 \t\n\r\"'=;[]%\\/#:.-_"
                        L"\x00E9\x00FC\x00DF\x4E2D\x6587\x0416\x05D0\x2028\xFEFF\xFFFD\xFFFF\xD83D\xDE00\xDC00\xD800";
constexpr size_t kPoolSize = sizeof(kPool) / sizeof(kPool[0]) - 1;

bool IsTrimmedBlank(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == L'\n'; }

}  // namespace

std::wstring DescribeBag(const CXmlCfgPropertyBag& bag, DescribeOptions options) {
  std::wstring out;
  if (options.progressMessages) {
    for (const auto& [id, text] : bag.progressMessages) {
      out += L"progress " + Escaped(id) + L"=" + Escaped(text) + L"\n";
    }
  }
  for (const auto& [name, component] : bag.components) {
    out += L"component " + Escaped(name) + L" name=" + Escaped(component->name) + L" actionState=" +
           std::to_wstring(component->actionState) + L"\n";
    for (const auto& [key, file] : component->files) DescribeFile(*file, options, out);
  }
  return out;
}

std::wstring DescribeAfterRoundTrip(const CXmlCfgPropertyBag& bag) {
  CXmlCfgPropertyBag six;
  for (const wchar_t* id : RuntimeFileLayout::kProgressMessageIds) {
    six.progressMessages[id] =
        bag.progressMessages.empty() ? yv::_stringw(RuntimeFileLayout::kDefaultProgressMessage) : bag.GetProgressMessage(id);
  }
  DescribeOptions options;
  options.namespaceDeclarations = false;
  options.rootElementNamespace = false;
  std::wstring progress = DescribeBag(six, options);
  options.progressMessages = false;
  return progress + DescribeBag(bag, options);
}

std::vector<std::wstring> FindForeignRecords(const CXmlCfgPropertyBag& partial, const CXmlCfgPropertyBag& whole) {
  std::vector<std::wstring> foreign;
  for (const auto& [id, text] : partial.progressMessages) {
    // The reader's own default stands in when the section is missing.
    if (whole.GetProgressMessage(id) != text && text != RuntimeFileLayout::kDefaultProgressMessage) {
      foreign.push_back(L"progress " + Escaped(id));
    }
  }
  for (const auto& [name, component] : partial.components) {
    auto wholeComponent = whole.components.find(name);
    if (wholeComponent == whole.components.end()) {
      foreign.push_back(L"component " + Escaped(name));
      continue;
    }
    if (component->actionState != 0 && component->actionState != wholeComponent->second->actionState) {
      foreign.push_back(L"actionState of " + Escaped(name));
    }
    for (const auto& [key, file] : component->files) {
      auto wholeFile = wholeComponent->second->files.find(key);
      if (wholeFile == wholeComponent->second->files.end()) {
        foreign.push_back(L"file " + Escaped(key));
        continue;
      }
      const CXmlCfgFileProp& w = *wholeFile->second;
      bool same = SameOrUnset(file->fileName, w.fileName) && SameOrUnset(file->fileAttributes, w.fileAttributes) &&
                  SameOrUnset(file->path, w.path) && SameOrUnset(file->uninstPath, w.uninstPath) &&
                  SameOrUnset(file->rootElementName, w.rootElementName) &&
                  SameOrUnset(file->attributes, w.attributes) &&
                  SameOrUnset(file->selectionNamespaces, w.selectionNamespaces) &&
                  SameOrUnset(file->encoding, w.encoding) && SameOrUnset(file->tempFilePath, w.tempFilePath) &&
                  SameOrUnset(file->createdOnInstall, w.createdOnInstall) && file->component == w.component;
      if (!same) foreign.push_back(L"fields of file " + Escaped(key));
      for (const auto& [expression, xpath] : file->xpaths) {
        auto wholeXPath = w.xpaths.find(expression);
        if (wholeXPath == w.xpaths.end()) {
          foreign.push_back(L"xpath " + Escaped(expression));
          continue;
        }
        const CXmlCfgXPathProp& wx = *wholeXPath->second;
        if (!SameOrUnset(xpath->action, wx.action) || !SameOrUnset(xpath->content, wx.content)) {
          foreign.push_back(L"fields of xpath " + Escaped(expression));
        }
        // Attributes are a list: the ones read must appear in the whole's
        // list in the same order, as far as they were read.
        size_t next = 0;
        for (const auto& attribute : xpath->attributes) {
          while (next < wx.attributes.size() &&
                 (wx.attributes[next]->name != attribute->name || wx.attributes[next]->value != attribute->value ||
                  !SameOrUnset(attribute->action, wx.attributes[next]->action))) {
            ++next;
          }
          if (next == wx.attributes.size()) {
            foreign.push_back(L"attribute " + Escaped(attribute->name) + L" of " + Escaped(expression));
            break;
          }
          ++next;
        }
      }
    }
  }
  return foreign;
}

std::wstring RandomBagMaker::Text(size_t minLength, size_t maxLength, bool quoted) {
  size_t length = minLength + (maxLength > minLength ? random_() % (maxLength - minLength + 1) : 0);
  std::wstring text;
  text.reserve(length);
  while (text.size() < length) {
    wchar_t ch = kPool[random_() % kPoolSize];
    // CR LF would end the line: no value can hold the pair.
    if (ch == L'\n' && !text.empty() && text.back() == L'\r') continue;
    text.push_back(ch);
  }
  if (!quoted) {
    while (!text.empty() && IsTrimmedBlank(text.back())) text.pop_back();
    while (text.size() < minLength) text.push_back(L'x');
  }
  return text;
}

std::wstring RandomBagMaker::UniqueName(size_t maxLength) {
  for (;;) {
    std::wstring name = Text(1, maxLength, false);
    // Section names cannot hold ']' and share one namespace with the file's
    // own sections.
    std::replace(name.begin(), name.end(), L']', L')');
    if (name.empty() || name == L"Components" || name == L"ProgressMessages" || name.rfind(L"XPath", 0) == 0) {
      continue;
    }
    if (std::find(usedNames_.begin(), usedNames_.end(), name) != usedNames_.end()) continue;
    usedNames_.push_back(name);
    return name;
  }
}

uint32_t RandomBagMaker::Flags() {
  switch (random_() % 4) {
    case 0: return 0;
    case 1: return random_() % 256;
    case 2: return 0xFFFFFFFFu;  // the unknown-attributes marker, written as -1
    default: {
      uint32_t value = random_();
      return value == 0x80000000u ? 1u : value;  // the absence marker cannot be stored
    }
  }
}

void RandomBagMaker::Fill(CXmlCfgPropertyBag& bag, const Shape& shape) {
  auto vary = [&](int n) { return shape.exact ? n : static_cast<int>(random_() % static_cast<uint32_t>(2 * n + 1)); };
  if (random_() % 5 != 0) {
    for (const wchar_t* id : RuntimeFileLayout::kProgressMessageIds) bag.progressMessages[id] = Text(1, 511, false);
  }
  int components = vary(shape.components);
  for (int c = 0; c < components; ++c) {
    CXmlCfgComponentProp* component = bag.GetOrAddComponent(UniqueName(40));
    int state = static_cast<int>(random_() % 7) - 2;
    component->actionState = state == RuntimeFileLayout::kAbsentActionState ? 3 : state;
    int files = vary(shape.filesPerComponent);
    for (int f = 0; f < files; ++f) {
      CXmlCfgFileProp* file = component->AddFile(UniqueName(random_() % 8 == 0 ? 259 : 30));
      file->path = Text(1, random_() % 8 == 0 ? 259 : 40, false);
      file->fileName = Text(1, 30, false);
      file->uninstPath = Text(0, 40, false);
      file->tempFilePath = Text(0, random_() % 16 == 0 ? 10239 : 40, false);
      file->rootElementName = Text(0, 20, false);
      file->rootElementNamespace = Text(0, 20, false);
      file->selectionNamespaces = Text(0, 60, false);
      file->encoding = Text(0, 10, false);
      file->fileAttributes = Flags();
      file->attributes = Flags();
      file->createdOnInstall = Flags();
      int xpaths = vary(shape.xpathsPerFile);
      for (int x = 0; x < xpaths; ++x) {
        CXmlCfgXPathProp* xpath = file->AddXPath(Text(1, random_() % 32 == 0 ? 2000 : 60, false));
        xpath->action = Flags();
        // Content travels inside quotes: blanks at its ends survive, and
        // quotes and the two characters of the quotes fit the buffer.
        xpath->content = Text(0, random_() % 32 == 0 ? 10237 : 50, true);
        int attributes = vary(shape.attributesPerXPath);
        for (int a = 0; a < attributes; ++a) {
          std::wstring name = Text(1, random_() % 16 == 0 ? 259 : 20, false);
          if (name == L"xmlns") name += L"x";
          CXmlCfgXPathAttribProp* attribute = xpath->AddAttribute(name);
          attribute->value = Text(0, random_() % 32 == 0 ? 10237 : 30, true);
          attribute->action = Flags();
        }
        if (random_() % 4 == 0) {
          // Kept apart from the list and never written.
          xpath->AddAttribute(L"xmlns")->value = Text(0, 20, false);
        }
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
