#include "database/CXPathEmitter.h"

#include <msiquery.h>

#include <algorithm>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "database/CQueryElementSource.h"
#include "database/MsiQuery.h"
#include "support/com_exception.h"

namespace {

constexpr DWORD kResolveBufferSize = 260;
// The low flag bits that ask for work on the element itself (create or
// remove on install or uninstall); an element with any of them is never a
// mere pass-through.
constexpr int kElementWorkFlags = 0xF;

}  // namespace

// One element on the walk's path from the root: its row, the length of its
// XPath in the walk's path buffer, and its children still to visit.
struct CXPathEmitter::Frame {
  ElementRow row;
  size_t pathLength = 0;
  std::unique_ptr<IElementRowSource::ChildCursor> children;
  bool hasChildren = false;
};

CXPathEmitter::CXPathEmitter(MSIHANDLE database) : database_(database) {}

CXPathEmitter::~CXPathEmitter() = default;

DWORD CXPathEmitter::Resolve(wchar_t* buffer, DWORD) { return static_cast<DWORD>(lstrlenW(buffer)) + 1; }

IElementRowSource& CXPathEmitter::Source() {
  if (source_) return *source_;
  if (!ownSource_) ownSource_ = std::make_unique<CQueryElementSource>(database_);
  return *ownSource_;
}

// The resolver rewrites the text in place, so it only sees what the buffer
// holds: the first buffer is made big enough for the whole text, or a step
// longer than the usual 260 characters would reach the resolver cut, and a
// resolver that keeps texts unchanged could not ask for more room.
yv::_stringw CXPathEmitter::ResolveStringId(const yv::_stringw& text) {
  if (!resolver_) return text;
  DWORD size = std::max<DWORD>(kResolveBufferSize, static_cast<DWORD>(text.size()) + 1);
  std::wstring buffer(size, L'\0');
  lstrcpynW(&buffer[0], text.c_str(), static_cast<int>(size));
  DWORD needed = resolver_->Resolve(&buffer[0], size);
  if (needed > size) {
    buffer.assign(needed, L'\0');
    lstrcpynW(&buffer[0], text.c_str(), static_cast<int>(needed));
    resolver_->Resolve(&buffer[0], needed);
  }
  return yv::_stringw(buffer.c_str());
}

yv::_stringw CXPathEmitter::JoinXPath(const yv::_stringw& parent, const yv::_stringw& step) {
  yv::_stringw path(parent);
  AppendStep(path, step);
  return path;
}

void CXPathEmitter::AppendStep(yv::_stringw& path, const yv::_stringw& step) {
  if (path == L"/" && step == L"/") return;
  if (!path.empty() && path.back() != L'/') path.push_back(L'/');
  path += step;
}

UINT CXPathEmitter::EmitFile(const yv::_stringw& fileKey) {
  if (msi_query::IsTableMissing(database_, L"YVXmlElement")) return ERROR_SUCCESS;
  ElementRow root;
  UINT found = Source().FindRootRow(fileKey, root);
  if (found != ERROR_SUCCESS) return found;
  rootKey_ = root.key;
  yv::_stringw step = ResolveStringId(root.step);
  if (!step.empty()) {
    if (step.front() != L'/') rootName_ = step;
    rootNamespace_ = GetRootNamespace(root);
  }
  EmitElement(L"/", root, true);
  return ERROR_SUCCESS;
}

yv::_stringw CXPathEmitter::GetRootNamespace(const ElementRow& root) {
  yv::_stringw uri;
  IElementRowSource& source = Source();
  if (!source.HasAttributeTable()) return uri;
  source.ForEachAttribute(root.key, [&](const AttributeRow& attribute) {
    if (ResolveStringId(attribute.name) == L"xmlns") uri = ResolveStringId(attribute.value);
  });
  return uri;
}

// The walk keeps its own stack instead of recursing, so a tree as deep as
// the table is long cannot exhaust the custom-action thread's stack. The
// XPaths of the elements on the current path share one buffer, each a prefix
// of the next: a deep tree costs the length of its deepest path, not the sum
// of all its paths.
//
// It always ends: an element key is walked at most once per file. Children
// are found by parent key alone, so an element row whose parent chain loops
// (rows naming each other, or a row naming itself) would otherwise be
// entered again and again; a row that meets a key already walked is counted
// as a child of its parent but not entered. Rows whose parent does not exist
// are never reached from the root and are not emitted. In a table whose key
// column is unique this never changes what is emitted: a key can only come
// back through such a loop.
void CXPathEmitter::EmitElement(const yv::_stringw& parentPath, const ElementRow& root, bool isRoot) {
  IElementRowSource& source = Source();
  std::unordered_set<std::wstring> walked;
  std::vector<Frame> stack;
  yv::_stringw path;

  auto enter = [&](const ElementRow& row) {
    walked.insert(std::wstring(row.key.c_str(), row.key.size()));
    Frame frame;
    frame.row = row;
    frame.pathLength = path.size();
    frame.children = source.OpenChildren(row.key);
    stack.push_back(std::move(frame));
  };

  if (isRoot && !rootName_.empty()) {
    path = relativeRoot_ ? L"./" : L"//";
  } else {
    path = parentPath;
    AppendStep(path, ResolveStringId(root.step));
  }
  enter(root);

  while (!stack.empty()) {
    ElementRow child;
    if (stack.back().children->Next(child)) {
      stack.back().hasChildren = true;
      if (walked.count(std::wstring(child.key.c_str(), child.key.size())) != 0) continue;
      path.resize(stack.back().pathLength);
      AppendStep(path, ResolveStringId(child.step));
      enter(child);
      continue;
    }
    Frame done = std::move(stack.back());
    stack.pop_back();
    done.children.reset();
    path.resize(done.pathLength);
    Finish(done, path);
  }
}

void CXPathEmitter::Finish(const Frame& frame, const yv::_stringw& path) {
  const ElementRow& row = frame.row;
  if (frame.hasChildren && (row.flags & kElementWorkFlags) == 0) {
    // An element that only carries the path to its children: nothing is done
    // to it, so it gets no record of its own.
    IElementRowSource& source = Source();
    bool hasAttributes = source.HasAttributeTable() && source.HasAttributes(row.key);
    if (!hasAttributes && row.content.empty()) return;
  }
  try {
    elements_[row.key] = std::make_unique<CXPathObj>(path, row.flags, row.content);
  } catch (const std::bad_alloc&) {
    throw com_exception(E_OUTOFMEMORY);
  }
}
