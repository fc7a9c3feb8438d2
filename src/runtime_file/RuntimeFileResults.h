#pragma once

// Results of reading a runtime data file. The deferred actions return them to
// the installer as they are, so the values never change.
namespace RuntimeFileResult {
constexpr int kSuccess = 0;
// An empty component name in Components, or an empty FileName.
constexpr int kEmptyName = -1301;
constexpr int kActionStateMissing = -1302;
constexpr int kComponentCountMissing = -1303;
constexpr int kPathEmpty = -1304;
// Count missing in a component or file section.
constexpr int kCountMissing = -1305;
// An empty f<i> in a component section, or an empty XPath expression.
constexpr int kSectionNameOrXPathEmpty = -1306;
// The next three end the reading of one XPath or attribute section only;
// the load goes on and never returns them.
constexpr int kAttributeCountMissing = -1307;
constexpr int kAttributeNameEmpty = -1308;
constexpr int kActionMissing = -1309;
constexpr int kNoPath = -1310;
constexpr int kCannotRead = -1311;
// The runtime data file's bytes do not hash to what the costing action wrote:
// someone changed it after costing, and nothing is done.
constexpr int kRuntimeDataTampered = -1312;
// The private state folder, or the state file in it, is a link or may be
// written by someone other than the local system and the administrators.
constexpr int kStateFolderUntrusted = -1313;
// The verified copy of the runtime data file could not be stored.
constexpr int kStateFileNotWritten = -1314;
// The runtime data file, or the state kept from it, could not be written in
// full (a full disk, a folder that refuses new files); the last complete
// version stays.
constexpr int kCannotWrite = -1315;
// The session's ProductCode, which names the restore record of the XML files
// with the file flag 0x10, is no GUID in braces.
constexpr int kNoProductCode = -1316;
// FileAttributes or Attributes missing.
constexpr int kFileFlagsMissing = -1206;
constexpr int kCreatedOnInstallMissing = -1211;
constexpr int kProgressMessageEmpty = -1401;
}  // namespace RuntimeFileResult
