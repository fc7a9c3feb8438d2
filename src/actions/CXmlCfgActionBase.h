#pragma once

#include <windows.h>
#include <msi.h>

#include "actions/ProgressBar.h"
#include "support/msi_handle.h"
#include "support/stringw.h"

// The services an action needs from the installer session it runs in:
// properties, the runtime data file's path, log lines, error prompts, the
// progress bar and the action text. Every installer-hosted object builds on it.
class CXmlCfgActionBase {
 public:
  // The second argument is accepted for the hosts that pass one; it carries
  // nothing this class needs.
  explicit CXmlCfgActionBase(MSIHANDLE session, void* unused = nullptr);
  virtual ~CXmlCfgActionBase();
  CXmlCfgActionBase(const CXmlCfgActionBase&) = delete;
  CXmlCfgActionBase& operator=(const CXmlCfgActionBase&) = delete;

  virtual bool IsValid();
  // One line in the installer log, shown through the "Yelvin [Time]: [1]"
  // template, with the message log's secrets masked. A null text logs an
  // empty line.
  virtual void Log(const wchar_t* text);
  // Log without the masking, for a line the message log has masked already:
  // masking twice could find a secret inside the asterisks of the first.
  void WriteLogLine(const wchar_t* text);
  // The installer's Abort/Retry/Ignore box for its error-table message
  // `errorNumber`; returns 3 Abort, 4 Retry, 5 Ignore, or 0 when no user
  // interface answered.
  virtual int PromptError(const wchar_t* text, int errorNumber, int detail);
  virtual int SetupProgressBar(DWORD steps, DWORD ticksPerStep);
  virtual int IncrementProgressBar();
  virtual int CompleteProgressBar();
  virtual void Notify();
  virtual int ProgressMessage(const wchar_t* text);

  yv::_stringw GetProperty(const wchar_t* name);
  int SetProperty(const wchar_t* name, const wchar_t* value);
  // The runtime data file written by the costing action: a deferred action
  // gets it as its CustomActionData, the finalize action reads its property.
  yv::_stringw GetRuntimeDataPath(bool deferred);

  bool IsCancelled() const noexcept { return cancelled_; }
  MSIHANDLE session() const noexcept { return session_; }
  MSIHANDLE database() const noexcept { return database_; }
  const ProgressBar& progress() const noexcept { return progress_; }

 protected:
  // For tests of the throttle across a wrap of the millisecond counter.
  CXmlCfgActionBase(MSIHANDLE session, ProgressBar::TickSource clock);

 private:
  int NoteAnswer(int answer);
  void LogFixedText(const wchar_t* text);

  MSIHANDLE session_;
  yv::MsiHandle database_;
  ProgressBar progress_;
  bool cancelled_ = false;
};
