#pragma once

#include <optional>
#include <vector>

#include "support/stringw.h"

// One change a CYVXmlFile made to its document, with what it replaced: enough
// to undo the change in a later process, even years later, as long as the
// document still has the shape the change left it in.
struct XmlChange {
  enum class Kind {
    kAttribute,  // an attribute was set, created, appended to or removed
    kText,       // an element's text was replaced, prepended or appended to
    kCreated,    // an element was created
    kRemoved     // an element was removed
  };

  Kind kind = Kind::kAttribute;
  // The XPath whose selection was changed; it names the change in the log.
  yv::_stringw xpath;
  // Where the changed element is: its number among the element children of
  // its parent, for each level below the root element ("/" is the root
  // itself, "/2/1" the first element child of the root's second). Of a
  // removed element, its parent's.
  yv::_stringw element;
  // The name of that element, checked before the change is undone.
  yv::_stringw name;
  // kAttribute: the attribute's name as the row gives it, and its namespace.
  yv::_stringw attribute;
  yv::_stringw namespaceUri;
  // kAttribute: the value before and after; none when there was no attribute.
  // kText: the text node's value before and after; none before when the
  // element had no text and the change added a text node after its children.
  // kCreated: after is what the element said once the install was done
  // (CYVXmlFile::ReadContent).
  // kRemoved: before is the removed element's markup.
  std::optional<yv::_stringw> before;
  std::optional<yv::_stringw> after;
  // kRemoved: the element's number among its parent's children but the
  // whitespace between them (elements, comments, instructions, text), and
  // the namespace declarations its markup needs to be read again
  // (xmlns="..." xmlns:p="...").
  long position = 0;
  yv::_stringw namespaces;
};

using XmlChangeList = std::vector<XmlChange>;
