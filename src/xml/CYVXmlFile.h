#pragma once

#include <windows.h>
#include <msxml2.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/com_ptr.h"
#include "support/stringw.h"
#include "xml/LineEnds.h"

class CYVXMLInstallEngine;
class IXmlChangeObserver;
struct XmlChange;

// One XML file during one operation: its parsed document, its root element,
// the nodes that the last XPath selected and the namespace prefixes that
// XPaths may use. The engine builds one per file on the stack:
//
//   construct, Exists, SetSelectionNamespaces, SetEncoding, SetFormatOnSave,
//   SetRootElement (missing files only), Load, element and attribute
//   operations, Save, destroy.
//
// Load and save failures ask the user through the engine's error prompt.
// Failed COM calls that leave no sensible result raise com_exception; every
// other failure is a result code from XmlResults.h. Destruction never saves.
class CYVXmlFile {
 public:
  using NamespaceMap = std::map<yv::_stringw, yv::_stringw>;
  using NodeList = std::vector<yv::ComPtr<IXMLDOMNode>>;

  // `event` receives the load and save prompts; without one (the XML
  // search) a failed load or save is answered as if nobody were there.
  CYVXmlFile(const yv::_stringw& path, CYVXMLInstallEngine* event);
  virtual ~CYVXmlFile();
  CYVXmlFile(const CYVXmlFile&) = delete;
  CYVXmlFile& operator=(const CYVXmlFile&) = delete;

  // --- Parser set-up and settings made before Load -------------------------

  // True when the path names an existing file (not a folder).
  bool Exists() const;
  // True when the file exists and holds no markup: nothing, or only blanks
  // and line ends after an optional byte-order mark.
  bool IsBlank() const;
  // Builds a blank file from the root-element settings, as a missing one,
  // instead of failing to parse it.
  void SetBuildOverBlank(bool build) { buildOverBlank_ = build; }
  // The parser's own SelectionNamespaces text, e.g.
  // "xmlns:a='urn:one' xmlns:b='urn:two'": handed to the parser at Load and
  // read into the prefix map used to create elements and attributes.
  void SetSelectionNamespaces(const yv::_stringw& text);
  // Encoding named in the declaration of a created document and in the
  // pretty-printer's output; an empty name keeps UTF-8.
  void SetEncoding(const yv::_stringw& encodingName);
  void SetFormatOnSave(bool formatOnSave);
  // Root element of a document that has to be created because the file is
  // missing. A prefixed name is created with its local name and the prefix's
  // namespace as default namespace. Always returns 0.
  int SetRootElement(const yv::_stringw& name, const yv::_stringw& namespaceUri);
  // The URI mapped to `prefix`, or empty (and a log line) when none is.
  yv::_stringw GetNamespaceForPrefix(const yv::_stringw& prefix) const;
  // Splits a prefixed `name` into its local name and the prefix's URI. The
  // URI is replaced whenever the name has a prefix; the prefix stays on the
  // name when it maps to nothing.
  void ResolveQualifiedName(yv::_stringw& name, yv::_stringw& namespaceUri) const;
  // A new DOM document of the newest parser available (6.0, 4.0, 3.0), set
  // up for XPath selection without external resources; null when none can
  // be created.
  yv::ComPtr<IXMLDOMDocument2> CreateDocument() const;

  // --- Load and save -------------------------------------------------------

  // Loads the file, or builds it from the root-element settings when it is
  // missing, and reads the root element. Returns 0, XmlResult::kNoParser,
  // kUserAbort, kUserIgnore, kDocumentElementUnreadable or kNoRootElement.
  int Load();
  // One attempt of Load: true when the file was parsed (or built).
  bool LoadOrCreate(HRESULT& hr);
  // Pretty-prints when asked to, then writes the document to the path.
  // Returns 0 (also when nothing was loaded), kUserAbort or kUserIgnore.
  int Save();

  // --- Pretty-printing -----------------------------------------------------

  // Re-indents the document through the module's identity stylesheet. Never
  // fails: every problem is logged and the document stays as it was.
  void FormatDocument();
  // Replaces %1..%9 and %A..%Z in `text` with arguments 1..35. A placeholder
  // beyond `count` becomes '?', a null argument becomes nothing, and any
  // other '%' stays as it is.
  static void SubstitutePlaceholders(yv::_stringw& text, const wchar_t* const* arguments, int count);

  // --- XPath navigation ----------------------------------------------------

  // Makes the nodes that `xpath` selects (relative to the root element) the
  // current node set. "", "/" and "//" select the root element. When nothing
  // matches and `createMissing` is set, the last step is created under the
  // node that the rest of the XPath selects, in `namespaceUri` or in the
  // namespace of its prefix. True when the set is not empty afterwards.
  bool SelectXPath(const yv::_stringw& xpath, const yv::_stringw& namespaceUri, bool createMissing, bool firstOnly);
  // Creates the last step of `xpath` as the last child of the element that
  // the rest selects; the new element becomes the only current node.
  void CreateXPathElements(const yv::_stringw& xpath, const yv::_stringw& namespaceUri);

  // --- Element content and attributes --------------------------------------

