// The card window and its IRIG panel on the real widgets, offscreen, driven by the test instead
// of the main window's timer. The card's threads are real threads, so the test waits for them
// (Settle) on real-time bounds; the fake library can hold a card's calls to show a module that
// stays busy.

#include <QAction>
#include <QMenu>
#include <QTabBar>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/BitsyncLaMmiUnit.h"
#include "app/BitsyncMmiUnit.h"
#include "app/IrigReaderMmiUnit.h"
#include "app/ZorvAppMainUnit.h"
#include "app/ZorvMmiUnit.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "support/Ctimerclass.h"
#include "tests/app/WindowTestEnvironment.h"
#include "tests/common/SpeakerProbe.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kSettleBound = 10s;

QStringList TabTexts(QTabBar& tabs) {
  QStringList texts;
  for (int tab = 0; tab < tabs.count(); ++tab) texts << tabs.tabText(tab);
  return texts;
}

// Milliseconds of real time an action took.
int64_t RealMillisecondsOf(const std::function<void()>& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace

class CardWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void tabsFollowTheTestOptionAndSimulateMode_data();
  void tabsFollowTheTestOptionAndSimulateMode();
  void statusStripShowsLockAndIrigTime();
  void aCardThatDoesNotExistIsGreyAndNotPolled();
  void aTabChangeStopsTheBitErrorTestAndReloads();
  void markerFileOffsetsTheLoopBandwidth_data();
  void markerFileOffsetsTheLoopBandwidth();
  void aRefusedChangeIsShownAndSoundsTheErrorSignal();
  void aChangeDuringAPollingPassReachesTheCard();
  void aCardWithoutItsModuleSaysSo();
  void aBitErrorTestWithForcedErrorsAndALostLock();
  void closingWaitsOnlyForTheCallInProgress();
  void aStuckCardFreezesNeitherTheOtherCardsNorTheExit();
  void irigMenuChangesTheSetup_data();
  void irigMenuChangesTheSetup();
  void aRestrictedIrigPanelOffersLess();

 private:
  FakeZorvDllState& InstallFake(int32_t card_count);
  progzorvclass& Bind(const DllLocations& locations);
  TZorvMmiForm& Open(int32_t card);
  void Settle(TZorvMmiForm& window) { QVERIFY(window.Settle(kSettleBound)); }
  // One timer tick, and what the card's threads made of it.
  void TickAndSettle(TZorvMmiForm& window, bool fifth = false) {
    window.Tick(fifth);
    Settle(window);
  }

  std::unique_ptr<WindowTestEnvironment> env_;
  FakeZorvDllState* fake_ = nullptr;
  std::unique_ptr<progzorvclass> zorv_;
  ZorvProgramState state_;
  std::vector<std::unique_ptr<TZorvMmiForm>> windows_;
};

void CardWindowTest::init() {
  env_ = std::make_unique<WindowTestEnvironment>("zorv_card_window");
  fake_ = nullptr;
  state_.shutting_down = false;
  state_.marker_file = false;
  for (int32_t card = 0; card < 4; ++card) {
    state_.trigger_counter[card] = 0;
    state_.poll_group_counter[card] = 0;
  }
}

void CardWindowTest::cleanup() {
  if (fake_) fake_->stalled_card = -1;
  windows_.clear();
  zorv_.reset();
  state_.zorv = nullptr;
  env_.reset();
}

FakeZorvDllState& CardWindowTest::InstallFake(int32_t card_count) {
  fake_ = &env_->InstallFake(card_count);
  Bind({kLibraryFile, kLibraryFile, ""});
  return *fake_;
}

progzorvclass& CardWindowTest::Bind(const DllLocations& locations) {
  zorv_ = std::make_unique<progzorvclass>(locations);
  state_.zorv = zorv_.get();
  return *zorv_;
}

