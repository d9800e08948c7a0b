// The bitsync and built-in test panels on their own: a plain owner widget, the card's records,
// and a recorder for the change messages the panels send their card window.

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BitsyncLaMmiUnit.h"
#include "app/BitsyncMmiUnit.h"
#include "app/ZorvMmiUnit.h"
#include "dll/keltnametables.h"
#include "platform/clock.h"
#include "support/keserrorlog.h"
#include "tests/app/WindowTestEnvironment.h"
#include "tests/common/SpeakerProbe.h"
#include "tests/dll/library_log.h"

namespace {

QStringList ItemTexts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* item : menu.actions()) texts << item->text();
  return texts;
}

QMenu& Submenu(QMenu& menu, const char* name) {
  auto* submenu = menu.findChild<QMenu*>();
  for (QMenu* candidate : menu.findChildren<QMenu*>()) {
    if (candidate->menuAction()->objectName() == name) submenu = candidate;
  }
  return *submenu;
}

QAction& Item(QMenu& menu, const QString& name) {
  auto* item = menu.findChild<QAction*>(name);
  if (!item) qFatal("no menu item %s", qPrintable(name));
  return *item;
}

// The two clicks, 10 ms apart, that tell the operator the loop bandwidth was narrowed.
constexpr int64_t kNarrowedMs = 2 * zorv_test::kClickBeepMs + 10;

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGrey(128, 128, 128);

}  // namespace

class PanelsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void bitRateIsShownInMbps();
  void aBiphaseCodeLowersTheBitRate();
  void aWideLoopBandwidthIsNarrowedWithTwoLogLines();
  void markerFileStationsChoose5_0AndCountFromOne();
  void inputSourcesFollowTheInputSourceFlag();
  void bitRatePromptClampsAndRefusesWhatDoesNotParse();
  void alternateModelsHaveTheirOwnTablesAndNoOutputCode();
  void clockCheckBoxAndFspModeChangeTheSetup();
  void disabledTestHidesItsLinesAndGreysTheCorrelator();
  void valuesHaveTheirFormats();
  void ledsShowStatusAndBuiltInTest();
  void aRebuildNeverWritesTheCheckBoxesBack();

 private:
  TBitsyncMmiForm& BitsyncPanel(bool input_source_flag = true, bool marker_file = false);
  TBitsyncLaMmiForm& LinkAnalysisPanel();
  // Chooses a menu item by name, as the operator does.
  void Choose(QMenu& menu, const QString& name) { Item(menu, name).trigger(); }

  std::unique_ptr<WindowTestEnvironment> env_;
  std::unique_ptr<QWidget> owner_;
  std::vector<int> messages_;
  CardData card_;
};

void PanelsTest::init() {
  env_ = std::make_unique<WindowTestEnvironment>("zorv_panels");
  OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  owner_ = std::make_unique<QWidget>();
  messages_.clear();
  card_ = CardData{};
}

void PanelsTest::cleanup() {
  owner_.reset();
  CloseErrorLog(false);
  env_.reset();
}

TBitsyncMmiForm& PanelsTest::BitsyncPanel(bool input_source_flag, bool marker_file) {
  return *new TBitsyncMmiForm(
      *owner_, [this](int message) { messages_.push_back(message); }, card_.fsp,
      card_.quick_react_mode, input_source_flag, card_.bitsync_setup, marker_file);
}

TBitsyncLaMmiForm& PanelsTest::LinkAnalysisPanel() {
  return *new TBitsyncLaMmiForm(
      *owner_, [this](int message) { messages_.push_back(message); }, card_.status,
      card_.bitsync_setup);
}

