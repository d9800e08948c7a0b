// The operator program's main window on the real widgets, offscreen: with the built library on
// emulated cards where that is the natural surface, with the fake library and fake card windows
// where a count or a fault must be seen.

#include <QAction>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ZorvAppMainUnit.h"
#include "app/ZorvSetupFiles.h"
#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "support/KesBorFilesUnit.h"
#include "support/keserrorlog.h"
#include "tests/app/FakeCardWindow.h"
#include "tests/app/WindowTestEnvironment.h"
#include "tests/common/SpeakerProbe.h"
#include "tests/dll/library_log.h"

namespace {

using zorv_test::LogEntry;

bool Has(const std::vector<LogEntry>& entries, int32_t code, const std::string& text) {
  return std::find(entries.begin(), entries.end(), LogEntry{code, text}) != entries.end();
}

bool EndsWith(const QString& text, const QString& end) {
  return text.endsWith(end);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void startsOnTwoEmulatedCardsAndShutsDownInOrder();
  void startsInSimulationWithoutCards();
  void ctrlZSwitchesBetweenSimulatedAndLiveData();
  void aBusyCardHoldsBackTheSwitch();
  void cardItemsOpenOneWindowPerCard();
  void timerDrivesTheOpenWindows();
  void saveAsSaveAndRecallRoundTrip();
  void recallAsksBeforeDiscardingEdits();
  void recallOfAMissingFileSaysInvalidFile();
  void aSetupFileThatCannotBeWrittenKeepsTheEdits();
  void aReadOnlySetupFileIsReported();
  void configurationFileRestoresTheLastSetup();
  void aSecondProgramIsRefused();

 private:
  FakeZorvDllState& InstallFake(int32_t card_count);
  TZorvAppMainForm& Start(const DllLocations& locations);
  TZorvAppMainForm& StartOnFake(int32_t card_count) {
    InstallFake(card_count);
    return Start({kLibraryFile, kLibraryFile, ""});
  }
  FakeCardWindow& OpenWindow(int32_t card);
  std::vector<LogEntry> AppLog() const { return zorv_test::ReadLogEntries(Path("ZorvApp.Log")); }
  std::string Path(const std::string& name) const { return env_->Path(name); }
  static std::string ReadSetting(const std::string& file, const std::string& section,
                                 const std::string& key);
  QString Caption() const { return form_->windowTitle(); }

  std::unique_ptr<WindowTestEnvironment> env_;
  FakeZorvDllState* fake_ = nullptr;
  FakeCardWindowLog windows_;
  std::unique_ptr<TZorvAppMainForm> form_;
};

void MainWindowTest::init() {
  env_ = std::make_unique<WindowTestEnvironment>("zorv_app_window");
  windows_ = {};
  fake_ = nullptr;
}

void MainWindowTest::cleanup() {
  form_.reset();
  env_.reset();
}

FakeZorvDllState& MainWindowTest::InstallFake(int32_t card_count) {
  fake_ = &env_->InstallFake(card_count);
  return *fake_;
}

TZorvAppMainForm& MainWindowTest::Start(const DllLocations& locations) {
  form_ = std::make_unique<TZorvAppMainForm>(
      ZorvAppParts{locations, FakeCardWindow::Factory(windows_), ""});
  form_->show();
  // Ctrl+Z reaches the active window.
  form_->activateWindow();
  if (!QTest::qWaitForWindowActive(form_.get())) qFatal("the main window is not active");
  // The test drives the timer itself.
  form_->Timer().stop();
  return *form_;
}

FakeCardWindow& MainWindowTest::OpenWindow(int32_t card) {
  form_->CardAction(card)->trigger();
  auto* window = dynamic_cast<FakeCardWindow*>(form_->CardWindow(card));
  if (!window) qFatal("no window for card index %d", card);
  return *window;
}

std::string MainWindowTest::ReadSetting(const std::string& file, const std::string& section,
                                        const std::string& key) {
  std::string value;
  return ReadSettingText(file, section, key, value) ? value : "(absent)";
}

void MainWindowTest::startsOnTwoEmulatedCardsAndShutsDownInOrder() {
  platform::SetEnvironmentVariable("ZORV_EMULATE", "2");
  TZorvAppMainForm& form = Start({ZORVDLL_PATH, ZORVDLL_PATH, ""});
  QCOMPARE(form.Zorv()->card_count, 2);
  for (int32_t card = 0; card < 4; ++card) QCOMPARE(form.CardAction(card)->isVisible(), card < 2);
  QCOMPARE(Caption(), QString("ZorvApp  Ver 3.32  EMULATED  "));
  QVERIFY(form.State().may_switch);
  QCOMPARE(form.pos(), QPoint(10, 10));
  const std::vector<LogEntry> start = AppLog();
  QVERIFY(Has(start, 0, "------------------PROGRAM START--------------------"));
  QVERIFY(Has(start, 0, "Found 2 in the machine."));

  form.close();
  // The configuration file holds both cards, the library let its cards go and closed its log,
  // and the program's log ends with its banner.
  const std::string configuration = ConfigurationFilePath();
  QCOMPARE(ReadSetting(configuration, "CommonArea", "LastSetupFile"), std::string());
  QCOMPARE(ReadSetting(configuration, "BITSYNC_1", "BitRate"), std::string("1024000"));
  QCOMPARE(ReadSetting(configuration, "IRIG_1", "SourceFormat"), std::string("IRIG B"));
  QCOMPARE(ReadSetting(configuration, "BITSYNC_2", "BitRate"), std::string("(absent)"));
  QVERIFY(form.Zorv() == nullptr);
  const std::vector<LogEntry> library = zorv_test::ReadLogEntries(Path("ZORVDLL.Log"));
  QVERIFY(!library.empty());
  QCOMPARE(library.back().text, std::string("--------------------DLL END----------------------"));
  QCOMPARE(AppLog().back().text, std::string("------------------PROGRAM END--------------------"));
}

void MainWindowTest::startsInSimulationWithoutCards() {
  TZorvAppMainForm& form = StartOnFake(0);
  QCOMPARE(form.Zorv()->card_count, 3);
  for (int32_t card = 0; card < 4; ++card) QCOMPARE(form.CardAction(card)->isVisible(), card < 3);
  QVERIFY(EndsWith(Caption(), "  SIMULATION"));
  QVERIFY(!form.State().may_switch);
  QVERIFY(Has(AppLog(), 1,
              "Cannot change from simulate mode because there are no ZORV cards in the machine"));

  zorv_test::SpeakerProbe speaker(env_->clock);
  QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
  const int64_t ms = speaker.MillisecondsOf([&] { form.Timer5HzTimer(); });
  QCOMPARE(ms, zorv_test::kClickBeepMs);
  QVERIFY(form.Zorv()->simulate);
  QCOMPARE(fake_->open_calls, 1);
  QVERIFY(EndsWith(Caption(), "  SIMULATION"));
}

void MainWindowTest::ctrlZSwitchesBetweenSimulatedAndLiveData() {
  TZorvAppMainForm& form = StartOnFake(2);
  QVERIFY(!EndsWith(Caption(), "  SIMULATION"));
  const struct {
    bool simulate;
    const char* line;
  } switches[] = {{true, "Changed program to SIMULATE data"},
                  {false, "Changed program to LIVE data"}};
  int32_t reopened = 1;
  for (const auto& expected : switches) {
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    form.Timer5HzTimer();
    ++reopened;
    QCOMPARE(form.Zorv()->simulate, expected.simulate);
    QCOMPARE(EndsWith(Caption(), "  SIMULATION"), expected.simulate);
    QVERIFY(Has(AppLog(), 0, expected.line));
    QCOMPARE(fake_->open_calls, reopened);
    QCOMPARE(fake_->close_calls, reopened - 1);
  }
  // Without the key nothing switches.
  form.Timer5HzTimer();
  QCOMPARE(fake_->open_calls, reopened);
}

// The library is reopened only while no card thread is inside it.
void MainWindowTest::aBusyCardHoldsBackTheSwitch() {
  TZorvAppMainForm& form = StartOnFake(2);
  FakeCardWindow& first = OpenWindow(0);
  FakeCardWindow& second = OpenWindow(1);
  second.busy = true;
  QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
  form.Timer5HzTimer();
  QVERIFY(!form.Zorv()->simulate);
  QCOMPARE(fake_->open_calls, 1);
  QVERIFY(Has(AppLog(), 1, "Cannot change between SIMULATE and LIVE data while card 2 is busy"));
  QCOMPARE(first.releases, first.holds);
  QCOMPARE(second.releases, second.holds);

  second.busy = false;
  QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
  form.Timer5HzTimer();
  QVERIFY(form.Zorv()->simulate);
  QCOMPARE(fake_->open_calls, 2);
  QCOMPARE(first.holds, 2);
  QCOMPARE(first.releases, 2);
  // Reopened: every window loads its setups again.
  QCOMPARE(first.reloads, 2);
}

void MainWindowTest::cardItemsOpenOneWindowPerCard() {
  TZorvAppMainForm& form = StartOnFake(2);
  FakeCardWindow& window = OpenWindow(1);
  QCOMPARE(windows_.created, 1);
  QCOMPARE(window.reloads, 1);
  QCOMPARE(fake_->bitsync_setup_loads, 1);
  QCOMPARE(fake_->irig_setup_loads, 1);
  QCOMPARE(window.colours.background, ZorvColours{}.background);

  // Chosen again: the same window comes to the front.
  form.CardAction(1)->trigger();
  QCOMPARE(windows_.created, 1);
  QCOMPARE(windows_.brought_to_front, 1);

  // Closed by its operator, then chosen again: a new window.
  window.closed = true;
  form.CardAction(1)->trigger();
  QCOMPARE(windows_.deleted, 1);
  QCOMPARE(windows_.created, 2);

  // A closed window goes on the next tick.
  OpenWindow(0).closed = true;
  form.Timer5HzTimer();
  QVERIFY(form.CardWindow(0) == nullptr);
  QVERIFY(form.CardWindow(1) != nullptr);
}

void MainWindowTest::timerDrivesTheOpenWindows() {
  TZorvAppMainForm& form = StartOnFake(2);
  FakeCardWindow& first = OpenWindow(0);
  FakeCardWindow& second = OpenWindow(1);
  for (int tick = 0; tick < 10; ++tick) form.Timer5HzTimer();
  for (const FakeCardWindow* window : {&first, &second}) {
    QCOMPARE(window->ticks, 10);
    QCOMPARE(window->fifth_ticks, 2);
  }
  // An operator's change in a card window marks the setup edited.
  QVERIFY(!Caption().startsWith("*"));
  second.edited = true;
  form.Timer5HzTimer();
  QVERIFY(form.Edited());
  QVERIFY(Caption().startsWith("*ZorvApp  Ver 3.32"));
}

void MainWindowTest::saveAsSaveAndRecallRoundTrip() {
  TZorvAppMainForm& form = StartOnFake(2);
  CardData& card = form.Zorv()->cards[1];
  card.bitsync_setup.BitRate = 2048000;
  card.irig_setup.SourceFormat = 1;

  // Save without a setup file asks for one.
  const std::string chosen = Path("pass7.zorv");
  env_->dialogs.file_answers.push_back(chosen);
  form.Save1Click();
  QCOMPARE(env_->dialogs.files.size(), size_t{1});
  const FileRequest& save = env_->dialogs.files[0];
  QCOMPARE(save.kind, FileDialogKind::kSave);
  QCOMPARE(save.title, std::string("Save File"));
  QCOMPARE(save.directory, std::string(StartDirectory));
  QCOMPARE(save.filter, std::string("File Type (*.ZORV)|*.ZORV"));
  QCOMPARE(save.default_suffix, std::string("ZORV"));
  const std::string kept = SetupFilePathAsKept(chosen);
  QCOMPARE(form.LastSetupFile(), kept);
  QCOMPARE(ReadSetting(kept, "BITSYNC_1", "BitRate"), std::string("2048000"));
  QCOMPARE(ReadSetting(ConfigurationFilePath(), "CommonArea", "LastSetupFile"), kept);
  QVERIFY(Caption().endsWith(QString::fromStdString("  " + FileBaseName(kept))));

  // Save again writes the same file without asking.
  card.bitsync_setup.BitRate = 4096000;
  form.Save1Click();
  QCOMPARE(env_->dialogs.files.size(), size_t{1});
  QCOMPARE(ReadSetting(kept, "BITSYNC_1", "BitRate"), std::string("4096000"));

  // Recall brings the file's setups back and programs them through the card windows.
  FakeCardWindow& window = OpenWindow(1);
  card.bitsync_setup.BitRate = 5000;
  card.irig_setup.SourceFormat = 2;
  env_->dialogs.message_answers.push_back(MessageAnswer::kNo);
  window.edited = true;
  env_->dialogs.file_answers.push_back(kept);
  form.Recall1Click();
  QCOMPARE(env_->dialogs.messages.size(), size_t{1});
  const FileRequest& open = env_->dialogs.files[1];
  QCOMPARE(open.kind, FileDialogKind::kOpen);
  QCOMPARE(open.title, std::string("Open File"));
  QCOMPARE(open.proposed_name, FileBaseName(kept));
  QCOMPARE(card.bitsync_setup.BitRate, 4096000);
  QCOMPARE(card.irig_setup.SourceFormat, 1);
  const FakeZorvDllState& fake = *fake_;
  QCOMPARE(fake.bitsync_setups[fake.bitsync_setup_loads - 1].BitRate, 4096000);
  QCOMPARE(fake.irig_setups[fake.irig_setup_loads - 1].SourceFormat, 1);
  QCOMPARE(window.refreshes, 1);
  QVERIFY(!form.Edited());
  QVERIFY(!Caption().startsWith("*"));
}

void MainWindowTest::recallAsksBeforeDiscardingEdits() {
  TZorvAppMainForm& form = StartOnFake(2);
  FakeCardWindow& window = OpenWindow(0);
  window.edited = true;
  form.Timer5HzTimer();

  env_->dialogs.message_answers.push_back(MessageAnswer::kCancel);
  form.Recall1Click();
  QCOMPARE(env_->dialogs.messages.size(), size_t{1});
  QCOMPARE(env_->dialogs.messages[0].text,
           std::string("Setup Edited Without Saving.  Save First?"));
  QCOMPARE(env_->dialogs.messages[0].caption, std::string("SAVE"));
  QVERIFY(env_->dialogs.messages[0].buttons == MessageButtons::kYesNoCancel);
  QVERIFY(env_->dialogs.files.empty());

  // Yes, but the save is cancelled in its file dialog: the edits stay and nothing is recalled.
  env_->dialogs.message_answers.push_back(MessageAnswer::kYes);
  form.Recall1Click();
  QCOMPARE(env_->dialogs.files.size(), size_t{1});
  QVERIFY(env_->dialogs.files[0].kind == FileDialogKind::kSave);
  QVERIFY(form.Edited());

  // Yes saves first, then asks for the file to recall.
  const std::string saved = Path("before.zorv");
  env_->dialogs.message_answers.push_back(MessageAnswer::kYes);
  env_->dialogs.file_answers = {saved, std::nullopt};
  form.Recall1Click();
  QCOMPARE(env_->dialogs.files.size(), size_t{3});
  QVERIFY(env_->dialogs.files[2].kind == FileDialogKind::kOpen);
  QVERIFY(std::filesystem::exists(SetupFilePathAsKept(saved)));
  QVERIFY(!form.Edited());
  QVERIFY(!window.edited);
}

void MainWindowTest::recallOfAMissingFileSaysInvalidFile() {
  TZorvAppMainForm& form = StartOnFake(2);
  form.Zorv()->cards[0].bitsync_setup.BitRate = 3000000;
  env_->dialogs.file_answers.push_back(Path("NOSUCH.ZORV"));
  zorv_test::SpeakerProbe speaker(env_->clock);
  const int64_t ms = speaker.MillisecondsOf([&] { form.Recall1Click(); });
  QCOMPARE(ms, zorv_test::kErrorBeepMs);
  QCOMPARE(env_->dialogs.messages.size(), size_t{1});
  QCOMPARE(env_->dialogs.messages[0].text, std::string("INVALID SETUP FILE..ABORT LOAD"));
  QCOMPARE(env_->dialogs.messages[0].caption, std::string("INVALID FILE"));
  QCOMPARE(form.LastSetupFile(), std::string());
  QCOMPARE(form.Zorv()->cards[0].bitsync_setup.BitRate, 3000000);
}

void MainWindowTest::aSetupFileThatCannotBeWrittenKeepsTheEdits() {
  TZorvAppMainForm& form = StartOnFake(2);
  OpenWindow(0).edited = true;
  form.Timer5HzTimer();
  env_->dialogs.file_answers.push_back(Path("gone/PASS.ZORV"));
  form.SaveAs1Click();
  QCOMPARE(env_->dialogs.messages.size(), size_t{1});
  QCOMPARE(env_->dialogs.messages[0].caption, std::string("ERROR"));
  QVERIFY(form.Edited());
  QVERIFY(Caption().startsWith("*"));
  // The configuration file is written all the same.
  QCOMPARE(ReadSetting(ConfigurationFilePath(), "BITSYNC_0", "BitRate"), std::string("1024000"));
}

void MainWindowTest::aReadOnlySetupFileIsReported() {
  TZorvAppMainForm& form = StartOnFake(2);
  const std::string file = Path("LOCKED.ZORV");
  env_->dialogs.file_answers.push_back(file);
  form.SaveAs1Click();
  std::filesystem::permissions(SetupFilePathAsKept(file), std::filesystem::perms::owner_read);
  if (!IsFileWriteProtected(SetupFilePathAsKept(file))) {
    QSKIP("read-only files are writable for this user (root)");
  }
  form.Zorv()->cards[0].bitsync_setup.BitRate = 9600;
  form.Save1Click();
  QCOMPARE(env_->dialogs.messages.size(), size_t{1});
  QCOMPARE(env_->dialogs.messages[0].text,
           std::string("The file is set to Read Only.  Fix it before saving the file"));
  QCOMPARE(ReadSetting(SetupFilePathAsKept(file), "BITSYNC_0", "BitRate"), std::string("1024000"));
  QCOMPARE(ReadSetting(ConfigurationFilePath(), "BITSYNC_0", "BitRate"), std::string("9600"));
}

void MainWindowTest::configurationFileRestoresTheLastSetup() {
  {
    TZorvAppMainForm& form = StartOnFake(2);
    form.Zorv()->cards[1].bitsync_setup.BitRate = 64000;
    env_->dialogs.file_answers.push_back(Path("DAY2.ZORV"));
    form.SaveAs1Click();
    form.close();
    form_.reset();
  }
  env_->RemoveFake();
  TZorvAppMainForm& form = StartOnFake(2);
  QCOMPARE(form.LastSetupFile(), SetupFilePathAsKept(Path("DAY2.ZORV")));
  QCOMPARE(form.Zorv()->cards[1].bitsync_setup.BitRate, 64000);
  QVERIFY(Caption().endsWith(QString::fromStdString("  " + FileBaseName(form.LastSetupFile()))));
}

void MainWindowTest::aSecondProgramIsRefused() {
  StartOnFake(2);
  const size_t log_size = AppLog().size();
  platform::SetEnvironmentVariable("ZORV_HEADLESS", "1");
  platform::SetEnvironmentVariable("QT_QPA_PLATFORM", "offscreen");
  const platform::ProgramRun run = platform::RunProgram(ZORVAPP, {"--emulate", "1"});
  platform::SetEnvironmentVariable("ZORV_HEADLESS", "");
  QVERIFY(run.started);
  QVERIFY(run.exit_code != 0);
  QVERIFY(run.errors.find("RUN FAIL") != std::string::npos);
  QVERIFY(run.errors.find("ALREADY HAVE THE PROGRAM RUNNING.  KILL IT FIRST!") !=
          std::string::npos);
  // Refused before anything else: the running program's log was not touched.
  QCOMPARE(AppLog().size(), log_size);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
