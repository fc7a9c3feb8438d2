#include "config/CXmlCfgXPathAttribProp.h"

CXmlCfgXPathAttribProp::CXmlCfgXPathAttribProp(const yv::_stringw& attributeName) : name(attributeName) {}

CXmlCfgXPathAttribProp::~CXmlCfgXPathAttribProp() = default;
