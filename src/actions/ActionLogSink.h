#pragma once

#include "actions/CXmlCfgActionBase.h"
#include "engine/IXMLRTEvent.h"
#include "support/MessageLog.h"

// Sends the module's log lines (the table loader's among them) to the
// installer log of an action that runs no engine, for as long as it lives.
class ActionLogSink final : public IXMLRTEvent {
 public:
  explicit ActionLogSink(CXmlCfgActionBase& action) : action_(action), previous_(GetLogSink()) { SetLogSink(this); }
  ~ActionLogSink() { SetLogSink(previous_); }
  ActionLogSink(const ActionLogSink&) = delete;
  ActionLogSink& operator=(const ActionLogSink&) = delete;

  // The message log has masked the line already.
  void OnLogMessage(const wchar_t* text) override { action_.WriteLogLine(text); }

 private:
  CXmlCfgActionBase& action_;
  IXMLRTEvent* previous_;
};
