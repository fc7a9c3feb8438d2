#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/msi_handle.h"

// One message the code sent to the installer, as the installer handed it to
// the user interface: its type (without the button and icon bits) and its
// fields, field 0 first.
struct RecordedMessage {
  INSTALLMESSAGE type;
  std::vector<std::wstring> fields;

  std::wstring Field(size_t i) const { return i < fields.size() ? fields[i] : std::wstring(); }
  int IntField(size_t i) const { return _wtoi(Field(i).c_str()); }
};

// A real installer session over a test package, with a user interface that
// records every message and answers error prompts, progress and action
// messages from a script. Only one can be alive at a time: the installer's
// external user interface is per process.
class RecordedSession {
 public:
  explicit RecordedSession(const std::wstring& packagePath) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    if (UINT result = MsiOpenPackageW(packagePath.c_str(), session_.put()))
      throw std::runtime_error("MsiOpenPackage failed with " + std::to_string(result));
    MsiSetExternalUIRecord(&RecordedSession::Handler,
                           INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING |
                               INSTALLLOGMODE_USER | INSTALLLOGMODE_INFO | INSTALLLOGMODE_ACTIONSTART |
                               INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_COMMONDATA,
                           this, &previousHandler_);
  }
  ~RecordedSession() { MsiSetExternalUIRecord(previousHandler_, 0, nullptr, nullptr); }

  MSIHANDLE handle() const { return session_; }
  // Buttons that the next error prompts are answered with, in order; once
  // used up, prompts are answered with 0 (no user interface).
  void AnswerPrompts(std::vector<int> buttons) { promptAnswers_.assign(buttons.begin(), buttons.end()); }
  // The answer to progress and action-start messages (IDCANCEL cancels).
  void AnswerProgress(int answer) { progressAnswer_ = answer; }

  std::vector<RecordedMessage> OfType(INSTALLMESSAGE type) const {
    std::vector<RecordedMessage> matching;
    for (const auto& m : messages_)
      if (m.type == type) matching.push_back(m);
    return matching;
  }
  void Clear() { messages_.clear(); }
  // Field 1 of each line sent with the module's "Yelvin [Time]: [1]"
  // template, as the installer's formatting writes it into the log: an
  // escape [\x] stands for the character x.
  std::vector<std::wstring> LogLines() const {
    std::vector<std::wstring> lines;
    for (const auto& m : OfType(INSTALLMESSAGE_INFO)) {
      if (m.Field(0) != L"Yelvin [Time]: [1]") continue;
      std::wstring line = m.Field(1);
      for (size_t at = line.find(L"[\\"); at != std::wstring::npos; at = line.find(L"[\\", at + 1))
        if (at + 3 < line.size() && line[at + 3] == L']') line.replace(at, 4, 1, line[at + 2]);
      lines.push_back(line);
    }
    return lines;
  }

 private:
  static INT CALLBACK Handler(LPVOID context, UINT messageType, MSIHANDLE record) {
    auto& self = *static_cast<RecordedSession*>(context);
    RecordedMessage message{static_cast<INSTALLMESSAGE>(messageType & 0xFF000000u), {}};
    std::vector<wchar_t> text(8192);
    for (UINT field = 0; record && field <= MsiRecordGetFieldCount(record); ++field) {
      DWORD size = static_cast<DWORD>(text.size());
      message.fields.push_back(MsiRecordGetStringW(record, field, text.data(), &size) ? L"<too long>" : text.data());
    }
    self.messages_.push_back(message);
    if (message.type == INSTALLMESSAGE_PROGRESS || message.type == INSTALLMESSAGE_ACTIONSTART)
      return self.progressAnswer_;
    if (message.type != INSTALLMESSAGE_ERROR) return IDOK;
    int answer = self.promptAnswers_.empty() ? 0 : self.promptAnswers_.front();
    if (!self.promptAnswers_.empty()) self.promptAnswers_.pop_front();
    return answer;
  }

  yv::MsiHandle session_;
  INSTALLUI_HANDLER_RECORD previousHandler_ = nullptr;
  std::vector<RecordedMessage> messages_;
  std::deque<int> promptAnswers_;
  int progressAnswer_ = IDOK;
};
