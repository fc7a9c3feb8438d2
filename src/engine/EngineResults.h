#pragma once

// Results of the engine's own file work. They reach the installer as the
// install action's result, so their values never change.
namespace EngineResult {
constexpr int kSuccess = 0;
// The backup copy of a file could not be written.
constexpr int kBackupCopyFailed = -2112;
// The system names no temporary folder for the backup copy.
constexpr int kNoTempFolder = -2114;
// No temporary file could be made for the backup copy.
constexpr int kNoTempFile = -2115;
// The XML file, or a folder on the way to it, is a symbolic link or junction:
// an elevated action never writes, restores or deletes through one.
constexpr int kTargetIsLink = -2116;
}  // namespace EngineResult

// The progress-message templates the engine raises, by name.
namespace ProgressTemplate {
constexpr const wchar_t* kCostingFiles = L"YV_PROGMSG_XML_COSTING";
constexpr const wchar_t* kFiles = L"YV_PROGMSG_XML_FILES";
constexpr const wchar_t* kCreateFile = L"YV_PROGMSG_XML_CREATE_FILE";
constexpr const wchar_t* kUpdateFile = L"YV_PROGMSG_XML_UPDATE_FILE";
constexpr const wchar_t* kRemoveFile = L"YV_PROGMSG_XML_REMOVE_FILE";
constexpr const wchar_t* kRollbackFiles = L"YV_PROGMSG_XML_ROLLBACK_FILES";
}  // namespace ProgressTemplate
