#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "support/UniqueHandle.h"

namespace yv {

// An installer handle (record, view, database); 0 is none.
struct MsiHandleTraits {
  using pointer = MSIHANDLE;
  static constexpr pointer kInvalid = 0;
  static constexpr bool kConvertsImplicitly = true;
  static bool IsValid(pointer value) noexcept { return value != 0; }
  static void Close(pointer value) noexcept { MsiCloseHandle(value); }
};
using MsiHandle = UniqueHandle<MsiHandleTraits>;

}  // namespace yv
