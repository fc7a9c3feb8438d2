#include "support/MessageLog.h"

#include <cstdarg>

#include "engine/IXMLRTEvent.h"
#include "support/UniqueHandle.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// One action runs at a time on the installer's custom-action thread, so the
// sink and the secrets need no lock.
IXMLRTEvent* g_logSink = nullptr;
yv::SecretMask g_logSecrets;

// One line in UTF-16LE with CR LF and no byte-order mark. The file is opened
// for each line so that no handle outlives the call; write failures are not
// the caller's concern, the line already reached the sink.
void AppendToRuntimeLogFile(const yv::_stringw& line) {
  yv::UniqueFileHandle file(CreateFileW(RuntimeLogFilePath().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
  WriteFile(file.get(), L"\r\n", 2 * sizeof(wchar_t), &written, nullptr);
}

void Emit(const yv::_stringw& line) {
  IXMLRTEvent* sink = g_logSink;
  if (!sink) return;
  yv::_stringw shown = MaskedLogLine(line.c_str());
  sink->OnLogMessage(shown.c_str());
  if (sink->IsFileLogEnabled()) AppendToRuntimeLogFile(shown);
}

}  // namespace

// The image this code is linked into, DLL or test program, so messages come
// from the string table that was built with it.
HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void SetLogSink(IXMLRTEvent* sink) { g_logSink = sink; }

IXMLRTEvent* GetLogSink() { return g_logSink; }

yv::SecretMask& LogSecrets() { return g_logSecrets; }

yv::_stringw MaskedLogLine(const wchar_t* line) {
  if (!line) return yv::_stringw();
  return g_logSecrets.empty() ? yv::_stringw(line) : yv::_stringw(g_logSecrets.Apply(line));
}

yv::_stringw RuntimeLogFilePath() { return yv::_stringw::join(yv::temp_folder_path(), L"YVXmlRt.log"); }

yv::_stringw LoadMessageText(MessageId id) {
  yv::_stringw text;
  int size = 512;
  for (;;) {
    int length = 0;
    {
      auto buffer = text.writable(static_cast<std::size_t>(size));
      length = LoadStringW(ModuleInstance(), static_cast<UINT>(id), buffer, size);
    }
    // A text that fills the buffer may have been cut short.
    if (size - length > 1) return text;
    size += 256;
  }
}

void LogMessage(MessageId id) { Emit(LoadMessageText(id)); }

yv::_stringw UnhandledExceptionLine(const wchar_t* exportName) {
  yv::_stringw line;
  line.format(LoadMessageText(IDS_UNHANDLED_EXCEPTION).c_str(), exportName);
  return line;
}

void yv::detail::LogMessageFormatted(UINT id, ...) {
  yv::_stringw pattern = LoadMessageText(MessageId{id});
  if (pattern.empty()) return;
  yv::_stringw line;
  va_list args;
  va_start(args, id);
  line.vformat(pattern.c_str(), args);
  va_end(args);
  Emit(line);
}

void LogText(const yv::_stringw& line) { Emit(line); }
