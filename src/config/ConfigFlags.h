#pragma once

#include <windows.h>

// The flag words of the configuration records. The values are stored in the
// installer tables and in the runtime data file, so they never change.

// CXmlCfgFileProp::attributes
namespace XmlFileFlags {
// On install, build the file from its root-element settings when it is missing.
constexpr DWORD kCreateIfMissing = 0x1;
// On uninstall, delete the whole file instead of reverting its elements.
constexpr DWORD kDeleteOnUninstall = 0x2;
// Save the document as it is, without pretty-printing it first.
constexpr DWORD kKeepFormatting = 0x4;
// Root element addressed as "./" instead of "//" when XPaths are emitted
// from the element tables; the engine does not look at it.
constexpr DWORD kRelativeRoot = 0x8;
// Record what every change of the install replaced, and put it back on
// uninstall (and before a repair changes the file again).
constexpr DWORD kRestoreOnUninstall = 0x10;
}  // namespace XmlFileFlags

// CXmlCfgFileProp::fileAttributes when the attributes to restore are not
// known: they are then read from the file itself at restore time.
constexpr DWORD kUnknownFileAttributes = 0xFFFFFFFF;

// CXmlCfgXPathProp::action
namespace XmlElementFlags {
constexpr DWORD kCreateOnInstall = 0x1;
constexpr DWORD kRemoveOnInstall = 0x2;
constexpr DWORD kCreateOnUninstall = 0x4;
// Ignored for the XPath "//", which would remove the whole document.
constexpr DWORD kRemoveOnUninstall = 0x8;
// Any of the three content bits writes content on install; prepend wins over
// append, append over replace.
constexpr DWORD kReplaceContent = 0x10;
constexpr DWORD kPrependContent = 0x20;
constexpr DWORD kAppendContent = 0x40;
constexpr DWORD kContentMask = kReplaceContent | kPrependContent | kAppendContent;
// Only the first node the XPath selects becomes current.
constexpr DWORD kFirstMatchOnly = 0x80;
}  // namespace XmlElementFlags

// CXmlCfgXPathAttribProp::action
namespace XmlAttributeFlags {
constexpr DWORD kApplyOnInstall = 0x1;
constexpr DWORD kApplyOnUninstall = 0x2;
// A missing attribute is created by the operation.
constexpr DWORD kCreateIfMissing = 0x4;
// Remove the attribute, unless kAppendValue is also set.
constexpr DWORD kRemove = 0x8;
// Append the value to the current value.
constexpr DWORD kAppendValue = 0x10;
}  // namespace XmlAttributeFlags

// The installer's requested component action states as the loaders store
// them in CXmlCfgComponentProp::actionState.
namespace ComponentActionState {
constexpr int kAdvertised = 1;
constexpr int kAbsent = 2;
constexpr int kLocal = 3;
}  // namespace ComponentActionState
