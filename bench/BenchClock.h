#pragma once

#include <windows.h>

// Seconds on the performance counter, the finest clock the benchmarks have;
// only differences between two readings mean anything.
inline double Now() {
  static const double ticksPerSecond = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / ticksPerSecond;
}
