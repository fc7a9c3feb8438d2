#include "engine/CXmlChangeUndo.h"

#include <optional>

#include "support/MessageLog.h"
#include "xml/CYVXmlFile.h"
#include "xml/XmlResults.h"

namespace {

// Line ends as a parser reads them back: a CR LF or CR written into a file
// comes back as LF.
yv::_stringw ReadBackForm(yv::_stringw text) {
  size_t write = 0;
  for (size_t read = 0; read < text.size(); ++read) {
    if (text[read] == L'\r') {
      text[write++] = L'\n';
      if (read + 1 < text.size() && text[read + 1] == L'\n') ++read;
    } else {
      text[write++] = text[read];
    }
  }
  text.resize(write);
  return text;
}

bool SameText(const std::optional<yv::_stringw>& found, const std::optional<yv::_stringw>& written) {
  if (!found || !written) return !found && !written;
  return ReadBackForm(*found) == ReadBackForm(*written);
}

}  // namespace

CXmlChangeUndo::CXmlChangeUndo(CYVXmlFile& document, const yv::_stringw& filePath)
    : document_(document), filePath_(filePath) {}

// An element created by the install is located by the position it had when
// it was made, and so are the changes made inside it afterwards, until an
// element removed elsewhere may have moved it.
std::vector<bool> CXmlChangeUndo::InsideCreatedElements(const XmlChangeList& changes) {
  auto within = [](const yv::_stringw& path, const yv::_stringw& element) {
    return path.compare(0, element.size(), element) == 0 && path.size() > element.size() &&
           (path[element.size()] == L'/' || element == L"/");
  };
  std::vector<bool> inside(changes.size());
  for (size_t created = 0; created < changes.size(); ++created) {
    if (changes[created].kind != XmlChange::Kind::kCreated || inside[created]) continue;
    const yv::_stringw& element = changes[created].element;
    for (size_t later = created + 1; later < changes.size(); ++later) {
      const XmlChange& change = changes[later];
      if (change.element == element ? change.kind != XmlChange::Kind::kCreated : within(change.element, element)) {
        inside[later] = true;
      } else if (change.kind == XmlChange::Kind::kRemoved) {
        break;
      }
    }
  }
  return inside;
}

int CXmlChangeUndo::UndoAll(const XmlChangeList& changes) {
  if (changes.empty()) return 0;
  LogMessage(IDS_RESTORING_CHANGES, static_cast<int>(changes.size()), filePath_);
  std::vector<bool> inside = InsideCreatedElements(changes);
  int left = 0;
  for (size_t i = changes.size(); i-- > 0;) {
    if (!inside[i] && !Undo(changes[i])) ++left;
  }
  return left;
}

bool CXmlChangeUndo::Undo(const XmlChange& change) {
  if (!document_.SelectElementAt(change.element, change.name)) {
    LogMessage(IDS_RESTORE_ELEMENT_GONE, filePath_, change.xpath, change.element, change.name);
    return false;
  }
  bool undone = false;
  switch (change.kind) {
    case XmlChange::Kind::kAttribute:
      if (!SameText(document_.ReadAttribute(change.attribute, change.namespaceUri), change.after)) {
        LogMessage(IDS_RESTORE_ATTRIBUTE_CHANGED, filePath_, change.xpath, change.element, change.attribute);
        return false;
      }
      undone = document_.WriteAttribute(change.attribute, change.namespaceUri, change.before);
      break;
    case XmlChange::Kind::kText:
      // No text before: the change added the text node after the children.
      if (!SameText(document_.ReadText(!change.before), change.after)) {
        LogMessage(IDS_RESTORE_TEXT_CHANGED, filePath_, change.xpath, change.element);
        return false;
      }
      undone = document_.WriteText(!change.before, change.before);
      break;
    case XmlChange::Kind::kCreated:
      if (!SameText(document_.ReadContent(), change.after)) {
        LogMessage(IDS_RESTORE_ELEMENT_CHANGED, filePath_, change.xpath, change.element);
        return false;
      }
      undone = document_.RemoveElement() == XmlResult::kSuccess;
      break;
    case XmlChange::Kind::kRemoved:
      if (!change.before) break;
      // Already back where it was: an uninstall that failed after putting it
      // back leaves the record as it was.
      if (document_.HoldsElementAt(change.position, *change.before, change.namespaces)) return true;
      undone = document_.InsertElementAt(change.position, *change.before, change.namespaces);
      break;
  }
  if (!undone) LogMessage(IDS_RESTORE_FAILED, filePath_, change.xpath, change.element);
  return undone;
}
