#include "app/QtOperatorDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QThread>

#include "platform/process.h"

namespace {

bool Headless() {
  return platform::EnvironmentVariable("ZORV_HEADLESS").value_or("") == "1";
}

// Widgets live on the user-interface thread only.
template <typename Result, typename Show>
Result OnInterfaceThread(Show show) {
  if (QThread::currentThread() == qApp->thread()) return show();
  Result result{};
  QMetaObject::invokeMethod(
      qApp, [&] { result = show(); }, Qt::BlockingQueuedConnection);
  return result;
}

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

MessageAnswer Answer(int button) {
  switch (button) {
    case QMessageBox::Yes:
      return MessageAnswer::kYes;
    case QMessageBox::No:
      return MessageAnswer::kNo;
    case QMessageBox::Ok:
      return MessageAnswer::kOk;
    default:
      return MessageAnswer::kCancel;
  }
}

// "File Type (*.ZORV)|*.ZORV" names its pattern in its description, which is Qt's form.
QString QtFilter(const std::string& filter) {
  return QString::fromStdString(filter.substr(0, filter.find('|')));
}

}  // namespace

MessageAnswer QtOperatorDialogs::ShowMessage(const MessageRequest& request) {
  if (Headless()) return HeadlessDialogs().ShowMessage(request);
  return OnInterfaceThread<MessageAnswer>([&] {
    QMessageBox box(QtIcon(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text),
                    request.buttons == MessageButtons::kOk
                        ? QMessageBox::Ok
                        : QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    QApplication::activeWindow());
    return Answer(box.exec());
  });
}

std::optional<std::string> QtOperatorDialogs::AskFile(const FileRequest& request) {
  if (Headless()) return HeadlessDialogs().AskFile(request);
  return OnInterfaceThread<std::optional<std::string>>([&]() -> std::optional<std::string> {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                       QString::fromStdString(request.directory), QtFilter(request.filter));
    const bool open = request.kind == FileDialogKind::kOpen;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromStdString(request.default_suffix));
    dialog.selectFile(QString::fromStdString(request.proposed_name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
  });
}

std::optional<std::string> QtOperatorDialogs::AskText(const TextRequest& request) {
  if (Headless()) return HeadlessDialogs().AskText(request);
  return OnInterfaceThread<std::optional<std::string>>([&]() -> std::optional<std::string> {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    dialog.setLabelText(QString::fromStdString(request.prompt));
    dialog.setTextValue(QString::fromStdString(request.proposed));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
  });
}
