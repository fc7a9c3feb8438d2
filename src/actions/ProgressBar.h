#pragma once

#include <windows.h>
#include <msi.h>

// The installer's progress bar as seen from one action: a number of steps,
// each worth a number of ticks, reported to the installer at most once every
// 200 ms however fast the steps come. Steps counted in between go out
// together with the next report.
class ProgressBar {
 public:
  using TickSource = DWORD (*)();
  static constexpr DWORD kReportInterval = 200;

  explicit ProgressBar(MSIHANDLE session, TickSource clock = &GetTickCount) noexcept;

  // Each returns the installer's answer to the message sent (2 = cancel),
  // or 1 when no message was due.
  int Setup(DWORD steps, DWORD ticksPerStep);
  int Increment();
  int Complete();

  DWORD ticksPerStep() const noexcept { return ticksPerStep_; }
  DWORD pending() const noexcept { return pending_; }
  DWORD remaining() const noexcept { return remaining_; }
  DWORD lastReport() const noexcept { return lastReport_; }

 private:
  int Report(DWORD steps);
  int Send(int kind, DWORD ticks);

  MSIHANDLE session_;
  DWORD ticksPerStep_ = 0;
  DWORD pending_ = 0;
  DWORD remaining_ = 0;
  DWORD lastReport_ = 0;
  TickSource clock_;
};
