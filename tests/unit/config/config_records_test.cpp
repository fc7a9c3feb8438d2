#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/CXmlCfgPropertyBag.h"
#include "config/CXmlCfgTouchPoint.h"
#include "config/CXmlLoader.h"
#include "config/CXmlWriter.h"
#include "engine/IXMLRTEvent.h"

namespace {

template <class Map>
std::vector<std::wstring> KeysOf(const Map& map) {
  std::vector<std::wstring> keys;
  for (const auto& entry : map) keys.emplace_back(entry.first.c_str());
  return keys;
}

}  // namespace

TEST(ConfigRecords, AddingUnderAnExistingKeyLeavesOneFreshRecord) {
  CXmlCfgPropertyBag bag;
  CXmlCfgComponentProp* component = bag.GetOrAddComponent(L"CompA");
  EXPECT_EQ(component->actionState, 0);
  EXPECT_EQ(bag.GetOrAddComponent(L"CompA"), component) << "the same component, not a second one";
  component->actionState = 3;

  CXmlCfgFileProp* first = component->AddFile(L"XmlFile1");
  first->fileName = L"old.xml";
  first->attributes = 7;
  first->AddXPath(L"/a")->content = L"old";
  CXmlCfgFileProp* second = component->AddFile(L"XmlFile1");
  ASSERT_EQ(component->files.size(), 1u);
  EXPECT_EQ(component->files.begin()->second.get(), second);
  EXPECT_EQ(second->key, L"XmlFile1");
  EXPECT_EQ(second->component, L"CompA") << "a file knows its component";
  EXPECT_EQ(second->fileName, L"");
  EXPECT_EQ(second->attributes, 0u);
  EXPECT_TRUE(second->xpaths.empty()) << "the old record's elements went with it";

  CXmlCfgXPathProp* xpath = second->AddXPath(L"/a/b");
  xpath->AddAttribute(L"x")->value = L"1";
  xpath->action = 0x10;
  CXmlCfgXPathProp* again = second->AddXPath(L"/a/b");
  ASSERT_EQ(second->xpaths.size(), 1u);
  EXPECT_EQ(second->xpaths.begin()->second.get(), again);
  EXPECT_EQ(again->xpath, L"/a/b");
  EXPECT_EQ(again->action, 0u);
  EXPECT_TRUE(again->attributes.empty());
}

TEST(ConfigRecords, KeysAreProcessedInOrdinalCodeUnitOrder) {
  CXmlCfgPropertyBag bag;
  CXmlCfgFileProp* file = bag.GetOrAddComponent(L"C")->AddFile(L"F");
  for (const wchar_t* xpath : {L"/a/c", L"/a/b", L"/a", L"/B", L"/a/b/c"}) file->AddXPath(xpath);
  // A path comes before the longer paths that extend it; upper case before
  // lower case, as code units, not as a culture would sort them.
  EXPECT_EQ(KeysOf(file->xpaths), (std::vector<std::wstring>{L"/B", L"/a", L"/a/b", L"/a/b/c", L"/a/c"}));

  // By code unit, not by code point: a surrogate pair (U+1F600) sorts before
  // U+FF01 although its code point is larger; 'z' < U+00E9 < U+4E2D.
  for (const wchar_t* name : {L"\xFF01", L"\xD83D\xDE00", L"\x4E2D", L"\x00E9", L"z", L"Z"}) bag.GetOrAddComponent(name);
  EXPECT_EQ(KeysOf(bag.components),
            (std::vector<std::wstring>{L"C", L"Z", L"z", L"\x00E9", L"\x4E2D", L"\xD83D\xDE00", L"\xFF01"}));
}

