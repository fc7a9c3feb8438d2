#include "config/CXmlCfgPropBase.h"

CXmlCfgPropBase::~CXmlCfgPropBase() = default;
