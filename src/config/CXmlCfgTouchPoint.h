#pragma once

#include "config/CXmlCfgPropertyBag.h"

class CXmlLoader;
class IXMLRTEvent;

// What an engine works on: the configuration, and the receiver of the logs,
// progress and prompts that working on it produces.
class CXmlCfgTouchPoint {
 public:
  CXmlCfgTouchPoint();
  virtual ~CXmlCfgTouchPoint();
  CXmlCfgTouchPoint(const CXmlCfgTouchPoint&) = delete;
  CXmlCfgTouchPoint& operator=(const CXmlCfgTouchPoint&) = delete;

  // Remembers `receiver` (not owned), then fills the bag from `loader`;
  // returns the loader's code.
  int Load(CXmlLoader& loader, IXMLRTEvent* receiver);

  IXMLRTEvent* event = nullptr;
  CXmlCfgPropertyBag bag;
};
