#include "app/BitsyncLaMmiUnit.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>

#include "app/KesBorMenusUnit.h"
#include "app/ZorvMmiUnit.h"
#include "app/ZorvQtColours.h"
#include "support/KesBorGenUnit.h"

namespace {

constexpr int kWidth = 212;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGrey = 0x808080;

constexpr const char* kStatusLed = "Bitsync Status";
constexpr const char* kSignalLeds[] = {"Input Signal Above Threshold", "PLL Lock",
                                       "Input Quality Above Threshold"};
constexpr const char* kCorrelatorLeds[] = {"PRN Correlator Locked", "PRN Correlator History",
                                           "Error Count Overflow"};

uint32_t GreenWhenSet(uint32_t byte, int bit) {
  return IsBitSet(byte, bit) ? kGreen : kRed;
}

}  // namespace

// A built-in test or status flag as a small filled circle; its hint says what it is.
class ZorvLed final : public QWidget {
 public:
  ZorvLed(QWidget& parent, const char* name, const char* hint) : QWidget(&parent) {
    setObjectName(name);
    setToolTip(hint);
    setFixedSize(kDiameter + 2, kDiameter + 2);
  }
  void SetColour(uint32_t bgr) {
    colour_ = ToQColor(bgr);
    update();
  }
  QColor Colour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(colour_);
    painter.drawEllipse(1, 1, kDiameter - 1, kDiameter - 1);
  }

 private:
  static constexpr int kDiameter = 11;
  QColor colour_ = ToQColor(kGrey);
};

TBitsyncLaMmiForm::TBitsyncLaMmiForm(QWidget& card_window, std::function<void(int)> notify,
                                     const BitsyncStatusData& status, BitsyncSetup& setup)
    : QWidget(&card_window), notify_(std::move(notify)), status_(status), setup_(setup) {
  setMinimumWidth(kWidth);
  setAutoFillBackground(true);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(1);
  grid->setHorizontalSpacing(6);
  grid->setColumnStretch(1, 1);

  AddLeds(*grid, "Status",
          {{kStatusLed, kStatusLed},
           {kSignalLeds[0], kSignalLeds[0]},
           {kSignalLeds[1], kSignalLeds[1]},
           {kSignalLeds[2], kSignalLeds[2]},
           {kCorrelatorLeds[0], kCorrelatorLeds[0]},
           {kCorrelatorLeds[1], kCorrelatorLeds[1]},
           {kCorrelatorLeds[2], kCorrelatorLeds[2]}});
  for (const char* caption : {"Pattern Source", "PRN Pattern", "Forced Error"}) {
    rows_.Add(*this, *grid, caption).setToolTip("Right click to change ber functions");
  }
  AddLeds(*grid, "BIT",
          {{"ShapeBit0", "Overall Health Flag"},
           {"ShapeBit7", "Synchronization Flag"},
           {"ShapeBit5", "Power Source Error"},
           {"ShapeBit4", "Serial Error"},
           {"ShapeBit3", "Hardware Error"},
           {"ShapeBit1", "Power-Up BIT Error"}});
  AddLeds(*grid, "Communications",
          {{"ShapeSintf4", "Overflow"},
           {"ShapeSintf3", "Semantic Error"},
           {"ShapeSintf2", "Syntax Error"},
           {"ShapeSintf1", "Protocol Error"}});
  rows_.Add(*this, *grid, "SW Version");
  AddLeds(*grid, "PCM GEN",
          {{"ShapeGen6", "Link Analysis Active"},
           {"ShapeGen4", "Signal Within Range"},
           {"ShapeGen3", "Es/No Within Range"},
           {"ShapeGen2", "Offset Frequency"},
           {"ShapeGen1", "Symbol Tracker"}});
  AddLeds(*grid, "Power Mon",
          {{"ShapePw5", "+3.3 VDC"},
           {"ShapePw4", "-5VDC (Analog Ref)"},
           {"ShapePw3", "+5VDC (Analog Ref)"},
           {"ShapePw2", "- 12 VDC"},
           {"ShapePw1", "+ 12 VDC"},
           {"ShapePw0", "VCC (5 VDC)"}});
  AddCheckBox(*grid, "Disable PCM Outputs @ Unlock",
              &BitsyncSetup::NrzlDcOutputDisabledAtSymbolUnlock);
  AddCheckBox(*grid, "Disable PCM Outputs @ EsNo < 5dB",
              &BitsyncSetup::NrzlDcOutputDisabledAtEsNo5Db);
  AddCheckBox(*grid, "Disable Tape Out @ Unlock",
              &BitsyncSetup::PcmEncoderOutputDisabledAtSymbolUnlock);
  AddCheckBox(*grid, "Disable Tape Out @ EsNo < 5dB",
              &BitsyncSetup::PcmEncoderOutputDisabledAtEsNo5Db);
  for (const char* caption : {"Bit Rate", "Error Count", "Clock Count", "Offset Freq (Hz)",
                              "AGC Threshold (V)", "Es/No (dB)", "BER"}) {
    rows_.Add(*this, *grid, caption).setToolTip("Link Analysis Data");
  }
  AddCheckBox(*grid, "Enable Startup Auto Test", &BitsyncSetup::StartupAutoTestEnabled);
  grid->setRowStretch(grid->rowCount(), 1);
  BuildMenu();
  RebuildTexts();
  RefreshValues();
}