void PanelsTest::bitRateIsShownInMbps() {
  const struct {
    uint32_t bit_rate;
    const char* text;
  } cases[] = {{1024000, "1.024 Mbps"}, {10000000, "10.0 Mbps"}, {25000000, "25.0 Mbps"},
               {12500000, "12.5 Mbps"}, {10, "0.00001 Mbps"},    {1, "0.000001 Mbps"}};
  for (const auto& c : cases) QCOMPARE(BitRateMbpsText(c.bit_rate), std::string(c.text));
  TBitsyncMmiForm& panel = BitsyncPanel();
  QCOMPARE(panel.Rows().Value("Bit Rate"), QString("1.024 Mbps"));
  QCOMPARE(panel.Rows().Value("Loop Width"), QString("0.5"));
  QCOMPARE(panel.Rows().Value("Filter Method"), QString("NONE"));
}

void PanelsTest::aBiphaseCodeLowersTheBitRate() {
  TBitsyncMmiForm& panel = BitsyncPanel();
  card_.bitsync_setup.BitRate = 20000000;
  card_.bitsync_setup.LoopBandwidth = 0;
  Choose(panel.Menu(), "SubMenuInputCode3");
  QCOMPARE(kInputCodeNames[3], "BIOL");
  QCOMPARE(card_.bitsync_setup.InputCode, 3);
  QCOMPARE(card_.bitsync_setup.BitRate, 12500000u);
  QVERIFY(card_.bitsync_setup.LoopBandwidth >= 6);
  QCOMPARE(messages_, std::vector<int>{kBitsyncChangedMessage});
  QCOMPARE(panel.Rows().Value("Bit Rate"), QString("12.5 Mbps"));
  QCOMPARE(panel.Rows().Value("Input Code"), QString("BIOL"));
  QVERIFY(Item(panel.Menu(), "SubMenuInputCode3").isChecked());
}

void PanelsTest::aWideLoopBandwidthIsNarrowedWithTwoLogLines() {
  TBitsyncMmiForm& panel = BitsyncPanel();
  zorv_test::SpeakerProbe speaker(env_->clock);
  const int64_t ms = speaker.MillisecondsOf([&] { Choose(panel.Menu(), "SubMenuLoopBandwidth0"); });
  QCOMPARE(card_.bitsync_setup.LoopBandwidth, 2);
  QCOMPARE(ms, kNarrowedMs);
  const auto log = zorv_test::ReadLogEntries(env_->Path("ZorvApp.Log"));
  const auto narrowed = zorv_test::EntriesStartingWith(log, "Exceeded Maximum Loop BandWidth");
  QCOMPARE(narrowed.size(), size_t{1});
  QCOMPARE(zorv_test::EntriesStartingWith(log, " ... setting to maximum Loop BandWidth").size(),
           size_t{1});
  QCOMPARE(panel.Rows().Value("Loop Width"), QString("0.5"));
}

void PanelsTest::markerFileStationsChoose5_0AndCountFromOne() {
  TBitsyncMmiForm& panel = BitsyncPanel(true, true);
  QMenu& bandwidths = Submenu(panel.Menu(), "SubMenuLoopBandwidth");
  QCOMPARE(ItemTexts(bandwidths),
           (QStringList{"5.0", "2.0", "1.0", "0.5", "0.2", "0.1", "0.05", "0.02", "0.01"}));
  Choose(panel.Menu(), "SubMenuLoopBandwidth0");
  QCOMPARE(card_.bitsync_setup.LoopBandwidth, -1);
  QCOMPARE(panel.Rows().Value("Loop Width"), QString("5.0"));
  Choose(panel.Menu(), "SubMenuLoopBandwidth3");  // "0.5", table code 2, counted from 1
  QCOMPARE(card_.bitsync_setup.LoopBandwidth, 3);
  QCOMPARE(panel.Rows().Value("Loop Width"), QString("0.5"));
  // The limit leaves marker-file stations' bandwidth alone.
  Choose(panel.Menu(), "SubMenuLoopBandwidth1");
  QCOMPARE(card_.bitsync_setup.LoopBandwidth, 1);
}

