#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

// Field `field` of an installer record as text; empty when it is null or
// cannot be read.
std::wstring MsiRecordText(MSIHANDLE record, UINT field);
