#include "config/CXmlCfgPropertyBag.h"

#include "config/CXmlLoader.h"
#include "config/CXmlWriter.h"

namespace {

// Calls visit(text, hidden) for every text of the bag that a log line may
// show, with its mark.
template <class Visit>
void ForEachLoggedText(const CXmlCfgPropertyBag& bag, Visit visit) {
  for (const auto& component : bag.components) {
    for (const auto& file : component.second->files) {
      for (const auto& entry : file.second->xpaths) {
        CXmlCfgXPathProp& xpath = *entry.second;
        visit(xpath.xpath, xpath.xpathHidden);
        visit(xpath.content, xpath.contentHidden);
        for (const auto& attribute : xpath.attributes) visit(attribute->value, attribute->valueHidden);
      }
    }
  }
}

}  // namespace

CXmlCfgPropertyBag::CXmlCfgPropertyBag() = default;

CXmlCfgPropertyBag::~CXmlCfgPropertyBag() = default;

int CXmlCfgPropertyBag::Load(CXmlLoader& loader) { return loader.Load(*this); }

int CXmlCfgPropertyBag::Save(CXmlWriter& writer) const { return writer.Write(*this); }

CXmlCfgComponentProp* CXmlCfgPropertyBag::GetOrAddComponent(const yv::_stringw& name) {
  auto found = components.find(name);
  if (found == components.end()) {
    found = components.emplace(name, std::make_unique<CXmlCfgComponentProp>(name)).first;
  }
  return found->second.get();
}

yv::_stringw CXmlCfgPropertyBag::GetProgressMessage(const yv::_stringw& name) const {
  auto found = progressMessages.find(name);
  return found == progressMessages.end() ? yv::_stringw() : found->second;
}

void CXmlCfgPropertyBag::MarkHiddenTexts(const yv::SecretMask& secrets) {
  if (secrets.empty()) return;
  ForEachLoggedText(*this, [&](const yv::_stringw& text, bool& hidden) { hidden = hidden || secrets.FoundIn(text); });
}

void CXmlCfgPropertyBag::AddHiddenTextsTo(yv::SecretMask& secrets) const {
  ForEachLoggedText(*this, [&](const yv::_stringw& text, bool hidden) {
    if (hidden) secrets.Add(text);
  });
}