TEST(ConfigRecords, XmlnsIsTheNamespaceDeclarationAndNeverAListedAttribute) {
  CXmlCfgXPathProp xpath(L"/root");
  EXPECT_EQ(xpath.GetNamespace(), L"") << "no declaration yet";
  xpath.AddAttribute(L"a")->value = L"1";
  CXmlCfgXPathAttribProp* declaration = xpath.AddAttribute(L"xmlns");
  declaration->value = L"urn:first";
  xpath.AddAttribute(L"xmlns:p")->value = L"urn:prefixed";
  xpath.AddAttribute(L"XMLNS")->value = L"case matters";
  EXPECT_EQ(xpath.namespaceDeclaration.get(), declaration);
  EXPECT_EQ(xpath.GetNamespace(), L"urn:first");

  CXmlCfgXPathAttribProp* replacement = xpath.AddAttribute(L"xmlns");
  replacement->value = L"urn:second";
  EXPECT_EQ(xpath.GetNamespace(), L"urn:second") << "a later declaration replaces the earlier one";

  std::vector<std::wstring> listed;
  for (const auto& attribute : xpath.attributes) listed.emplace_back(attribute->name.c_str());
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"a", L"xmlns:p", L"XMLNS"})) << "insertion order, no xmlns";
}

TEST(ConfigRecords, FullPathJoinsFolderAndNameWithOneBackslash) {
  CXmlCfgFileProp file(L"K", L"C");
  file.fileName = L"a.xml";
  file.path = L"C:\\x\\";
  EXPECT_EQ(file.GetFullPath(), L"C:\\x\\a.xml");
  file.path = L"C:\\x";
  EXPECT_EQ(file.GetFullPath(), L"C:\\x\\a.xml");
  file.path = L"";
  EXPECT_EQ(file.GetFullPath(), L"a.xml");
  file.path = L"\\\\server\\share\\";
  EXPECT_EQ(file.GetFullPath(), L"\\\\server\\share\\a.xml");
}

TEST(ConfigRecords, ProgressMessagesAreLookedUpExactly) {
  CXmlCfgPropertyBag bag;
  bag.progressMessages[L"YV_PROGMSG_XML_FILES"] = L"Updating %s";
  EXPECT_EQ(bag.GetProgressMessage(L"YV_PROGMSG_XML_FILES"), L"Updating %s");
  EXPECT_EQ(bag.GetProgressMessage(L"yv_progmsg_xml_files"), L"");
  EXPECT_EQ(bag.GetProgressMessage(L"YV_PROGMSG_XML_COSTING"), L"");
  EXPECT_TRUE(bag.progressMessages.count(L"YV_PROGMSG_XML_COSTING") == 0) << "looking up adds nothing";
}

namespace {

class RecordingLoader : public CXmlLoader {
 public:
  int Load(CXmlCfgPropertyBag& bag) override {
    seen = &bag;
    bag.GetOrAddComponent(L"FromLoader");
    return -1303;
  }
  DWORD ResolveValue(int, const wchar_t* text, wchar_t* buffer, DWORD size) override {
    return CopyToCallerBuffer(text, buffer, size) + 1;
  }
  CXmlCfgPropertyBag* seen = nullptr;
};

class RecordingWriter : public CXmlWriter {
 public:
  int Write(const CXmlCfgPropertyBag& bag) override {
    seen = &bag;
    return 7;
  }
  const CXmlCfgPropertyBag* seen = nullptr;
};

class SilentEvent : public IXMLRTEvent {
 public:
  void OnLogMessage(const wchar_t*) override {}
};

}  // namespace

TEST(ConfigRecords, BagAndTouchPointHandThemselvesToLoaderAndWriter) {
  CXmlCfgTouchPoint touchPoint;
  SilentEvent receiver;
  RecordingLoader loader;
  EXPECT_EQ(touchPoint.Load(loader, &receiver), -1303) << "the loader's code, whatever it is";
  EXPECT_EQ(touchPoint.event, &receiver) << "kept even when the load fails";
  EXPECT_EQ(loader.seen, &touchPoint.bag);
  EXPECT_EQ(touchPoint.bag.components.count(L"FromLoader"), 1u);

  RecordingWriter writer;
  EXPECT_EQ(touchPoint.bag.Save(writer), 7);
  EXPECT_EQ(writer.seen, &touchPoint.bag);
}
