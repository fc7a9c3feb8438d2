#include "engine/CYVXMLInstallEngine.h"

#include "support/MessageLog.h"

CYVXMLInstallEngine::CYVXMLInstallEngine() { SetLogSink(this); }

CYVXMLInstallEngine::~CYVXMLInstallEngine() { SetLogSink(nullptr); }

bool CYVXMLInstallEngine::IsInstallState(int) { return true; }

bool CYVXMLInstallEngine::IsUninstallState(int) { return true; }

bool CYVXMLInstallEngine::IsActionState(int) { return true; }
