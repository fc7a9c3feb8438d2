#pragma once

#include <windows.h>

#include "engine/IXMLRTEvent.h"

// The install engine: applies a loaded configuration to the files on disk and
// is, at the same time, its own event receiver. Everything host-dependent
// (log lines, progress, prompts, which action states mean install or
// uninstall) is a virtual operation that the concrete engines override.
//
// While an engine is alive it is the message log's sink, so every numbered
// message logged anywhere in the process reaches its OnLogMessage.
class CYVXMLInstallEngine : public IXMLRTEvent {
 public:
  CYVXMLInstallEngine();
  virtual ~CYVXMLInstallEngine();
  CYVXMLInstallEngine(const CYVXMLInstallEngine&) = delete;
  CYVXMLInstallEngine& operator=(const CYVXMLInstallEngine&) = delete;

  // The user's answer to a failed load (27520) or save (27519) of `text`:
  // 3 Abort, 4 Retry, 5 Ignore, 0 when nobody answered.
  virtual int OnErrorPrompt(const wchar_t* text, int errorNumber, int detail) = 0;
  virtual bool IsInstallState(int actionState);
  virtual bool IsUninstallState(int actionState);
  virtual bool IsActionState(int actionState);
};