TZorvMmiForm& CardWindowTest::Open(int32_t card) {
  windows_.push_back(std::make_unique<TZorvMmiForm>(card, state_));
  TZorvMmiForm& window = *windows_.back();
  if (!window.Settle(kSettleBound)) qFatal("the card's threads did not settle");
  return window;
}

void CardWindowTest::tabsFollowTheTestOptionAndSimulateMode_data() {
  QTest::addColumn<int>("option");
  QTest::addColumn<bool>("simulate");
  QTest::addColumn<QStringList>("tabs");
  const QStringList all = {"Bitsync", "IRIG", "Built In Test"};
  QTest::newRow("option") << 1 << false << all;
  QTest::newRow("no option") << 0 << false << QStringList{"Bitsync", "IRIG"};
  QTest::newRow("no option, simulated") << 0 << true << all;
}

void CardWindowTest::tabsFollowTheTestOptionAndSimulateMode() {
  QFETCH(int, option);
  QFETCH(bool, simulate);
  QFETCH(QStringList, tabs);
  InstallFake(1).option_ber_test = static_cast<uint8_t>(option);
  zorv_->simulate = simulate;
  zorv_->cards[0].status.option_ber_test = static_cast<uint8_t>(option);
  TZorvMmiForm& window = Open(0);
  QCOMPARE(TabTexts(window.Tabs()), tabs);
  QVERIFY(!window.Creating());
  QCOMPARE(window.windowTitle(), simulate ? QString("ZORV Card 1 SIMULATED") : "ZORV Card 1");
  // Without the option the slow values are never read, the lock state still is.
  if (!option && !simulate) {
    for (int tick = 0; tick < 10; ++tick) TickAndSettle(window);
    QCOMPARE(fake_->poll_group_reads.load(), 0);
    QCOMPARE(window.LockText(), QString("LOCK"));
  }
}

void CardWindowTest::statusStripShowsLockAndIrigTime() {
  InstallFake(2).irig_time = 86400.5;
  state_.emulated = true;
  TZorvMmiForm& window = Open(1);
  QCOMPARE(window.windowTitle(), QString("ZORV Card 2 EMULATED"));
  QCOMPARE(window.LockText(), QString("NOCLK_NOSIG"));
  state_.trigger_counter[1] = 1;  // a strip tick, not a polling tick
  TickAndSettle(window);
  QCOMPARE(window.LockText(), QString("LOCK"));
  QCOMPARE(window.LockColour(), QColor(0, 255, 0));
  QCOMPARE(window.IrigTimeText(), QString("001:00:00:00.500"));
  QCOMPARE(window.IrigPanel().Rows().Value("Time"), QString("001:00:00:00.500"));
  fake_->bitsync_status = kZorvApiLockBusy;  // another request held the card
  fake_->irig_time = 86401.25;
  TickAndSettle(window);
  QCOMPARE(window.LockColour(), QColor(255, 255, 0));
  QCOMPARE(window.IrigTimeText(), QString("001:00:00:01.250"));
  state_.emulated = false;
}

void CardWindowTest::aCardThatDoesNotExistIsGreyAndNotPolled() {
  InstallFake(1).bitsync_status = 5;
  TZorvMmiForm& window = Open(0);
  for (int tick = 0; tick < 5; ++tick) TickAndSettle(window);
  QCOMPARE(window.LockText(), QString("DOES NOT EXIST"));
  QCOMPARE(window.LockColour(), QColor(128, 128, 128));
  const int32_t reads = fake_->poll_group_reads;
  for (int tick = 0; tick < 15; ++tick) TickAndSettle(window);
  QCOMPARE(fake_->poll_group_reads.load(), reads);
}

