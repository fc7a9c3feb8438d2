#include "config/CXmlCfgTouchPoint.h"

#include "config/CXmlLoader.h"

CXmlCfgTouchPoint::CXmlCfgTouchPoint() = default;

CXmlCfgTouchPoint::~CXmlCfgTouchPoint() = default;

int CXmlCfgTouchPoint::Load(CXmlLoader& loader, IXMLRTEvent* receiver) {
  event = receiver;
  return bag.Load(loader);
}
