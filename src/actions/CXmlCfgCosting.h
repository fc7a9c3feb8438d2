#pragma once

#include <windows.h>
#include <msi.h>

#include "actions/ActionResults.h"
#include "actions/CXmlCfgActionBase.h"

// The immediate action YVXmlCosting. While the installer still has the
// database and the components' requested states at hand, it loads the whole
// XML configuration from the package's tables, writes it into a new runtime
// data file in the temporary folder, and hands that file's path to the later
// actions through the properties named after them: each deferred action
// receives it as its CustomActionData, the finalize action reads its own.
// The values of the properties that MsiHiddenProperties lists are masked in
// its log lines, and every text that holds one is marked hidden in the file.
class CXmlCfgCosting : public CXmlCfgActionBase {
 public:
  explicit CXmlCfgCosting(MSIHANDLE session);
  ~CXmlCfgCosting() override;

  // 0, 1602 (cancelled), -1101, -1102, or the loader's or writer's code.
  int Run();

  // True when an MSXML DOM document (6.0, 4.0 or 3.0) can be created.
  virtual bool HasXmlParser();

 private:
  int Cost();
};
