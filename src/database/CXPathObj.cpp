#include "database/CXPathObj.h"

CXPathObj::CXPathObj(const yv::_stringw& xpath, int flags, const yv::_stringw& content)
    : xpath(xpath), flags(flags), content(content) {}

CXPathObj::~CXPathObj() = default;
