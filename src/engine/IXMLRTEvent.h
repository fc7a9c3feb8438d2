#pragma once

#include <windows.h>

// The host side of the engine: everything that depends on who runs the
// engine (the installer, a test harness) leaves the engine through here.
// The defaults are what an engine gets when its host has nothing to add.
class IXMLRTEvent {
 public:
  // One finished log line, its hidden texts already masked.
  virtual void OnLogMessage(const wchar_t* text) = 0;
  // Whether the message log also appends each line to its log file.
  virtual bool IsFileLogEnabled() { return false; }
  virtual void OnSetupProgress(DWORD steps, DWORD ticksPerStep) {
    (void)steps;
    (void)ticksPerStep;
  }
  virtual void OnTickProgress() {}
  virtual void OnEndProgress() {}
  virtual void OnNotify() {}
  virtual void OnProgressMessage(const wchar_t* templateName, const wchar_t* argument) {
    (void)templateName;
    (void)argument;
  }
  virtual void OnProgressText(const wchar_t* text) { (void)text; }
  // Turns a stored value of the given kind into its final text. Returns the
  // full length of the result, so a caller whose buffer was too short can ask
  // again with enough room.
  virtual DWORD ResolveString(int kind, const wchar_t* source, wchar_t* buffer, DWORD bufferSize);

 protected:
  ~IXMLRTEvent() = default;
};
