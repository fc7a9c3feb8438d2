#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <deque>
#include <string>
#include <vector>

#include "support/msi_handle.h"

// One message that the code sent to the installer, as the installer handed
// it to the user interface: its type (without the button and icon bits, which
// are kept in `style`) and its fields, field 0 first.
struct RecordedMessage {
  INSTALLMESSAGE type;
  UINT style;
  std::vector<std::wstring> fields;
  std::vector<bool> nullFields;

  const std::wstring& Field(size_t i) const;
  int IntField(size_t i) const;
};

// A real installer session over a test package, with a user interface that
// records every message and answers error prompts (and, on request, progress
// and action messages) from a script. Only one can be alive at a time: the
// installer's external user interface is per process.
class RecordedSession {
 public:
  explicit RecordedSession(const std::wstring& packagePath);
  ~RecordedSession();
  RecordedSession(const RecordedSession&) = delete;
  RecordedSession& operator=(const RecordedSession&) = delete;

  MSIHANDLE handle() const { return session_; }

  // Buttons that the next error prompts are answered with, in order; once
  // used up, prompts are answered with 0 (no user interface).
  void AnswerPrompts(std::vector<int> buttons);
  // The answer to progress and action-start messages (default 1 = OK; 2
  // cancels the action).
  void AnswerProgress(int answer) { progressAnswer_ = answer; }

  const std::vector<RecordedMessage>& messages() const { return messages_; }
  std::vector<RecordedMessage> OfType(INSTALLMESSAGE type) const;
  void Clear() { messages_.clear(); }

  // Log lines sent with the "Yelvin [Time]: [1]" template, field 1 of each.
  std::vector<std::wstring> LogLines() const;

 private:
  static INT CALLBACK Handler(LPVOID context, UINT messageType, MSIHANDLE record);
  int OnMessage(UINT messageType, MSIHANDLE record);

  yv::MsiHandle session_;
  INSTALLUI_HANDLER_RECORD previousHandler_ = nullptr;
  std::vector<RecordedMessage> messages_;
  std::deque<int> promptAnswers_;
  int progressAnswer_ = IDOK;
  bool recording_ = false;
};
