#include "actions/ProgressBar.h"

#include <msiquery.h>

#include "support/msi_handle.h"

namespace {
constexpr int kResetBar = 0;
constexpr int kActionInfo = 1;
constexpr int kAdvance = 2;
}  // namespace

ProgressBar::ProgressBar(MSIHANDLE session, TickSource clock) noexcept : session_(session), clock_(clock) {}

int ProgressBar::Send(int kind, DWORD ticks) {
  yv::MsiHandle record(MsiCreateRecord(3));
  MsiRecordSetInteger(record, 1, kind);
  MsiRecordSetInteger(record, 2, static_cast<int>(ticks));
  MsiRecordSetInteger(record, 3, 0);
  return MsiProcessMessage(session_, INSTALLMESSAGE_PROGRESS, record);
}

int ProgressBar::Setup(DWORD steps, DWORD ticksPerStep) {
  ticksPerStep_ = ticksPerStep;
  remaining_ = steps == 0 ? 1 : steps;
  pending_ = 0;
  lastReport_ = 0;
  Send(kResetBar, remaining_ * ticksPerStep_);
  // Action-data messages are worth one tick each and do not move the bar on
  // their own: the bar only moves with our explicit reports.
  Send(kActionInfo, 1);
  return 1;
}

int ProgressBar::Increment() {
  ++pending_;
  // Unsigned difference: the millisecond counter wraps after 49.7 days.
  if (lastReport_ != 0 && clock_() - lastReport_ < kReportInterval) return 1;
  return Report(pending_);
}

int ProgressBar::Complete() { return Report(remaining_); }

int ProgressBar::Report(DWORD steps) {
  if (steps == 0) return 1;
  int answer = Send(kAdvance, steps * ticksPerStep_);
  remaining_ = steps > remaining_ ? 0 : remaining_ - steps;
  pending_ = 0;
  lastReport_ = clock_();
  return answer;
}
