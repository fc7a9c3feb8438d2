#include "config/CXmlCfgXPathAttribProp.h"

#include <utility>

CXmlCfgXPathAttribProp::CXmlCfgXPathAttribProp(yv::_stringw attributeName) : name(std::move(attributeName)) {}

CXmlCfgXPathAttribProp::~CXmlCfgXPathAttribProp() = default;