void PanelsTest::inputSourcesFollowTheInputSourceFlag() {
  QCOMPARE(ItemTexts(Submenu(BitsyncPanel(false).Menu(), "SubMenuInputSource")),
           (QStringList{"SE_INPUT 1", "SE_INPUT 2", "SE_INPUT 3", "SE_INPUT 4"}));
  TBitsyncMmiForm& panel = BitsyncPanel(true);
  QCOMPARE(Submenu(panel.Menu(), "SubMenuInputSource").actions().size(), 12);
  Choose(panel.Menu(), "SubMenuInputSource11");
  QCOMPARE(card_.bitsync_setup.InputSource, 11);
  QCOMPARE(panel.Rows().Value("Input Source"), QString("DIFF_INPUT 4"));
  // Quick react is offered with the extra sources only.
  QVERIFY(!Item(BitsyncPanel(false).Menu(), "QuickReactMode").isVisible());
  QVERIFY(Item(panel.Menu(), "QuickReactMode").isVisible());
  Choose(panel.Menu(), "QuickReactMode");
  QCOMPARE(card_.quick_react_mode, uint8_t{1});
  QCOMPARE(panel.Rows().Value("Quick React"), QString("ON"));
}

void PanelsTest::bitRatePromptClampsAndRefusesWhatDoesNotParse() {
  TBitsyncMmiForm& panel = BitsyncPanel();
  const struct {
    std::optional<std::string> answer;
    uint32_t bit_rate;
    int64_t signal_ms;
  } cases[] = {
      {"1500000", 1500000, 0},
      {"30000000", 25000000, zorv_test::kNoticeBeepMs + kNarrowedMs},  // clamped, and narrowed
      {"abc", 25000000, zorv_test::kErrorBeepMs},                      // refused: the rate stays
      {std::nullopt, 25000000, zorv_test::kErrorBeepMs},
  };
  zorv_test::SpeakerProbe speaker(env_->clock);
  for (const auto& c : cases) {
    env_->dialogs.text_answers.push_back(c.answer);
    const int64_t ms = speaker.MillisecondsOf([&] { Choose(panel.Menu(), "BitRate"); });
    QCOMPARE(card_.bitsync_setup.BitRate, c.bit_rate);
    QCOMPARE(ms, c.signal_ms);
  }
  QCOMPARE(env_->dialogs.texts.front().caption, std::string("Input Range 10 - 25000000"));
  QCOMPARE(env_->dialogs.texts.front().prompt, std::string("Enter the Bit Rate"));
  QCOMPARE(env_->dialogs.texts.front().proposed, std::string("1024000"));
  QCOMPARE(messages_.size(), size_t{4});
}

void PanelsTest::alternateModelsHaveTheirOwnTablesAndNoOutputCode() {
  card_.bitsync_setup.Model = 2;
  card_.bitsync_setup.LoopBandwidth = 15;
  card_.bitsync_setup.BitDecisionDetector = 0;
  TBitsyncMmiForm& panel = BitsyncPanel();
  QCOMPARE(Submenu(panel.Menu(), "SubMenuLoopBandwidth").actions().size(), 17);
  QCOMPARE(panel.Rows().Value("Loop Width"), QString("2.0"));
  QCOMPARE(panel.Rows().Value("Filter Method"), QString("USE FILTER SAMPLE"));
  QVERIFY(!panel.Rows().Visible("Output Code"));
  QVERIFY(!Submenu(panel.Menu(), "SubMenuOutputCode").menuAction()->isVisible());
  QVERIFY(!Item(panel.Menu(), "QuickReactMode").isVisible());
  Choose(panel.Menu(), "UseFilter");
  QCOMPARE(panel.Rows().Value("Filter Method"), QString("NONE"));
}

