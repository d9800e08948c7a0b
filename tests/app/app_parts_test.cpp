// The operator program's pieces that need no running main window: its caption, its command
// line, its colours and the run-time menu helpers.

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "app/KesBorMenusUnit.h"
#include "app/ZorvAppCommandLine.h"
#include "app/ZorvAppMainUnit.h"
#include "app/ZorvQtColours.h"

class AppPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void captionNamesVersionEmulationSetupAndSimulation();
  void commandLine();
  void coloursAreBlueGreenRedWords();
  void menuItemsCarryNameTagAndHandler();
  void clearingAMenuDestroysEveryItem();
  void onlyAMenuItemIsAMenuItem();
};

void AppPartsTest::captionNamesVersionEmulationSetupAndSimulation() {
  const struct {
    bool edited;
    bool emulated;
    const char* last_setup_file;
    bool simulate;
    const char* caption;
  } cases[] = {
      {false, false, "", false, "ZorvApp  Ver 3.32  "},
      {true, false, "/data/PASS7.ZORV", false, "*ZorvApp  Ver 3.32  PASS7"},
      {false, true, "C:\\SETUPS\\DAY2.ZORV", false, "ZorvApp  Ver 3.32  EMULATED  DAY2"},
      {false, false, "", true, "ZorvApp  Ver 3.32    SIMULATION"},
      {true, true, "A.ZORV", true, "*ZorvApp  Ver 3.32  EMULATED  A  SIMULATION"},
  };
  for (const auto& c : cases) {
    QCOMPARE(MainCaption(c.edited, c.emulated, c.last_setup_file, c.simulate),
             std::string(c.caption));
  }
}

void AppPartsTest::commandLine() {
  const struct {
    std::vector<std::string> words;
    bool valid;
    const char* emulate;  // nullptr: not set
    const char* grab;
    bool help;
    bool version;
  } cases[] = {
      {{}, true, nullptr, nullptr, false, false},
      {{"--emulate", "2"}, true, "2", nullptr, false, false},
      {{"--emulate=/srv/pass.ini", "--grab", "main.png"},
       true,
       "/srv/pass.ini",
       "main.png",
       false,
       false},
      {{"--help"}, true, nullptr, nullptr, true, false},
      {{"--version"}, true, nullptr, nullptr, false, true},
      {{"--emulate"}, false, nullptr, nullptr, false, false},
      {{"--emulate="}, false, nullptr, nullptr, false, false},
      {{"--emulate", "1", "--emulate", "2"}, false, nullptr, nullptr, false, false},
      {{"--grab"}, false, nullptr, nullptr, false, false},
      {{"--open", "5"}, false, nullptr, nullptr, false, false},
      {{"--open", "12"}, false, nullptr, nullptr, false, false},
      {{"--simulate"}, false, nullptr, nullptr, false, false},
      {{"extra"}, false, nullptr, nullptr, false, false},
  };
  for (const auto& c : cases) {
    ZorvAppCommandLine line;
    std::string error;
    const bool valid = ParseZorvAppCommandLine(c.words, line, error);
    QCOMPARE(valid, c.valid);
    QCOMPARE(error.empty(), c.valid);
    if (!valid) continue;
    QCOMPARE(line.emulate.has_value(), c.emulate != nullptr);
    if (c.emulate) QCOMPARE(*line.emulate, std::string(c.emulate));
    QCOMPARE(line.grab.has_value(), c.grab != nullptr);
    if (c.grab) QCOMPARE(*line.grab, std::string(c.grab));
    QCOMPARE(line.help, c.help);
    QCOMPARE(line.version, c.version);
  }
  ZorvAppCommandLine line;
  std::string error;
  QVERIFY(ParseZorvAppCommandLine({"--open", "1", "--open=3"}, line, error));
  QCOMPARE(line.open_cards, (std::vector<int>{1, 3}));
  QVERIFY(AsksForHelpOrVersion({"--emulate", "2", "--help"}));
  QVERIFY(!AsksForHelpOrVersion({"--emulate", "2"}));
}

void AppPartsTest::coloursAreBlueGreenRedWords() {
  QCOMPARE(ToQColor(0xFF8000), QColor(0, 128, 255));
  QCOMPARE(ToQColor(0xFFFFFF), QColor(Qt::white));
  QCOMPARE(ToQColor(0x0000FF), QColor(Qt::red));
}

void AppPartsTest::menuItemsCarryNameTagAndHandler() {
  QMenu popup;
  std::vector<int> clicked_tags;
  const MenuClickHandler remember = [&](QAction& item) {
    clicked_tags.push_back(MenuItemTag(item));
  };
  QMenu* codes = AddSubMenu(popup, popup, "InputCode", 720, "Input Code");
  QAction* nrzl = AddMenuItem(popup, *codes, "CodeNrzL", remember, 0, "NRZ-L");
  QAction* biphase = AddMenuItem(popup, *codes, "CodeBiphase", remember, 5, "Bi-Phase-L");
  QAction* rate = AddMenuItem(popup, popup, "BitRate", remember, 1, "Bit Rate ");

  QCOMPARE(popup.actions().size(), 2);
  QCOMPARE(popup.actions()[0], codes->menuAction());
  QCOMPARE(codes->menuAction()->objectName(), QString("InputCode"));
  QCOMPARE(MenuItemTag(*codes->menuAction()), 720);
  QCOMPARE(codes->actions(), (QList<QAction*>{nrzl, biphase}));
  QCOMPARE(biphase->objectName(), QString("CodeBiphase"));
  QCOMPARE(biphase->text(), QString("Bi-Phase-L"));
  QCOMPARE(nrzl->parent(), &popup);

  biphase->trigger();
  rate->trigger();
  nrzl->trigger();
  QCOMPARE(clicked_tags, (std::vector<int>{5, 1, 0}));

  // An item without a handler does nothing when chosen.
  AddMenuItem(popup, popup, "Spacer", nullptr, 9, "-")->trigger();
  QCOMPARE(clicked_tags.size(), size_t{3});
}

void AppPartsTest::clearingAMenuDestroysEveryItem() {
  QMenu popup;
  QMenu* sources = AddSubMenu(popup, popup, "InputSource", 1, "Input Source");
  QPointer<QAction> first = AddMenuItem(popup, *sources, "Source1", nullptr, 0, "SE_INPUT 1");
  QPointer<QAction> second = AddMenuItem(popup, popup, "Quick", nullptr, 2, "Quick React Mode");
  QPointer<QMenu> submenu = sources;

  ClearMenuItems(popup);
  QVERIFY(popup.actions().isEmpty());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QVERIFY(submenu.isNull());
  QVERIFY(second.isNull());
  // The submenu's own items went with it.
  QVERIFY(first.isNull());
}

void AppPartsTest::onlyAMenuItemIsAMenuItem() {
  QMenu popup;
  QAction* item = AddMenuItem(popup, popup, "Item", nullptr, 0, "Item");
  QCOMPARE(AsMenuItem(item), item);
  QCOMPARE(AsMenuItem(&popup), static_cast<QAction*>(nullptr));
  QCOMPARE(AsMenuItem(nullptr), static_cast<QAction*>(nullptr));
}

QTEST_MAIN(AppPartsTest)
#include "app_parts_test.moc"