void TBitsyncLaMmiForm::AddLeds(QGridLayout& grid, const char* caption,
                                std::initializer_list<LedDescription> leds) {
  const int row = grid.rowCount();
  grid.addWidget(new QLabel(caption, this), row, 0);
  auto* line = new QHBoxLayout;
  line->setSpacing(3);
  for (const LedDescription& led_info : leds) {
    auto* led = new ZorvLed(*this, led_info.name, led_info.hint);
    line->addWidget(led);
    leds_.append(led);
  }
  line->addStretch(1);
  grid.addLayout(line, row, 1);
}

QCheckBox* TBitsyncLaMmiForm::AddCheckBox(QGridLayout& grid, const char* text,
                                          uint8_t BitsyncSetup::*field) {
  auto* box = new QCheckBox(text, this);
  box->setLayoutDirection(Qt::RightToLeft);  // the text left of the box
  grid.addWidget(box, grid.rowCount(), 0, 1, 2, Qt::AlignLeft);
  // Only the operator's clicks count: a rebuild from the record sends nothing back.
  connect(box, &QCheckBox::clicked, this, &TBitsyncLaMmiForm::CheckBoxClicked);
  check_boxes_.append({box, field});
  return box;
}

void TBitsyncLaMmiForm::BuildMenu() {
  menu_ = new QMenu(this);
  QMenu* source = AddSubMenu(*menu_, *menu_, "PatternSource", 0, "Pattern Source");
  const MenuClickHandler choose_source = [this](QAction& item) {
    ChoosePatternSource(MenuItemTag(item));
  };
  source_items_ = {AddMenuItem(*menu_, *source, "Internal", choose_source, 0, "Internal"),
                   AddMenuItem(*menu_, *source, "External", choose_source, 1, "External"),
                   AddMenuItem(*menu_, *source, "Disabled", choose_source, 2, "Disabled")};
  pattern_menu_ = AddSubMenu(*menu_, *menu_, "PrnPattern", 0, "PRN Pattern");
  const MenuClickHandler choose_pattern = [this](QAction& item) {
    ChoosePattern(MenuItemTag(item));
  };
  pattern_items_ = {AddMenuItem(*menu_, *pattern_menu_, "Bit11", choose_pattern, 0, "11 Bit"),
                    AddMenuItem(*menu_, *pattern_menu_, "Bit15", choose_pattern, 1, "15 Bit")};
  forced_error_item_ = AddMenuItem(
      *menu_, *menu_, "ForcedError", [this](QAction&) { ToggleForcedError(); }, 0, "Forced Error");
  for (QAction* item : source_items_ + pattern_items_ + QList<QAction*>{forced_error_item_}) {
    item->setCheckable(true);
  }
}

void TBitsyncLaMmiForm::contextMenuEvent(QContextMenuEvent* event) {
  menu_->popup(event->globalPos());
}

void TBitsyncLaMmiForm::CheckBoxClicked() {
  for (const auto& [box, field] : check_boxes_) setup_.*field = box->isChecked() ? 1 : 0;
  NotifyChange();
}

void TBitsyncLaMmiForm::ChoosePatternSource(int source) {
  if (source == 2) {
    setup_.BerTestingEnabled = 0;
  } else {
    setup_.BerTestingEnabled = 1;
    setup_.ExtBerMode = static_cast<uint8_t>(source);
  }
  NotifyChange();
}

void TBitsyncLaMmiForm::ChoosePattern(int pattern_15_bit) {
  setup_.Pattern15Bit = static_cast<uint8_t>(pattern_15_bit);
  NotifyChange();
}

void TBitsyncLaMmiForm::ToggleForcedError() {
  setup_.KnownErrorMode = setup_.KnownErrorMode ? 0 : 1;
  NotifyChange();
}

void TBitsyncLaMmiForm::NotifyChange() {
  notify_(kLinkAnalysisChangedMessage);
  RebuildTexts();
}

