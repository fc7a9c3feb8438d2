#include "kit/RecordedSession.h"

#include <stdexcept>

namespace {

std::wstring RecordString(MSIHANDLE record, UINT field) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  if (MsiRecordGetStringW(record, field, empty, &size) != ERROR_MORE_DATA) return L"";
  std::wstring text(size + 1, L'\0');
  size += 1;
  MsiRecordGetStringW(record, field, &text[0], &size);
  text.resize(size);
  return text;
}

const DWORD kRecordedKinds = INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING |
                             INSTALLLOGMODE_USER | INSTALLLOGMODE_INFO | INSTALLLOGMODE_ACTIONSTART |
                             INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_COMMONDATA;

}  // namespace

const std::wstring& RecordedMessage::Field(size_t i) const {
  static const std::wstring kNone;
  return i < fields.size() ? fields[i] : kNone;
}

int RecordedMessage::IntField(size_t i) const { return i < fields.size() ? _wtoi(fields[i].c_str()) : 0; }

RecordedSession::RecordedSession(const std::wstring& packagePath) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  UINT result = MsiOpenPackageW(packagePath.c_str(), session_.put());
  if (result != ERROR_SUCCESS)
    throw std::runtime_error("MsiOpenPackage failed with " + std::to_string(result));
  MsiSetExternalUIRecord(&RecordedSession::Handler, kRecordedKinds, this, &previousHandler_);
  recording_ = true;
}

RecordedSession::~RecordedSession() {
  MsiSetExternalUIRecord(previousHandler_, 0, nullptr, nullptr);
  session_.reset();
}

void RecordedSession::AnswerPrompts(std::vector<int> buttons) { promptAnswers_.assign(buttons.begin(), buttons.end()); }

std::vector<RecordedMessage> RecordedSession::OfType(INSTALLMESSAGE type) const {
  std::vector<RecordedMessage> matching;
  for (const auto& m : messages_)
    if (m.type == type) matching.push_back(m);
  return matching;
}

std::vector<std::wstring> RecordedSession::LogLines() const {
  std::vector<std::wstring> lines;
  for (const auto& m : messages_)
    if (m.type == INSTALLMESSAGE_INFO && m.Field(0) == L"Yelvin [Time]: [1]") lines.push_back(m.Field(1));
  return lines;
}

INT CALLBACK RecordedSession::Handler(LPVOID context, UINT messageType, MSIHANDLE record) {
  return static_cast<RecordedSession*>(context)->OnMessage(messageType, record);
}

int RecordedSession::OnMessage(UINT messageType, MSIHANDLE record) {
  if (!recording_) return 0;
  RecordedMessage message;
  message.type = static_cast<INSTALLMESSAGE>(messageType & 0xFF000000u);
  message.style = messageType & 0x00FFFFFFu;
  UINT count = record ? MsiRecordGetFieldCount(record) : 0;
  for (UINT field = 0; record && field <= count; ++field) {
    message.nullFields.push_back(MsiRecordIsNull(record, field) != FALSE);
    message.fields.push_back(RecordString(record, field));
  }
  messages_.push_back(message);

  switch (message.type) {
    case INSTALLMESSAGE_ERROR:
    case INSTALLMESSAGE_WARNING:
    case INSTALLMESSAGE_USER: {
      if (promptAnswers_.empty()) return 0;
      int answer = promptAnswers_.front();
      promptAnswers_.pop_front();
      return answer;
    }
    case INSTALLMESSAGE_PROGRESS:
    case INSTALLMESSAGE_ACTIONSTART:
      return progressAnswer_;
    default:
      return IDOK;
  }
}
