#pragma once

#include <windows.h>

#include "config/CXmlCfgTouchPoint.h"
#include "engine/IXMLRTEvent.h"
#include "resources/MessageIds.h"
#include "xml/XmlChange.h"

class CXmlCfgComponentProp;
class CXmlCfgFileProp;
class CXmlLoader;

// The install engine: applies a loaded configuration to the files on disk and
// is, at the same time, its own event receiver. Everything host-dependent
// (log lines, progress, prompts, which action states mean install or
// uninstall) is a virtual operation that the concrete engines override.
//
// While an engine is alive it is the message log's sink, so every numbered
// message logged anywhere in the process reaches its OnLogMessage, with the
// texts its configuration marks as hidden masked. Only one engine may be
// alive at a time.
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
  // Raised during an install once a file's backup was made (or the file was
  // marked as created) and before the file is changed, so that a host can
  // store what a rollback will need before anything on disk changes. A
  // code other than 0 (it could not be stored) stops the install before the
  // file changes.
  virtual int OnFileStateChanged(const CXmlCfgFileProp& file);
  // The folder backups are made in, and the only one rollback restores from
  // and commit deletes in: the temporary folder unless the host keeps a
  // private one.
  virtual yv::_stringw BackupFolder();
  // The changes an earlier install recorded for a file with the file flag
  // 0x10, oldest first (those of the products this installation replaces
  // first); none when the host keeps no record. The install
  // undoes them before it changes the file again, the uninstall before its
  // rows. A code other than 0 (the record cannot be trusted) stops the file
  // while it is unchanged.
  virtual int RecordedChanges(const CXmlCfgFileProp& file, XmlChangeList& changes);
  // Raised once the install saved such a file, with every change it made:
  // they replace what was recorded for the file. A code other than 0 fails
  // the install.
  virtual int OnChangesRecorded(const CXmlCfgFileProp& file, const XmlChangeList& changes);

  // Fills the configuration from `loader`, with this engine as its event
  // receiver, and hides its hidden texts from the log; returns the loader's
  // code.
  int Load(CXmlLoader& loader);

  // Applies (or reverts) every component that the host selects, in key
  // order; returns 0 or the first failure, which stops the walk.
  int DoInstall();
  int DoUninstall();
  int InstallComponent(CXmlCfgComponentProp& component);
  int UninstallComponent(CXmlCfgComponentProp& component);

  // Puts every file of every component back as the install found it.
  // Never fails.
  int DoRollback();
  // Deletes every backup copy the install made. Never fails.
  int DoCommit();

  CXmlCfgTouchPoint& touchPoint() noexcept { return touchPoint_; }
  CXmlCfgPropertyBag& bag() noexcept { return touchPoint_.bag; }

 private:
  template <class Select, class Apply>
  int Walk(Select select, MessageId startMessage, Apply apply);

  CXmlCfgTouchPoint touchPoint_;
};