void PanelsTest::clockCheckBoxAndFspModeChangeTheSetup() {
  TBitsyncMmiForm& panel = BitsyncPanel();
  QVERIFY(!panel.Rows().Visible("FSP Mode"));
  QVERIFY(!Item(panel.Menu(), "FspMode").isVisible());
  panel.ClockOut90Degrees().click();
  QCOMPARE(card_.bitsync_setup.Do90DegClkOut, uint8_t{1});
  QCOMPARE(messages_.size(), size_t{1});
  // Set from the record, the box sends nothing.
  card_.bitsync_setup.Do90DegClkOut = 0;
  panel.Refresh();
  QVERIFY(!panel.ClockOut90Degrees().isChecked());
  QCOMPARE(messages_.size(), size_t{1});

  card_.fsp.option_present = 1;
  panel.Refresh();
  QVERIFY(panel.Rows().Visible("FSP Mode"));
  QCOMPARE(panel.Rows().Value("FSP Mode"), QString("OFF"));
  Choose(panel.Menu(), "FspMode");
  QCOMPARE(card_.fsp.mode_on, uint8_t{1});
  QCOMPARE(panel.Rows().Value("FSP Mode"), QString("ON"));
  QVERIFY(Item(panel.Menu(), "FspMode").isChecked());
}

void PanelsTest::disabledTestHidesItsLinesAndGreysTheCorrelator() {
  TBitsyncLaMmiForm& panel = LinkAnalysisPanel();
  card_.status.error_count = 55;
  card_.status.link_analysis_status[0] = 0;
  const char* test_lines[] = {"PRN Pattern", "Forced Error", "Error Count", "BER"};
  Choose(panel.Menu(), "Internal");
  QCOMPARE(card_.bitsync_setup.BerTestingEnabled, uint8_t{1});
  QCOMPARE(card_.bitsync_setup.ExtBerMode, uint8_t{0});
  panel.RefreshValues();
  panel.RefreshLeds(2);
  for (const char* line : test_lines) QVERIFY(panel.Rows().Visible(line));
  QCOMPARE(panel.Rows().Value("Pattern Source"), QString("Internal"));
  QCOMPARE(panel.Rows().Value("Error Count"), QString("55"));
  QCOMPARE(panel.LedColour("PRN Correlator Locked"), kGreen);
  QVERIFY(Item(panel.Menu(), "ForcedError").isVisible());

  Choose(panel.Menu(), "External");
  QCOMPARE(card_.bitsync_setup.ExtBerMode, uint8_t{1});
  QCOMPARE(panel.Rows().Value("Pattern Source"), QString("External"));

  Choose(panel.Menu(), "Disabled");
  panel.RefreshValues();
  panel.RefreshLeds(2);
  QCOMPARE(card_.bitsync_setup.BerTestingEnabled, uint8_t{0});
  for (const char* line : test_lines) QVERIFY(!panel.Rows().Visible(line));
  QCOMPARE(panel.Rows().Value("Error Count"), QString("0"));
  for (const char* led :
       {"PRN Correlator Locked", "PRN Correlator History", "Error Count Overflow"}) {
    QCOMPARE(panel.LedColour(led), kGrey);
  }
  QVERIFY(!Item(panel.Menu(), "ForcedError").isVisible());
  QCOMPARE(messages_, (std::vector<int>(3, kLinkAnalysisChangedMessage)));
}

void PanelsTest::valuesHaveTheirFormats() {
  card_.bitsync_setup.BerTestingEnabled = 1;
  BitsyncStatusData& status = card_.status;
  status.programmed_bit_rate = 1024000;
  status.error_count = 1234;
  status.bit_count = 10000000;
  status.bit_error_rate = 1.234e-4;
  status.offset_frequency = -1250.0;
  status.signal_voltage = 1.46;
  status.es_no = 15.26;
  TBitsyncLaMmiForm& panel = LinkAnalysisPanel();
  const struct {
    const char* caption;
    const char* text;
  } cases[] = {{"Bit Rate", "1024000"},      {"Error Count", "1234"},
               {"Clock Count", "10000000"},  {"Offset Freq (Hz)", "-1.2500E+0003"},
               {"AGC Threshold (V)", "1.5"}, {"Es/No (dB)", "15.3"},
               {"BER", "1.2340E-0004"}};
  for (const auto& c : cases) QCOMPARE(panel.Rows().Value(c.caption), QString(c.text));
  status.bit_count = 0;
  status.bit_error_rate = 0;
  panel.RefreshValues();
  QCOMPARE(panel.Rows().Value("BER"), QString("0.0000E+0000"));
}

