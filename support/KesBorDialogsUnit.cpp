#include "support/KesBorDialogsUnit.h"

#include <atomic>

#include "platform/process.h"
#include "support/KesBorFilesUnit.h"

namespace {

uint32_t PlatformIconFlags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return platform::kIconInformation;
    case MessageIcon::kError:
      return platform::kIconError;
    case MessageIcon::kNone:
      break;
  }
  return 0;
}

// No window to answer in: the box is the platform's (a line on standard error where there is
// no desktop), and a question or file dialog counts as cancelled, so nothing is done unasked.
class HeadlessOperatorDialogs final : public OperatorDialogs {
 public:
  MessageAnswer ShowMessage(const MessageRequest& request) override {
    platform::ShowMessageBox(request.text, request.caption, PlatformIconFlags(request.icon));
    return request.buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kCancel;
  }
  std::optional<std::string> AskFile(const FileRequest&) override { return std::nullopt; }
  std::optional<std::string> AskText(const TextRequest&) override { return std::nullopt; }
};

HeadlessOperatorDialogs headless_dialogs;
std::atomic<OperatorDialogs*> installed_dialogs{nullptr};

// "ini", ".ini" and "*.ini" all give "ini"; a name whose dot ends it stays as given.
std::string BareExtension(const std::string& extension) {
  const auto dot = extension.find('.');
  if (dot == std::string::npos || dot + 1 == extension.size()) return extension;
  return extension.substr(dot + 1);
}

bool AskFile(FileDialogKind kind, const std::string& initial_directory,
             const std::string& extension, std::string& file_name,
             const std::string& proposed_file) {
  const std::string bare = BareExtension(extension);
  FileRequest request;
  request.kind = kind;
  request.title = kind == FileDialogKind::kOpen ? "Open File" : "Save File";
  request.directory = initial_directory;
  request.filter = "File Type (*." + bare + ")|*." + bare;
  request.default_suffix = bare;
  request.proposed_name = FileBaseName(proposed_file);
  const std::optional<std::string> chosen = ProcessDialogs().AskFile(request);
  if (!chosen) return false;
  file_name = *chosen;
  return true;
}

}  // namespace

OperatorDialogs& ProcessDialogs() {
  OperatorDialogs* dialogs = installed_dialogs.load();
  return dialogs ? *dialogs : headless_dialogs;
}

OperatorDialogs& HeadlessDialogs() {
  return headless_dialogs;
}

OperatorDialogs* InstallProcessDialogs(OperatorDialogs* dialogs) {
  return installed_dialogs.exchange(dialogs);
}

MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                          MessageButtons buttons, MessageIcon icon) {
  return ProcessDialogs().ShowMessage({text, caption, buttons, icon});
}

bool AskOpenFile(const std::string& initial_directory, const std::string& extension,
                 std::string& file_name, const std::string& proposed_file) {
  return AskFile(FileDialogKind::kOpen, initial_directory, extension, file_name, proposed_file);
}

bool AskSaveFile(const std::string& initial_directory, const std::string& extension,
                 std::string& file_name, const std::string& proposed_file) {
  return AskFile(FileDialogKind::kSave, initial_directory, extension, file_name, proposed_file);
}
