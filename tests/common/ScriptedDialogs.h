#pragma once
// Dialogs that a test answers from a script, installed for the process while the object lives.
// Every request is recorded; a dialog with no answer left is cancelled (a message box with only
// OK is acknowledged), so an unexpected dialog never waits.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/KesBorDialogsUnit.h"

namespace zorv_test {

class ScriptedDialogs final : public OperatorDialogs {
 public:
  ScriptedDialogs() : previous_(InstallProcessDialogs(this)) {}
  ~ScriptedDialogs() override { InstallProcessDialogs(previous_); }
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  MessageAnswer ShowMessage(const MessageRequest& request) override {
    messages.push_back(request);
    if (request.buttons == MessageButtons::kOk) return MessageAnswer::kOk;
    return Next(message_answers).value_or(MessageAnswer::kCancel);
  }
  std::optional<std::string> AskFile(const FileRequest& request) override {
    files.push_back(request);
    return Next(file_answers).value_or(std::nullopt);
  }
  std::optional<std::string> AskText(const TextRequest& request) override {
    texts.push_back(request);
    return Next(text_answers).value_or(std::nullopt);
  }

  // Answers, first asked first answered.
  std::deque<MessageAnswer> message_answers;
  std::deque<std::optional<std::string>> file_answers;
  std::deque<std::optional<std::string>> text_answers;
  // What was asked, oldest first.
  std::vector<MessageRequest> messages;
  std::vector<FileRequest> files;
  std::vector<TextRequest> texts;

 private:
  template <typename T>
  static std::optional<T> Next(std::deque<T>& answers) {
    if (answers.empty()) return std::nullopt;
    T answer = answers.front();
    answers.pop_front();
    return answer;
  }

  OperatorDialogs* previous_;
};

}  // namespace zorv_test
