#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/QtOperatorDialogs.h"
#include "app/ZorvAppCommandLine.h"
#include "app/ZorvAppMainUnit.h"
#include "app/ZorvMmiUnit.h"
#include "app/Zorvglobunit.h"
#include "platform/interrupts.h"
#include "platform/process.h"

namespace {

constexpr int kInterruptPollMs = 200;
// Long enough for a card window to show a running IRIG time and a lock state read.
constexpr int kGrabDelayMs = 3000;

std::vector<std::string> Words(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

int RefuseUsage(const std::string& error) {
  std::cerr << "ZorvApp: " << error << "\n" << ZorvAppUsage();
  return 2;
}

// The help and the version are answered before Qt starts, so they need no display.
int AnswerHelpOrVersion(const std::vector<std::string>& words) {
  ZorvAppCommandLine line;
  std::string error;
  if (!ParseZorvAppCommandLine(words, line, error)) return RefuseUsage(error);
  if (line.help) {
    std::cout << ZorvAppUsage();
  } else {
    std::cout << "ZorvApp " << kZorvAppVersion << "\n";
  }
  return 0;
}

void SavePicture(QWidget& window, const QString& file) {
  if (!window.grab().save(file, "PNG")) {
    std::cerr << "ZorvApp: could not save the picture to " << file.toStdString() << "\n";
  }
}

// The main window to the file, each open card window beside it.
void SavePictures(TZorvAppMainForm& main_form, const std::string& file) {
  const QFileInfo main_file(QString::fromStdString(file));
  SavePicture(main_form, main_file.filePath());
  for (int32_t card = 0; card < kMaxProgramCards; ++card) {
    auto* window = dynamic_cast<QWidget*>(main_form.CardWindow(card));
    if (!window || !window->isVisible()) continue;
    const QString name = QString("%1-card%2.%3")
                             .arg(main_file.completeBaseName())
                             .arg(card + 1)
                             .arg(main_file.suffix().isEmpty() ? "png" : main_file.suffix());
    SavePicture(*window, main_file.dir().filePath(name));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelpOrVersion(Words(argc, argv))) return AnswerHelpOrVersion(Words(argc, argv));
  QApplication application(argc, argv);  // takes Qt's own options out of the arguments
  ZorvAppCommandLine line;
  std::string error;
  if (!ParseZorvAppCommandLine(Words(argc, argv), line, error)) return RefuseUsage(error);
  if (line.emulate) platform::SetEnvironmentVariable("ZORV_EMULATE", *line.emulate);
  QtOperatorDialogs dialogs;
  InstallProcessDialogs(&dialogs);
  // A termination request (Ctrl+C in a terminal, a shutting-down system) closes the program
  // as its operator would, so that the setups are written back to the configuration file.
  platform::CatchInterrupts();
  int status = 0;
  {
    TZorvAppMainForm main_form(
        ZorvAppParts{DefaultDllLocations(), TZorvMmiForm::Factory(), line.metrics.value_or("")});
    main_form.show();
    QTimer interrupts;
    QObject::connect(&interrupts, &QTimer::timeout, &main_form, [&main_form] {
      if (platform::InterruptRequested()) main_form.close();
    });
    interrupts.start(kInterruptPollMs);
    for (const int card : line.open_cards) main_form.CardSetupClick(card - 1);
    if (line.grab) {
      QTimer::singleShot(kGrabDelayMs, &main_form,
                         [&main_form, file = *line.grab] { SavePictures(main_form, file); });
    }
    status = QApplication::exec();
    // A card thread is still inside the library: end now, without unloading it under the call.
    if (main_form.CardThreadsLeftRunning()) std::_Exit(status);
  }
  InstallProcessDialogs(nullptr);
  return status;
}
