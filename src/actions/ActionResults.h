#pragma once

// Results of the costing action besides the loader's and the writer's. The
// action returns them to the installer as they are, so the values never
// change.
namespace CostingResult {
constexpr int kSuccess = 0;
constexpr int kNoTempFolder = -1101;
constexpr int kNoTempFile = -1102;
// ERROR_INSTALL_USEREXIT: the user cancelled from the progress dialog.
constexpr int kCancelled = 1602;
}  // namespace CostingResult
