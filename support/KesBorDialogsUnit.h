#pragma once
// The operator's dialogs (message boxes, the integer prompt's input box, the open and save file
// dialogs) behind one small interface. The operator program installs its windowed dialogs for
// the process; without them every box becomes a line on standard error and every question is
// answered as if cancelled, which is what headless tools and tests need. Tests install dialogs
// that answer from a script.

#include <cstdint>
#include <optional>
#include <string>

enum class MessageButtons { kOk, kYesNoCancel };
enum class MessageAnswer { kOk, kYes, kNo, kCancel };
enum class MessageIcon { kNone, kInformation, kError };

struct MessageRequest {
  std::string text;
  std::string caption;
  MessageButtons buttons = MessageButtons::kOk;
  MessageIcon icon = MessageIcon::kNone;
};

enum class FileDialogKind { kOpen, kSave };

struct FileRequest {
  FileDialogKind kind = FileDialogKind::kOpen;
  std::string title;
  std::string directory;
  // One filter entry, as "File Type (*.ini)|*.ini".
  std::string filter;
  std::string default_suffix;
  // Without directory and extension.
  std::string proposed_name;
};

struct TextRequest {
  std::string caption;
  std::string prompt;
  std::string proposed;
};

class OperatorDialogs {
 public:
  virtual ~OperatorDialogs() = default;
  virtual MessageAnswer ShowMessage(const MessageRequest& request) = 0;
  // The full path chosen, nothing when cancelled.
  virtual std::optional<std::string> AskFile(const FileRequest& request) = 0;
  // The answer typed, nothing when cancelled.
  virtual std::optional<std::string> AskText(const TextRequest& request) = 0;
};

// The process's dialogs: the installed ones, else the headless ones.
OperatorDialogs& ProcessDialogs();
// Boxes as the platform's (one line on standard error where there is no desktop); every
// question and file dialog answered as cancelled.
OperatorDialogs& HeadlessDialogs();
// Installs dialogs for the process (nullptr puts the headless ones back); returns the previous
// installation. The caller keeps the object alive while it is installed.
OperatorDialogs* InstallProcessDialogs(OperatorDialogs* dialogs);

// A message box through the process's dialogs.
MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                          MessageButtons buttons = MessageButtons::kOk,
                          MessageIcon icon = MessageIcon::kNone);

// The file dialogs of the setup files: one filter entry for the extension (ini, .ini and *.ini
// all mean ini), which is also the default extension, and the proposed file's base name. True
// when the operator confirmed; the file name is then the path chosen, else it is left alone.
bool AskOpenFile(const std::string& initial_directory, const std::string& extension,
                 std::string& file_name, const std::string& proposed_file);
bool AskSaveFile(const std::string& initial_directory, const std::string& extension,
                 std::string& file_name, const std::string& proposed_file);
