// Pictures of ZorvApp for the operator's guide, made again after any change to the windows:
// the real main window and card window on two emulated cards, driven to each state an operator
// sees and grabbed by the program's own window grab.
// Usage: zorvapp_screenshots OUTPUT_FOLDER   (scripts/screenshots runs it under xvfb-run)

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QTabBar>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/BitsyncLaMmiUnit.h"
#include "app/ZorvAppMainUnit.h"
#include "app/ZorvMmiUnit.h"
#include "platform/process.h"

namespace {

constexpr const char* kScenario =
    "[Bus]\r\nCards=2\r\n[Card0]\r\nSignalSchedule=on 12, off 3\r\n"
    // A module that reports its lock at every poll (newer ones answer every fourth).
    "Configuration=0x00,0x00,0x4E,0x07,0x07,0x0D\r\n[Card1]\r\n";

// The main window's timer runs the card windows as in service meanwhile.
void RunFor(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Save(QWidget& window, const QDir& folder, const char* name) {
  const QString path = folder.filePath(name);
  if (!window.grab().save(path, "PNG")) {
    std::fprintf(stderr, "zorvapp_screenshots: could not write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: zorvapp_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QDir output(QDir::current().absoluteFilePath(argv[1]));
  // The program's files go to a folder of their own, not into the guide.
  const std::filesystem::path station =
      std::filesystem::temp_directory_path() /
      ("zorvapp_screenshots_" + std::to_string(platform::ProcessId()));
  std::filesystem::create_directories(station);
  std::filesystem::current_path(station);
  const std::filesystem::path scenario = station / "screenshots.ini";
  std::ofstream(scenario, std::ios::binary) << kScenario;
  platform::SetEnvironmentVariable("ZORV_EMULATE", scenario.string());
  // Cards as they power up, whatever an earlier run left on them.
  platform::SetEnvironmentVariable("ZORV_EMULATE_FRESH", "1");
  platform::SetEnvironmentVariable("ZORV_HEADLESS", "1");

  QApplication application(argc, argv);
  bool saved = true;
  {
    TZorvAppMainForm main_form(ZorvAppParts{DefaultDllLocations(), TZorvMmiForm::Factory(), ""});
    main_form.show();
    main_form.CardSetupClick(0);
    auto* card = dynamic_cast<TZorvMmiForm*>(main_form.CardWindow(0));
    if (!card) {
      std::fprintf(stderr, "zorvapp_screenshots: no card window\n");
      return 1;
    }
    RunFor(3000);
    saved = Save(main_form, output, "zorvapp-main-window.png") && saved;
    saved = Save(*card, output, "zorvapp-card-bitsync.png") && saved;
    card->Tabs().setCurrentIndex(kIrigTab);
    RunFor(1000);
    saved = Save(*card, output, "zorvapp-card-irig.png") && saved;
    // The link monitor a quarter of a minute into the pass; the first card's signal is
    // scheduled to go away from 12 s to 15 s after the library loads.
    main_form.OpenMonitor(0);
    RunFor(14000);
    saved = Save(*main_form.MonitorWindow(0), output, "zorvapp-monitor.png") && saved;
    // A bit error test against the internal pattern with forced errors, as the operator
    // starts it from the panel's menu.
    card->Tabs().setCurrentIndex(kBuiltInTestTab);
    QMenu& menu = card->LinkAnalysisPanel().Menu();
    menu.findChild<QAction*>("Internal")->trigger();
    menu.findChild<QAction*>("ForcedError")->trigger();
    RunFor(6000);
    saved = Save(*card, output, "zorvapp-card-built-in-test.png") && saved;
    main_form.close();
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(station);
  return saved ? 0 : 1;
}
