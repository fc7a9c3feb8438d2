#pragma once

#include <windows.h>
#include <msxml2.h>

#include "support/com_ptr.h"

namespace msxml {

// A DOM document of the newest parser that can be created (6.0, 4.0, 3.0),
// untouched; null when none can. `version` receives 6, 4, 3 or 0.
yv::ComPtr<IXMLDOMDocument2> CreateNewestDocument(int* version = nullptr);

}  // namespace msxml
