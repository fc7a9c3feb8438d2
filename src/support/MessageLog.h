#pragma once

#include <windows.h>

#include <type_traits>

#include "resources/MessageIds.h"
#include "support/SecretMask.h"
#include "support/stringw.h"

class IXMLRTEvent;

// The module whose string table holds the messages: the DLL in an
// installation, the test program when the code is linked into one.
HINSTANCE ModuleInstance();

// Registers the one receiver of log lines for this process (the live engine),
// or clears it with null. Lines logged while none is registered are dropped.
void SetLogSink(IXMLRTEvent* sink);
IXMLRTEvent* GetLogSink();

// The texts that no log line of this process may show, like the sink one set
// per action: the action that adds texts clears them when it ends, so that
// they never reach the lines of a later one.
yv::SecretMask& LogSecrets();
// `line` as the log may show it: every text of LogSecrets() masked. Every
// line the module logs passes through here exactly once.
yv::_stringw MaskedLogLine(const wchar_t* line);

// Loads string-table text `id` whole, however long it is.
yv::_stringw LoadMessageText(MessageId id);

// Logs the text of message `id` as it stands.
void LogMessage(MessageId id);

// The line that says export `exportName` ended in an exception. Every export
// writes the same one, each to the receiver it still has at that point.
yv::_stringw UnhandledExceptionLine(const wchar_t* exportName);

namespace yv::detail {
// Logs the text of message `id` formatted printf-style with the arguments
// (wide strings for %s, integers for %d and %lx).
void LogMessageFormatted(UINT id, ...);

inline const wchar_t* LogArgument(const _stringw& text) { return text.c_str(); }
inline const wchar_t* LogArgument(const wchar_t* text) { return text ? text : L""; }
inline const wchar_t* LogArgument(wchar_t* text) { return text ? text : L""; }
template <class T, class = std::enable_if_t<std::is_arithmetic_v<T> || std::is_enum_v<T>>>
T LogArgument(T value) {
  return value;
}
}  // namespace yv::detail

// Logs message `id` with arguments; strings of the module's own type may be
// passed as they are.
template <class First, class... Rest>
void LogMessage(MessageId id, const First& first, const Rest&... rest) {
  yv::detail::LogMessageFormatted(static_cast<UINT>(id), yv::detail::LogArgument(first),
                                  yv::detail::LogArgument(rest)...);
}

// Logs a ready line that does not come from the string table.
void LogText(const yv::_stringw& line);

// Turns a failed installer call into a com_exception whose description is the
// installer's own error text followed by the operation and its arguments.
// Returns at once when `result` is 0.
void ThrowIfMsiFailed(UINT result, const wchar_t* operation, const wchar_t* argument1 = L"",
                      const wchar_t* argument2 = L"");

// The runtime log file that lines also go to when the sink asks for it.
yv::_stringw RuntimeLogFilePath();
