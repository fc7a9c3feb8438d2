#pragma once

#include <string_view>

namespace xmlutils {

// Whether `name` is an XML 1.0 Name (fifth edition), which allows a prefix:
// `add`, `x:add`, `_1`, `añadir`. Element and attribute names that fail it
// would leave a file that no parser reads back.
bool IsXmlName(std::wstring_view name);

// Whether `text` holds nothing but XML white space (space, tab, CR, LF); the
// empty text does.
bool IsXmlSpace(std::wstring_view text);

// Whether the attribute `name` declares a namespace: `xmlns` or
// `xmlns:prefix`.
bool IsNamespaceDeclaration(std::wstring_view name);

// Whether `text` is a list of `xmlns:prefix='uri'` declarations separated by
// spaces, the only form the module reads prefixes from.
bool IsSelectionNamespaceList(std::wstring_view text);

}  // namespace xmlutils
