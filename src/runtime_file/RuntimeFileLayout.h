#pragma once

// The names, list-key formats and absence markers of the runtime data file.
// The writer, the readers and the script-project builder must agree on every
// one of them, and files written by one version are read by the next.
namespace RuntimeFileLayout {

constexpr const wchar_t* kComponentsSection = L"Components";
constexpr const wchar_t* kProgressMessagesSection = L"ProgressMessages";
// The products a major upgrade removes, as one list of ProductCodes joined by
// ';'; written only when there are any.
constexpr const wchar_t* kReplacedProductsSection = L"ReplacedProducts";
constexpr const wchar_t* kProductCodesKey = L"ProductCodes";
// Section names of XPath entries and attributes: a running number over the
// whole file, in the order the writer visits the records.
constexpr const wchar_t* kXPathSectionFormat = L"XPath_%d";
constexpr const wchar_t* kAttributeSectionFormat = L"XPathAttrib_%d";

constexpr const wchar_t* kCountKey = L"Count";
constexpr const wchar_t* kComponentListFormat = L"c%d";
constexpr const wchar_t* kFileListFormat = L"f%d";
constexpr const wchar_t* kXPathListFormat = L"xp%d";
constexpr const wchar_t* kAttributeListFormat = L"a%d";

// Component section.
constexpr const wchar_t* kActionStateKey = L"ActionState";

// File section.
constexpr const wchar_t* kPathKey = L"Path";
constexpr const wchar_t* kUninstPathKey = L"UninstPath";
constexpr const wchar_t* kFileNameKey = L"FileName";
constexpr const wchar_t* kFileAttributesKey = L"FileAttributes";
constexpr const wchar_t* kTempFilePathKey = L"TempFilePath";
constexpr const wchar_t* kAttributesKey = L"Attributes";
constexpr const wchar_t* kRootElementNameKey = L"RootElementName";
constexpr const wchar_t* kCreatedOnInstallKey = L"CreatedOnInstall";
constexpr const wchar_t* kSelectionNamespacesKey = L"SelectionNamespaces";
// Written only when the root row declares a namespace, so the files of
// packages without one keep their bytes.
constexpr const wchar_t* kRootElementNamespaceKey = L"RootElementNamespace";
constexpr const wchar_t* kEncodingKey = L"Encoding";

// XPath section.
constexpr const wchar_t* kXPathKey = L"XPath";
constexpr const wchar_t* kActionKey = L"Action";
constexpr const wchar_t* kContentKey = L"Content";

// The namespace an element row declares (its "xmlns" attribute row); written
// only when there is one.
constexpr const wchar_t* kNamespaceKey = L"Namespace";

// Attribute section.
constexpr const wchar_t* kNameKey = L"Name";
constexpr const wchar_t* kValueKey = L"Value";

// Marks of texts that hold the value of a hidden installer property, 1 when
// set. A key is written only for a text that is hidden, so the file of a
// package without hidden values is what it was before the marks existed.
constexpr const wchar_t* kHiddenXPathKey = L"HiddenXPath";
constexpr const wchar_t* kHiddenContentKey = L"HiddenContent";
constexpr const wchar_t* kHiddenValueKey = L"HiddenValue";

// The six progress texts, in the order the reader asks for them.
constexpr const wchar_t* kProgressMessageIds[] = {L"YV_PROGMSG_XML_COSTING",     L"YV_PROGMSG_XML_FILES",
                                                  L"YV_PROGMSG_XML_CREATE_FILE", L"YV_PROGMSG_XML_UPDATE_FILE",
                                                  L"YV_PROGMSG_XML_REMOVE_FILE", L"YV_PROGMSG_XML_ROLLBACK_FILES"};
// What every progress text reads as when the file has no ProgressMessages
// section at all.
constexpr const wchar_t* kDefaultProgressMessage = L"Configuring XML files...";

// Values that stand for an absent key; a stored value equal to its marker
// therefore reads as absent.
constexpr int kAbsentCount = -1;
constexpr int kAbsentActionState = -99;
constexpr int kAbsentFlags = -2147483647 - 1;

// Characters, terminator included, through which a progress text passes
// when read: a longer one is cut to one less. Every other value is read whole.
constexpr unsigned kProgressMessageChars = 512;

// Content and Value are written inside double quotes so that blanks at their
// ends survive the line trimming of the text engine.
constexpr wchar_t kQuote = L'"';

// A Content or Value holding a line break cannot stand on one line: it is
// written under this key instead, its '%', CR and LF as %25, %0D and %0A.
// Values without line breaks keep their plain key and bytes.
constexpr const wchar_t* kEscapedContentKey = L"ContentEscaped";
constexpr const wchar_t* kEscapedValueKey = L"ValueEscaped";
constexpr wchar_t kEscape = L'%';

}  // namespace RuntimeFileLayout