void TBitsyncLaMmiForm::RebuildTexts() {
  for (const auto& [box, field] : check_boxes_) box->setChecked(setup_.*field != 0);
  const int source = !setup_.BerTestingEnabled ? 2 : setup_.ExtBerMode ? 1 : 0;
  for (QAction* item : source_items_) item->setChecked(MenuItemTag(*item) == source);
  rows_.SetValue("Pattern Source", source_items_[source]->text());
  const int pattern = setup_.Pattern15Bit ? 1 : 0;
  for (QAction* item : pattern_items_) item->setChecked(MenuItemTag(*item) == pattern);
  rows_.SetValue("PRN Pattern", pattern_items_[pattern]->text());
  forced_error_item_->setChecked(setup_.KnownErrorMode != 0);
  rows_.SetValue("Forced Error", setup_.KnownErrorMode ? "On" : "Off");
  const bool testing = setup_.BerTestingEnabled != 0;
  for (const char* caption : {"PRN Pattern", "Forced Error", "Error Count", "BER"}) {
    rows_.SetVisible(caption, testing);
  }
  pattern_menu_->menuAction()->setVisible(testing);
  forced_error_item_->setVisible(testing);
}

void TBitsyncLaMmiForm::RefreshValues() {
  const auto text = [](const std::string& value) { return QString::fromStdString(value); };
  rows_.SetValue("Bit Rate", text(FormatFixed(9, 0, status_.programmed_bit_rate)));
  rows_.SetValue("Error Count", setup_.BerTestingEnabled
                                    ? text(FormatFixed(12, 0, status_.error_count))
                                    : QString("0"));
  rows_.SetValue("Clock Count", text(FormatFixed(12, 0, status_.bit_count)));
  rows_.SetValue("Offset Freq (Hz)", text(FormatExponent(5, 4, status_.offset_frequency)));
  rows_.SetValue("AGC Threshold (V)", text(FormatFixed(12, 1, status_.signal_voltage)));
  rows_.SetValue("Es/No (dB)", text(FormatFixed(12, 1, status_.es_no)));
  rows_.SetValue("BER", text(FormatExponent(5, 4, status_.bit_error_rate)));
}

void TBitsyncLaMmiForm::RefreshLeds(int32_t status_code) {
  SetLed(kStatusLed, LockStatusColour(status_code));
  for (size_t flag = 0; flag < std::size(kSignalLeds); ++flag) {
    SetLed(kSignalLeds[flag], status_.operational_status[flag] ? kGreen : kRed);
  }
  for (size_t flag = 0; flag < std::size(kCorrelatorLeds); ++flag) {
    const uint32_t colour = !setup_.BerTestingEnabled                 ? kGrey
                            : status_.link_analysis_status[flag] == 0 ? kGreen
                                                                      : kRed;
    SetLed(kCorrelatorLeds[flag], colour);
  }
}

void TBitsyncLaMmiForm::RefreshBuiltInTest() {
  const uint8_t* bytes = status_.built_in_test;
  for (const int bit : {0, 1, 3, 4, 5, 7}) {
    SetLed(QString("ShapeBit%1").arg(bit), GreenWhenSet(bytes[0], bit));
  }
  for (int bit = 1; bit <= 4; ++bit) {
    SetLed(QString("ShapeSintf%1").arg(bit), GreenWhenSet(bytes[1], bit));
    SetLed(QString("ShapeGen%1").arg(bit), GreenWhenSet(bytes[3], bit));
  }
  rows_.SetValue("SW Version", QString::fromStdString(FormatHex(bytes[2], 4, false)).toUpper());
  SetLed("ShapeGen6", IsBitSet(bytes[3], 6) ? kGreen : kGrey);
  for (int bit = 0; bit <= 5; ++bit) {
    SetLed(QString("ShapePw%1").arg(bit), GreenWhenSet(bytes[4], bit));
  }
}

void TBitsyncLaMmiForm::SetLed(const QString& name, uint32_t colour) {
  for (ZorvLed* led : leds_) {
    if (led->objectName() == name) led->SetColour(colour);
  }
}

QColor TBitsyncLaMmiForm::LedColour(const QString& hint) const {
  for (const ZorvLed* led : leds_) {
    if (led->toolTip() == hint || led->objectName() == hint) return led->Colour();
  }
  return QColor();
}

QCheckBox* TBitsyncLaMmiForm::CheckBox(const QString& text) const {
  for (const auto& [box, field] : check_boxes_) {
    if (box->text() == text) return box;
  }
  return nullptr;
}

void TBitsyncLaMmiForm::SetColours(const ZorvColours& colours) {
  rows_.SetColours(*this, colours);
}