void CardWindowTest::aTabChangeStopsTheBitErrorTestAndReloads() {
  InstallFake(1);
  TZorvMmiForm& window = Open(0);
  BitsyncSetup& setup = zorv_->cards[0].bitsync_setup;
  setup.BerTestingEnabled = 1;
  setup.KnownErrorMode = 1;
  const int32_t bitsync_loads = fake_->bitsync_setup_loads;
  const int32_t irig_loads = fake_->irig_setup_loads;
  window.Tabs().setCurrentIndex(kBuiltInTestTab);
  Settle(window);
  QCOMPARE(setup.BerTestingEnabled, uint8_t{0});
  QCOMPARE(setup.KnownErrorMode, uint8_t{0});
  QCOMPARE(fake_->bitsync_setup_loads, bitsync_loads + 1);
  QCOMPARE(fake_->bitsync_setups[bitsync_loads].BerTestingEnabled, uint8_t{0});
  QCOMPARE(fake_->irig_setup_loads, irig_loads + 1);
  QVERIFY(window.VisiblePanel() != &window.IrigPanel());
  window.Tabs().setCurrentIndex(kIrigTab);
  QVERIFY(window.VisiblePanel() == &window.IrigPanel());
}

void CardWindowTest::markerFileOffsetsTheLoopBandwidth_data() {
  QTest::addColumn<int>("stored");
  QTest::addColumn<int>("sent");
  QTest::addColumn<int>("kept");
  QTest::newRow("3 is sent as 2") << 3 << 2 << 3;
  QTest::newRow("0 is sent as 0 and becomes 1") << 0 << 0 << 1;
  QTest::newRow("negative is sent as 0 and kept") << -1 << 0 << -1;
}

void CardWindowTest::markerFileOffsetsTheLoopBandwidth() {
  QFETCH(int, stored);
  QFETCH(int, sent);
  QFETCH(int, kept);
  InstallFake(1);
  state_.marker_file = true;
  TZorvMmiForm& window = Open(0);
  BitsyncSetup& setup = zorv_->cards[0].bitsync_setup;
  setup.LoopBandwidth = stored;
  const int32_t loads = fake_->bitsync_setup_loads;
  window.ServeChangeMessage(kBitsyncChangedMessage);
  Settle(window);
  QCOMPARE(fake_->bitsync_setup_loads, loads + 1);
  QCOMPARE(fake_->bitsync_setups[loads].LoopBandwidth, sent);
  QCOMPARE(setup.LoopBandwidth, kept);
}

void CardWindowTest::aRefusedChangeIsShownAndSoundsTheErrorSignal() {
  InstallFake(1);
  TZorvMmiForm& window = Open(0);
  const struct {
    int32_t result;
    int message;
    int64_t signal_ms;
    const char* refusal;
  } cases[] = {
      {kZorvApiSuccess, kBitsyncChangedMessage, 13, ""},  // two reload clicks 10 ms apart, a click
      {kZorvApiBitsyncSetupFailed, kBitsyncChangedMessage, zorv_test::kErrorBeepMs,
       "The card did not take the bitsync setup."},
      // The IRIG reader takes its setup: the bitsync's refusal still stands.
      {kZorvApiSuccess, kIrigChangedMessage, 13, "The card did not take the bitsync setup."},
      {kZorvApiSuccess, kLinkAnalysisChangedMessage, 13, ""},
      {kZorvApiIrigSetupFailed, kIrigChangedMessage, zorv_test::kErrorBeepMs,
       "The card did not take the IRIG setup."},
      {kZorvApiSuccess, kIrigChangedMessage, 13, ""},
  };
  zorv_test::SpeakerProbe speaker(env_->clock);
  for (const auto& c : cases) {
    fake_->result = c.result;
    const int64_t ms = speaker.MillisecondsOf([&] {
      window.ServeChangeMessage(c.message);
      Settle(window);
    });
    QCOMPARE(ms, c.signal_ms);
    QCOMPARE(window.Refusal(), QString(c.refusal));
    QVERIFY(window.windowTitle().startsWith("*"));
  }
}

