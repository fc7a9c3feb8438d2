#pragma once

#include <windows.h>
#include <msi.h>

#include <map>
#include <memory>

#include "config/OrdinalLess.h"
#include "database/CXPathObj.h"
#include "database/IElementRowSource.h"
#include "database/IXmlStringIdResolver.h"
#include "support/stringw.h"

// Turns one XML file's element tree (YVXmlElement rows, each naming one XPath
// step and its parent row) into flat XPath records: it walks the tree from
// the file's root row, joins the steps into full XPaths, picks up the root
// element's name and default namespace, drops pure pass-through elements and
// leaves one CXPathObj per remaining element, keyed by element key.
class CXPathEmitter : public IXmlStringIdResolver {
 public:
  using ElementMap = std::map<yv::_stringw, std::unique_ptr<CXPathObj>, OrdinalLess>;

  explicit CXPathEmitter(MSIHANDLE database);
  ~CXPathEmitter() override;
  CXPathEmitter(const CXPathEmitter&) = delete;
  CXPathEmitter& operator=(const CXPathEmitter&) = delete;

  // Leaves the text unchanged; returns its length plus one.
  DWORD Resolve(wchar_t* buffer, DWORD capacity) override;

  // The resolver that element steps and attribute texts pass through (not
  // owned; the database loader passes itself). Null leaves them unchanged.
  void SetResolver(IXmlStringIdResolver* resolver) { resolver_ = resolver; }
  // Root element addressed as "./" instead of "//" (the file's flag 0x8).
  void SetRelativeRoot(bool relative) { relativeRoot_ = relative; }
  // Where rows come from (not owned). Without one, the emitter asks the
  // database one query per element.
  void SetRowSource(IElementRowSource* source) { source_ = source; }

  // Walks the tree of file `fileKey`. Returns 0, or ERROR_NO_MORE_ITEMS when
  // the file has no root row. Failed installer calls throw com_exception.
  UINT EmitFile(const yv::_stringw& fileKey);

  // The parent's path and the step joined by one slash; "/" joined with "/"
  // stays "/". Nothing else is normalised.
  static yv::_stringw JoinXPath(const yv::_stringw& parent, const yv::_stringw& step);

  const ElementMap& elements() const noexcept { return elements_; }
  const yv::_stringw& rootName() const noexcept { return rootName_; }
  // The key of the file's root row, empty before EmitFile found one.
  const yv::_stringw& rootKey() const noexcept { return rootKey_; }
  const yv::_stringw& rootNamespace() const noexcept { return rootNamespace_; }

 private:
  struct Frame;

  IElementRowSource& Source();
  yv::_stringw ResolveStringId(const yv::_stringw& text);
  // The value of the root row's last attribute named exactly "xmlns".
  yv::_stringw GetRootNamespace(const ElementRow& root);
  // Emits `root` and everything below it, children before their parent.
  void EmitElement(const yv::_stringw& parentPath, const ElementRow& root, bool isRoot);
  // Applies the pass-through rule and stores the element, whose XPath is
  // `path`, when it survives.
  void Finish(const Frame& frame, const yv::_stringw& path);
  // JoinXPath in place.
  static void AppendStep(yv::_stringw& path, const yv::_stringw& step);

  MSIHANDLE database_;
  ElementMap elements_;
  yv::_stringw rootName_;
  yv::_stringw rootKey_;
  yv::_stringw rootNamespace_;
  IXmlStringIdResolver* resolver_ = nullptr;
  bool relativeRoot_ = false;
  IElementRowSource* source_ = nullptr;
  std::unique_ptr<IElementRowSource> ownSource_;
};
