#include "engine/CXmlChangeRecorder.h"

#include <utility>

namespace {

// Whether `later` changes what `earlier` changed. A text a change added
// after the element's children is not the first text a later change finds.
bool SameTarget(const XmlChange& earlier, const XmlChange& later) {
  if (earlier.kind != later.kind || earlier.element != later.element || earlier.name != later.name) return false;
  if (earlier.kind == XmlChange::Kind::kText) return earlier.before && later.before;
  return earlier.kind == XmlChange::Kind::kAttribute && earlier.attribute == later.attribute &&
         earlier.namespaceUri == later.namespaceUri;
}

}  // namespace

void CXmlChangeRecorder::OnXmlChange(XmlChange change) {
  for (auto earlier = changes_.rbegin(); earlier != changes_.rend(); ++earlier) {
    // Elements created or removed since move what the numbers point at.
    if (earlier->kind == XmlChange::Kind::kCreated || earlier->kind == XmlChange::Kind::kRemoved) break;
    if (SameTarget(*earlier, change)) {
      earlier->after = std::move(change.after);
      return;
    }
  }
  changes_.push_back(std::move(change));
}

void CXmlChangeRecorder::NoteCreatedContent(const std::vector<yv::_stringw>& content) {
  size_t next = 0;
  for (XmlChange& change : changes_) {
    if (change.kind == XmlChange::Kind::kCreated && next < content.size()) change.after = content[next++];
  }
}
