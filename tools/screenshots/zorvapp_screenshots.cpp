// Pictures of ZorvApp for the operator's guide, made again after any change to the windows:
// the real main window, card windows and link monitor on three emulated cards, driven to each
// state an operator sees and grabbed by the program's own window grab, or from the screen where
// a menu stands open over a window.
// Usage: zorvapp_screenshots OUTPUT_FOLDER   (scripts/screenshots runs it under xvfb-run)

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "app/BitsyncLaMmiUnit.h"
#include "app/BitsyncMmiUnit.h"
#include "app/IrigReaderMmiUnit.h"
#include "app/ZorvAppMainUnit.h"
#include "app/ZorvMmiUnit.h"
#include "platform/process.h"

namespace {

// Card 1's signal comes and goes; card 2 is a plain card; card 3 has no bitsync module.
constexpr const char* kScenario =
    "[Bus]\r\nCards=3\r\n[Card0]\r\nSignalSchedule=on 12, off 3\r\n"
    // A module that reports its lock at every poll (newer ones answer every fourth).
    "Configuration=0x00,0x00,0x4E,0x07,0x07,0x0D\r\n[Card1]\r\n[Card2]\r\nModule=absent\r\n";

// When the first card's signal is away, counted from the library's load.
constexpr int kSignalAwayMs = 13500;
// A pass a quarter of a minute long with one loss of lock, for the link monitor.
constexpr int kMonitorMs = 18000;
// Long enough for a menu to be laid out and drawn.
constexpr int kMenuOpenMs = 300;

// The main window's timer runs the card windows as in service meanwhile.
void RunFor(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

class Pictures {
 public:
  explicit Pictures(const QDir& folder) : folder_(folder) {}
  bool AllSaved() const { return all_saved_; }

  // The window as the program draws it.
  void Window(QWidget& window, const char* name) { Save(window.grab(), name); }

  // What the screen shows of these windows together: a window with its menus open.
  void Screen(std::initializer_list<QWidget*> windows, const char* name) {
    QRect area;
    for (QWidget* window : windows) {
      if (window && window->isVisible()) area = area.united(window->frameGeometry());
    }
    Save(QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                      area.height()),
         name);
  }

 private:
  void Save(const QPixmap& picture, const char* name) {
    const QString path = folder_.filePath(name);
    if (!picture.save(path, "PNG")) {
      std::fprintf(stderr, "zorvapp_screenshots: could not write %s\n", qPrintable(path));
      all_saved_ = false;
      return;
    }
    std::printf("%s\n", qPrintable(path));
  }

  QDir folder_;
  bool all_saved_ = true;
};

// Closes every menu that stands open.
void CloseMenus() {
  while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  RunFor(kMenuOpenMs);
}

// Opens one of the main window's menus as a click on the menu bar does.
QMenu* OpenMenuBarMenu(TZorvAppMainForm& main_form, int index) {
  QAction* item = main_form.menuBar()->actions().at(index);
  main_form.menuBar()->setActiveAction(item);
  RunFor(kMenuOpenMs);
  return item->menu();
}

// Right-clicks a panel near its top left corner and opens the named submenu of its menu.
QMenu* RightClick(QWidget& panel, QMenu& menu, const char* submenu) {
  const QPoint at(40, 30);
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, panel.mapToGlobal(at));
  QApplication::sendEvent(&panel, &click);
  RunFor(kMenuOpenMs);
  auto* item = menu.findChild<QAction*>(submenu);
  menu.setActiveAction(item);
  RunFor(kMenuOpenMs);
  return item->menu();
}

// Runs the program until the given time since the start of the pictures.
void RunUntil(const QElapsedTimer& since_start, int milliseconds) {
  const auto left = milliseconds - since_start.elapsed();
  if (left > 0) RunFor(static_cast<int>(left));
}

bool MakePictures(const QDir& output) {
  Pictures pictures(output);
  TZorvAppMainForm main_form(ZorvAppParts{DefaultDllLocations(), TZorvMmiForm::Factory(), ""});
  QElapsedTimer since_start;
  since_start.start();
  main_form.show();
  main_form.CardSetupClick(0);
  auto* card = dynamic_cast<TZorvMmiForm*>(main_form.CardWindow(0));
  if (!card) {
    std::fprintf(stderr, "zorvapp_screenshots: no card window\n");
    return false;
  }
  RunFor(3000);
  pictures.Window(main_form, "zorvapp-main-window.png");
  pictures.Window(*card, "zorvapp-card-bitsync.png");
  const char* const menu_pictures[] = {"zorvapp-menu-file.png", "zorvapp-menu-setup.png",
                                       "zorvapp-menu-view.png"};
  for (int menu = 0; menu < 3; ++menu) {
    pictures.Screen({&main_form, OpenMenuBarMenu(main_form, menu)}, menu_pictures[menu]);
    CloseMenus();
  }

  QMenu& bitsync_menu = card->BitsyncPanel().Menu();
  QMenu* bandwidths = RightClick(card->BitsyncPanel(), bitsync_menu, "SubMenuLoopBandwidth");
  pictures.Screen({card, &bitsync_menu, bandwidths}, "zorvapp-bitsync-menu.png");
  CloseMenus();

  card->Tabs().setCurrentIndex(kIrigTab);
  RunFor(1000);
  pictures.Window(*card, "zorvapp-card-irig.png");
  QMenu& irig_menu = card->IrigPanel().Menu();
  QMenu* irig_codes = RightClick(card->IrigPanel(), irig_menu, "IrigCode");
  pictures.Screen({card, &irig_menu, irig_codes}, "zorvapp-irig-menu.png");
  CloseMenus();

  // A card without its bitsync module: the strip says so and the card refuses the setups.
  main_form.CardSetupClick(2);
  RunFor(3000);
  if (QWidget* no_module = dynamic_cast<QWidget*>(main_form.CardWindow(2))) {
    pictures.Window(*no_module, "zorvapp-card-no-module.png");
    no_module->close();
  }

  card->Tabs().setCurrentIndex(kBitsyncTab);
  RunUntil(since_start, kSignalAwayMs);
  pictures.Window(*card, "zorvapp-card-no-signal.png");

  main_form.OpenMonitor(0);
  RunUntil(since_start, kMonitorMs);
  pictures.Window(*main_form.MonitorWindow(0), "zorvapp-monitor.png");
  main_form.MonitorWindow(0)->close();

  // A bit error test against the internal pattern with forced errors, as the operator starts
  // it from the panel's menu.
  card->Tabs().setCurrentIndex(kBuiltInTestTab);
  QMenu& test_menu = card->LinkAnalysisPanel().Menu();
  test_menu.findChild<QAction*>("Internal")->trigger();
  test_menu.findChild<QAction*>("ForcedError")->trigger();
  RunFor(6000);
  pictures.Window(*card, "zorvapp-card-built-in-test.png");
  QMenu* sources = RightClick(card->LinkAnalysisPanel(), test_menu, "PatternSource");
  pictures.Screen({card, &test_menu, sources}, "zorvapp-built-in-test-menu.png");
  CloseMenus();
  main_form.close();
  return pictures.AllSaved();
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
  const bool saved = MakePictures(output);
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(station);
  return saved ? 0 : 1;
}