void PanelsTest::ledsShowStatusAndBuiltInTest() {
  TBitsyncLaMmiForm& panel = LinkAnalysisPanel();
  card_.bitsync_setup.BerTestingEnabled = 1;
  BitsyncStatusData& status = card_.status;
  status.operational_status[0] = 1;
  status.operational_status[1] = 0;
  status.operational_status[2] = 1;
  status.link_analysis_status[0] = 0;
  status.link_analysis_status[1] = 1;
  const uint8_t bytes[5] = {0b1000'1001, 0b0000'0110, 0xA1, 0b0100'0010, 0b0010'0001};
  std::copy(std::begin(bytes), std::end(bytes), status.built_in_test);
  panel.RefreshLeds(3);
  panel.RefreshBuiltInTest();
  const struct {
    const char* led;
    QColor colour;
  } cases[] = {
      {"Bitsync Status", QColor(255, 255, 0)},
      {"Input Signal Above Threshold", kGreen},
      {"PLL Lock", kRed},
      {"Input Quality Above Threshold", kGreen},
      {"PRN Correlator Locked", kGreen},  // the flag at 0 is good
      {"PRN Correlator History", kRed},
      {"ShapeBit0", kGreen},
      {"ShapeBit1", kRed},
      {"ShapeBit3", kGreen},
      {"ShapeBit7", kGreen},
      {"ShapeSintf1", kGreen},
      {"ShapeSintf3", kRed},
      {"ShapeGen1", kGreen},
      {"ShapeGen2", kRed},
      {"ShapeGen6", kGreen},
      {"ShapePw0", kGreen},
      {"ShapePw4", kRed},
      {"ShapePw5", kGreen},
  };
  for (const auto& c : cases) QCOMPARE(panel.LedColour(c.led), c.colour);
  QCOMPARE(panel.Rows().Value("SW Version"), QString("00A1"));
  status.built_in_test[3] = 0;
  panel.RefreshBuiltInTest();
  QCOMPARE(panel.LedColour("ShapeGen6"), kGrey);
}

void PanelsTest::aRebuildNeverWritesTheCheckBoxesBack() {
  TBitsyncLaMmiForm& panel = LinkAnalysisPanel();
  QCheckBox* unlock = panel.CheckBox("Disable PCM Outputs @ Unlock");
  QCheckBox* auto_test = panel.CheckBox("Enable Startup Auto Test");
  QVERIFY(unlock && auto_test);
  QVERIFY(auto_test->isChecked());
  // A reload changed the record: the rebuild shows it and sends nothing.
  card_.bitsync_setup.NrzlDcOutputDisabledAtSymbolUnlock = 1;
  card_.bitsync_setup.StartupAutoTestEnabled = 0;
  panel.RebuildTexts();
  QVERIFY(unlock->isChecked());
  QVERIFY(!auto_test->isChecked());
  QVERIFY(messages_.empty());
  QCOMPARE(card_.bitsync_setup.StartupAutoTestEnabled, uint8_t{0});
  // The operator's click copies every box into the record.
  panel.CheckBox("Disable Tape Out @ EsNo < 5dB")->click();
  QCOMPARE(card_.bitsync_setup.PcmEncoderOutputDisabledAtEsNo5Db, uint8_t{1});
  QCOMPARE(card_.bitsync_setup.NrzlDcOutputDisabledAtSymbolUnlock, uint8_t{1});
  QCOMPARE(card_.bitsync_setup.StartupAutoTestEnabled, uint8_t{0});
  QCOMPARE(messages_, std::vector<int>{kLinkAnalysisChangedMessage});
}

QTEST_MAIN(PanelsTest)
#include "panels_test.moc"
