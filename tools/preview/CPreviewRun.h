#pragma once

#include "CPreviewCommandLine.h"
#include "CPreviewOutput.h"

// One preview: open the package read-only, resolve and check its XML files,
// keep their bytes, run the module's test pass over them, print the pass's
// log and a unified diff per changed file.
class CPreviewRun {
 public:
  // Exit codes of the preview itself; any other comes from the pass.
  static constexpr int kUsage = 2;
  static constexpr int kRefused = 3;
  static constexpr int kCannotStart = 4;
  // The pass ended without reporting a result (the module caught a failure
  // of its own).
  static constexpr int kNoResult = 5;

  CPreviewRun(const CPreviewCommandLine& commandLine, CPreviewOutput& output);

  // Returns the process's exit code: 0, one of the above, or the pass's
  // nonzero result.
  int Run();

 private:
  const CPreviewCommandLine& commandLine_;
  CPreviewOutput& output_;
};
