#include <QApplication>
#include <QTimer>
#include <iostream>
#include <string>
#include <vector>

#include "app/QtOperatorDialogs.h"
#include "app/ZorvAppCommandLine.h"
#include "app/ZorvAppMainUnit.h"
#include "app/Zorvglobunit.h"
#include "platform/interrupts.h"
#include "platform/process.h"

namespace {

constexpr int kInterruptPollMs = 200;
constexpr int kGrabDelayMs = 1000;

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
    TZorvAppMainForm main_form(ZorvAppParts{});
    main_form.show();
    QTimer interrupts;
    QObject::connect(&interrupts, &QTimer::timeout, &main_form, [&main_form] {
      if (platform::InterruptRequested()) main_form.close();
    });
    interrupts.start(kInterruptPollMs);
    if (line.grab) {
      QTimer::singleShot(kGrabDelayMs, &main_form, [&main_form, file = *line.grab] {
        if (!main_form.grab().save(QString::fromStdString(file), "PNG")) {
          std::cerr << "ZorvApp: could not save the picture to " << file << "\n";
        }
      });
    }
    status = QApplication::exec();
  }
  InstallProcessDialogs(nullptr);
  return status;
}