  // Text of the first current node.
  int GetElementContent(yv::_stringw& text);
  // Replaces, prepends or appends (ContentMode) `text` on every current node.
  int SetElementContent(const yv::_stringw& text, int mode);
  // The first child of `node` when it is a text node; otherwise, for a
  // non-empty `text`, a new text node holding it appended to `node`.
  yv::ComPtr<IXMLDOMText> GetOrCreateTextNode(IXMLDOMNode* node, const yv::_stringw& text, bool& created);
  // Sets, appends, prepends or removes (AttributeOperation) attribute `name`
  // on every current node.
  int UpdateAttribute(const yv::_stringw& name, const yv::_stringw& value, bool createMissing, int operation);
  // Value of attribute `name` of the first current node.
  int GetAttributeValue(const yv::_stringw& name, yv::_stringw& value);
  // Removes the first current node from its parent.
  int RemoveElement();

  // --- Recording and undoing changes ---------------------------------------

  // Every later change to the document (attribute, text, element created or
  // removed) is reported to `observer` (not owned; null for none).
  void SetChangeObserver(IXmlChangeObserver* observer) { observer_ = observer; }
  // Makes the element at `path` (as XmlChange::element gives it) the only
  // current node when it is there and named `name`.
  bool SelectElementAt(const yv::_stringw& path, const yv::_stringw& name);
  // Attribute `name` (XmlChange::attribute) in `namespaceUri` of the first
  // current node; none when it has no such attribute.
  std::optional<yv::_stringw> ReadAttribute(const yv::_stringw& name, const yv::_stringw& namespaceUri);
  // Sets that attribute, creating it, or removes it for none. False when
  // the parser refused.
  bool WriteAttribute(const yv::_stringw& name, const yv::_stringw& namespaceUri,
                      const std::optional<yv::_stringw>& value);
  // The text node a content change wrote in the first current node: its
  // first child, or its last one when the change `added` it; none when that
  // child is no text.
  std::optional<yv::_stringw> ReadText(bool added);
  // Gives that text node `value`, or removes it for none.
  bool WriteText(bool added, const std::optional<yv::_stringw>& value);
  // What the first current node says (XmlContentDigest, one item a line):
  // layout and namespace declarations aside, the same for the same content
  // on every parser. None without a current node.
  std::optional<yv::_stringw> ReadContent();
  // What each element created since the observer was set says now, in the
  // order they were created: what a later undo compares them with.
  std::vector<yv::_stringw> CreatedElementContent() const;
  // Whether the `position`-th child of the first current node, whitespace
  // between children not counted, says what `markup`, read with
  // `namespaces` in scope, says.
  bool HoldsElementAt(long position, const yv::_stringw& markup, const yv::_stringw& namespaces);
  // Reads `markup` with `namespaces` (declarations) in scope and inserts the
  // element as the `position`-th child of the first current node (counted
  // as above), or as its last child when it has fewer.
  bool InsertElementAt(long position, const yv::_stringw& markup, const yv::_stringw& namespaces);

 private:
  int AskUser(int errorNumber, HRESULT hr);
  yv::_stringw LoadStylesheetText() const;
  yv::ComPtr<IXMLDOMNode> TransformationSource() const;
  void AdoptFormattedRoot(IXMLDOMNode* source, IXMLDOMDocument2* stylesheet, IXMLDOMDocument2* output);
  HRESULT SaveReplacing();
  // The document written over the loaded bytes in their layout; false when
  // that cannot be done, after logging why.
  bool WriteKeepingLayout(std::string& bytes) const;
  yv::ComPtr<IXMLDOMDocument2> CreateScratchDocument() const;
  // Whether the file at `path` parses whole and has the document's root.
  bool HoldsWholeDocument(const yv::_stringw& path) const;
  // Rewrites the saved file at `path` in its declared encoding where the
  // parser wrote UTF-8 regardless; false when that was needed and failed.
  bool KeepDeclaredEncoding(const yv::_stringw& path);
  // Rewrites the saved file at `path` with the loaded file's line ends where
  // the parser wrote its own; false when that was needed and failed.
  bool KeepLineEnds(const yv::_stringw& path) const;
  // Completes `change` with the current XPath and where `element` is, and
  // hands it to the observer.
  void ReportChange(XmlChange change, IXMLDOMNode* element);
  // The change that removing `node` from `parent` is about to make.
  XmlChange RemovalOf(IXMLDOMNode* node, IXMLDOMNode* parent);
  // The element of `markup`, read in a document of its own inside an
  // element that declares `namespaces`; null when it does not parse.
  yv::ComPtr<IXMLDOMNode> ReadElementMarkup(const yv::_stringw& markup, const yv::_stringw& namespaces) const;

  // Destroyed in reverse order: the prefix map and the node set go first,
  // then the root element, and the document last.
  yv::_stringw path_;
  yv::_stringw rootElementName_;
  yv::_stringw rootElementNamespace_;
  yv::_stringw encodingDeclaration_;
  yv::_stringw xmlVersion_;
  bool formatOnSave_ = true;
  bool buildOverBlank_ = false;
  // The line ends of the file as loaded; unknown for a built one.
  xmlutils::LineEnd lineEnd_ = xmlutils::LineEnd::kUnknown;
  // The bytes of a file loaded to keep its layout, which the save writes
  // the changed document over; empty for a formatted or built one.
  std::string loadedBytes_;
  yv::_stringw selectionNamespaces_;
  yv::ComPtr<IXMLDOMDocument2> document_;
  yv::ComPtr<IXMLDOMElement> rootElement_;
  NodeList currentNodes_;
  CYVXMLInstallEngine* event_;
  NamespaceMap namespaceMap_;
  IXmlChangeObserver* observer_ = nullptr;
  NodeList createdNodes_;
  // The XPath of the last selection, named by the changes made on it.
  yv::_stringw currentXPath_;
};
