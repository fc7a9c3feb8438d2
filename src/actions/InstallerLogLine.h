#pragma once

#include <windows.h>
#include <msi.h>

// Sends one module line to the installer log of `session`, shown through the
// "Yelvin [Time]: [1]" template. Every line of the module reaches the log
// through here.
void SendInstallerLogLine(MSIHANDLE session, const wchar_t* text);
