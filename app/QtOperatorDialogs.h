#pragma once
// The operator's dialogs as Qt's message boxes, input box and file dialogs, owned by the window
// that is active when they are asked. A request from another thread is shown by the
// user-interface thread while the caller waits. With ZORV_HEADLESS=1 they are the headless
// ones (lines on standard error, questions cancelled), so that no box waits for a click that
// nobody can give.

#include "support/KesBorDialogsUnit.h"

class QtOperatorDialogs final : public OperatorDialogs {
 public:
  MessageAnswer ShowMessage(const MessageRequest& request) override;
  std::optional<std::string> AskFile(const FileRequest& request) override;
  std::optional<std::string> AskText(const TextRequest& request) override;
};