// On the built library and an emulated card, whose polling pass takes about 2.4 s of the
// protocol's own pauses on the real clock: the test waits that long.
void CardWindowTest::aChangeDuringAPollingPassReachesTheCard() {
  platform::SetEnvironmentVariable("ZORV_EMULATE", "1");
  Bind({ZORVDLL_PATH, ZORVDLL_PATH, ""});
  QCOMPARE(zorv_->card_count, 1);
  TZorvMmiForm& window = Open(0);
  window.Tick(false);  // trigger counter 0: a polling pass starts
  QVERIFY(window.CardThreads().Bitsync().Busy(CardLane::kPoll));
  zorv_->cards[0].bitsync_setup.BitRate = 2048000;
  window.ServeChangeMessage(kBitsyncChangedMessage);
  bool taken_during_pass = false;
  for (int wait = 0; wait < 1000; ++wait) {
    if (!window.CardThreads().Bitsync().Busy(CardLane::kChange)) {
      taken_during_pass = window.CardThreads().Bitsync().Busy(CardLane::kPoll);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  QVERIFY(taken_during_pass);
  Settle(window);
  QCOMPARE(window.Refusal(), QString());
  BitsyncStatusData read;
  QVERIFY(zorv_->GetBitsyncProgrammedBitRate(0, read));
  QCOMPARE(read.programmed_bit_rate, 2048000u);
}

// On the built library and an emulated card without its bitsync module: the library refuses
// the lock read and the setup of that card instead of naming its state.
void CardWindowTest::aCardWithoutItsModuleSaysSo() {
  const std::string scenario = (std::filesystem::current_path() / "no-module.ini").string();
  std::ofstream(scenario) << "[Bus]\nCards=1\n[Card0]\nModule=absent\n";
  platform::SetEnvironmentVariable("ZORV_EMULATE", scenario);
  Bind({ZORVDLL_PATH, ZORVDLL_PATH, ""});
  TZorvMmiForm& window = Open(0);
  state_.trigger_counter[0] = 1;  // a strip tick, not a polling tick
  TickAndSettle(window);
  QCOMPARE(window.LockText(), QString("DOES NOT EXIST"));
  QCOMPARE(window.LockColour(), QColor(128, 128, 128));
  // The IRIG reader took its setup after the bitsync refused its own.
  QCOMPARE(window.Refusal(), QString("The card did not take the bitsync setup."));
  QVERIFY(window.IrigTimeText() != "000:00:00:00.000");
}

// On the built library and an emulated card, on the real clock: the polling pass reads the
// counts once a second, so the test runs the window's timer for a few seconds.
void CardWindowTest::aBitErrorTestWithForcedErrorsAndALostLock() {
  platform::SetEnvironmentVariable("ZORV_EMULATE", "1");
  Bind({ZORVDLL_PATH, ZORVDLL_PATH, ""});
  TZorvMmiForm& window = Open(0);
  const auto run_until = [&](const std::function<bool()>& done) {
    for (int tick = 0; tick < 50 && !done(); ++tick) {
      window.Tick(tick % 5 == 4);
      QTest::qWait(200);
    }
    return done();
  };
  window.Tabs().setCurrentIndex(kBuiltInTestTab);
  TBitsyncLaMmiForm& test = window.LinkAnalysisPanel();
  test.Menu().findChild<QAction*>("Internal")->trigger();
  test.Menu().findChild<QAction*>("ForcedError")->trigger();
  QVERIFY(run_until([&] {
    const double ber = test.Rows().Value("BER").toDouble();
    return ber > 5e-4 && ber < 2e-3 && test.Rows().Value("Clock Count").toDouble() > 1e6;
  }));
  for (const char* led : {"PRN Correlator Locked", "PRN Correlator History"}) {
    QCOMPARE(test.LedColour(led), QColor(0, 255, 0));
  }
  QCOMPARE(window.LockText(), QString("LOCK"));

  // A bit rate that the emulated signal does not carry: the card loses lock.
  env_->dialogs.text_answers.push_back("3000000");
  window.BitsyncPanel().Menu().findChild<QAction*>("BitRate")->trigger();
  QVERIFY(run_until([&] { return window.LockText() != "LOCK"; }));
  QCOMPARE(window.Refusal(), QString());
}

void CardWindowTest::closingWaitsOnlyForTheCallInProgress() {
  InstallFake(1);
  TZorvMmiForm& window = Open(0);
  fake_->stalled_card = 0;
  window.Tick(false);  // a polling pass starts and stalls in its first read
  for (int wait = 0; wait < 1000 && fake_->poll_group_reads == 0; ++wait) {
    std::this_thread::sleep_for(1ms);
  }
  QCOMPARE(fake_->poll_group_reads.load(), 1);
  std::thread card_answers([this] {
    std::this_thread::sleep_for(100ms);
    fake_->stalled_card = -1;
  });
  const int64_t ms = RealMillisecondsOf([&] { window.close(); });
  card_answers.join();
  QVERIFY(window.ClosedByOperator());
  QVERIFY(ms < 900);  // the close bound is 1 s; the call in progress ended after 0.1 s
  QCOMPARE(fake_->poll_group_reads.load(), 1);  // the rest of the pass was dropped
}

void CardWindowTest::aStuckCardFreezesNeitherTheOtherCardsNorTheExit() {
  InstallFake(2);
  zorv_.reset();
  state_.zorv = nullptr;
  TZorvAppMainForm form({{kLibraryFile, kLibraryFile, ""}, TZorvMmiForm::Factory(), ""});
  form.show();
  form.Timer().stop();
  form.CardAction(0)->trigger();
  form.CardAction(1)->trigger();
  auto* first = dynamic_cast<TZorvMmiForm*>(form.CardWindow(0));
  auto* stuck = dynamic_cast<TZorvMmiForm*>(form.CardWindow(1));
  QVERIFY(first && stuck);
  QVERIFY(first->Settle(kSettleBound) && stuck->Settle(kSettleBound));
  fake_->stalled_card = 1;
  // Ticks never wait for a card; the other card's IRIG time goes on.
  int64_t slowest_tick = 0;
  for (int tick = 0; tick < 10; ++tick) {
    fake_->irig_time = 86400.0 + tick;
    slowest_tick = std::max(slowest_tick, RealMillisecondsOf([&] { form.Timer5HzTimer(); }));
    QVERIFY(first->Settle(kSettleBound));
  }
  QVERIFY(slowest_tick < 100);
  QCOMPARE(first->IrigTimeText(), QString("001:00:00:09.000"));
  QVERIFY(fake_->stalled_calls > 0);
  // The shutdown waits for the stuck card 2 s at most, then leaves its thread in the library.
  const int64_t ms = RealMillisecondsOf([&] { form.close(); });
  QVERIFY(ms < 3000);
  QVERIFY(form.CardThreadsLeftRunning());
  fake_->stalled_card = -1;
  for (int wait = 0; wait < 1000 && fake_->stalled_calls > 0; ++wait)
    std::this_thread::sleep_for(1ms);
}

void CardWindowTest::irigMenuChangesTheSetup_data() {
  QTest::addColumn<bool>("simulate");
  QTest::addColumn<QString>("item");
  QTest::addColumn<int>("format");
  QTest::addColumn<bool>("external");
  QTest::addColumn<bool>("flywheel");
  QTest::addColumn<QString>("code_text");
  QTest::addColumn<QString>("source_text");
  QTest::addColumn<QString>("flywheel_text");
  QTest::addColumn<QString>("track_text");
  QTest::addColumn<QString>("status_text");
  // From the default: IRIG B, internal, flywheel on, real time.
  QTest::newRow("IRIG A") << false << "IrigA" << 1 << false << true << "IRIG A"
                          << "Internal RTC"
                          << "Enabled"
                          << "REALTIME"
                          << "INTERNAL RTC";
  QTest::newRow("IRIG G") << false << "IrigG" << 2 << false << true << "IRIG G"
                          << "Internal RTC"
                          << "Enabled"
                          << "REALTIME"
                          << "INTERNAL RTC";
  QTest::newRow("External, live") << false << "External" << 0 << true << true << "IRIG B"
                                  << "External"
                                  << "Enabled"
                                  << "REALTIME"
                                  << "RTC";
  QTest::newRow("External, simulated") << true << "External" << 0 << true << true << "IRIG B"
                                       << "External"
                                       << "Enabled"
                                       << "REALTIME"
                                       << "FLYWHEEL";
  QTest::newRow("Flywheel off") << false << "FlywheelEnabled" << 0 << false << false << "IRIG B"
                                << "Internal RTC"
                                << "Off"
                                << "REALTIME"
                                << "INTERNAL RTC";
  QTest::newRow("Half Speed") << false << "HalfSpeed" << 0 << false << true << "IRIG B"
                              << "Internal RTC"
                              << "Enabled"
                              << "HALF RATE"
                              << "INTERNAL RTC";
  QTest::newRow("Double Speed") << false << "DoubleSpeed" << 0 << false << true << "IRIG B"
                                << "Internal RTC"
                                << "Enabled"
                                << "TWICE RATE"
                                << "INTERNAL RTC";
}

void CardWindowTest::irigMenuChangesTheSetup() {
  QFETCH(bool, simulate);
  QFETCH(QString, item);
  QFETCH(int, format);
  QFETCH(bool, external);
  QFETCH(bool, flywheel);
  InstallFake(1);
  zorv_->simulate = simulate;
  TZorvMmiForm& window = Open(0);
  const int32_t loads = fake_->irig_setup_loads;
  TIrigReaderMmiForm& panel = window.IrigPanel();
  auto* action = panel.Menu().findChild<QAction*>(item);
  QVERIFY(action);
  action->trigger();
  TickAndSettle(window);
  const IrigSetup& setup = zorv_->cards[0].irig_setup;
  QCOMPARE(setup.SourceFormat, format);
  QCOMPARE(setup.SourceExternal != 0, external);
  QCOMPARE(setup.FlywheelEnabled != 0, flywheel);
  QTEST(panel.Rows().Value("Code"), "code_text");
  QTEST(panel.Rows().Value("Source"), "source_text");
  QTEST(panel.Rows().Value("Flywheel"), "flywheel_text");
  QTEST(panel.Rows().Value("Track"), "track_text");
  QTEST(panel.Rows().Value("Status"), "status_text");
  // The IRIG setup went to the card (simulate mode has no card to take it) and the item is
  // checked; the track rate stays in the window.
  if (!simulate) {
    QCOMPARE(fake_->irig_setup_loads, loads + 1);
    QCOMPARE(fake_->irig_setups[loads].SourceFormat, format);
  }
  QCOMPARE(action->isChecked(), item != "FlywheelEnabled" || flywheel);
  QVERIFY(window.Edited());
}

void CardWindowTest::aRestrictedIrigPanelOffersLess() {
  QWidget owner;
  int32_t track_rate = 0;
  IrigSetup setup{};
  int messages = 0;
  TIrigReaderMmiForm panel(
      owner, [&](int) { ++messages; }, true, track_rate, setup);
  QMenu& menu = panel.Menu();
  QVERIFY(!menu.findChild<QAction*>("IrigG")->isVisible());
  QVERIFY(!menu.findChild<QAction*>("HalfSpeed")->isEnabled());
  QVERIFY(!menu.findChild<QAction*>("DoubleSpeed")->isEnabled());
  QVERIFY(!menu.findChild<QAction*>("SeedToSpecifiedTime")->isVisible());
  QVERIFY(menu.findChild<QAction*>("IrigA")->isEnabled());
  menu.findChild<QAction*>("IrigA")->trigger();
  QCOMPARE(messages, 1);
  QCOMPARE(setup.SourceFormat, 1);
}

QTEST_MAIN(CardWindowTest)
#include "card_window_test.moc"
