#include "app/BitsyncMmiUnit.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QMenu>

#include "app/BitsyncLimits.h"
#include "app/KesBorMenusUnit.h"
#include "app/ZorvMmiUnit.h"
#include "dll/keltnametables.h"
#include "support/KesBorGenUnit.h"
#include "support/KesBorPromptsUnit.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

constexpr int kWidth = 212;
constexpr int kHighestCommonSource = 3;  // without the input-source flag: SE_INPUT 1 to 4
constexpr const char* kRows[] = {"Bit Rate",      "Input Source", "Input Code",  "Loop Width",
                                 "Filter Method", "Output Code",  "Quick React", "FSP Mode"};

}  // namespace

std::string BitRateMbpsText(uint32_t bit_rate) {
  std::string text = FormatFixed(9, 9, bit_rate * 0.000001);
  ReplaceChar(text, ',', '.', false);
  const size_t point = text.find('.');
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  TrimTrailingChar(fraction, '0');
  return text.substr(0, point) + "." + (fraction.empty() ? std::string("0") : fraction) + " Mbps";
}

TBitsyncMmiForm::TBitsyncMmiForm(QWidget& card_window, std::function<void(int)> notify,
                                 FspSettings& fsp, uint8_t& quick_react_mode,
                                 bool input_source_flag, BitsyncSetup& setup, bool marker_file)
    : QWidget(&card_window),
      notify_(std::move(notify)),
      fsp_(fsp),
      quick_react_mode_(quick_react_mode),
      input_source_flag_(input_source_flag),
      setup_(setup),
      marker_file_(marker_file),
      alternate_model_(IsAlternateBitsyncModel(setup.Model)) {
  setMinimumWidth(kWidth);
  setAutoFillBackground(true);
  setToolTip("Right click to set up the bitsync");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setVerticalSpacing(1);
  grid->setColumnStretch(1, 1);
  for (const char* caption : kRows) rows_.Add(*this, *grid, caption);
  clock_90_ = new QCheckBox("90 Deg Clk Out", this);
  clock_90_->setLayoutDirection(Qt::RightToLeft);  // the text left of the box
  grid->addWidget(clock_90_, grid->rowCount(), 0, 1, 2, Qt::AlignLeft);
  grid->setRowStretch(grid->rowCount(), 1);
  // Only the operator's clicks count: setting the box from the record sends nothing.
  connect(clock_90_, &QCheckBox::clicked, this, &TBitsyncMmiForm::ClockOut90DegreesClicked);
  BuildMenu();
  quick_react_item_->setVisible(!alternate_model_ && input_source_flag_);
  Refresh();
}

QMenu* TBitsyncMmiForm::AddCodeMenu(const char* name, const char* caption, int first_code,
                                    const char* const* names, int count, bool with_5_0,
                                    void (TBitsyncMmiForm::*choose)(int code)) {
  QMenu* submenu = AddSubMenu(*menu_, *menu_, name, 0, caption);
  ClearMenuItems(*submenu);
  const MenuClickHandler handler = [this, choose](QAction& item) {
    (this->*choose)(MenuItemTag(item));
  };
  int number = static_cast<int>(submenu->actions().size());
  if (with_5_0) {
    AddMenuItem(*menu_, *submenu, QString("%1%2").arg(name).arg(number++), handler, -1, "5.0");
  }
  for (int index = 0; index < count; ++index) {
    AddMenuItem(*menu_, *submenu, QString("%1%2").arg(name).arg(number++), handler,
                first_code + index, names[index]);
  }
  code_menus_.append(submenu);
  return submenu;
}

void TBitsyncMmiForm::BuildMenu() {
  menu_ = new QMenu(this);
  AddMenuItem(
      *menu_, *menu_, "BitRate", [this](QAction&) { AskBitRate(); }, 0, "Bit Rate ");
  const int sources =
      input_source_flag_ ? static_cast<int>(kInputSourceCount) : kHighestCommonSource + 1;
  AddCodeMenu("SubMenuInputSource", "Input Source", 0, kInputSourcePlainNames, sources, false,
              &TBitsyncMmiForm::ChooseInputSource);
  AddCodeMenu("SubMenuInputCode", "Input Code", 0, kInputCodeNames,
              static_cast<int>(kInputCodeCount), false, &TBitsyncMmiForm::ChooseInputCode);
  // Marker-file stations count their codes from 1, with "5.0" below them.
  const int bandwidth_offset = marker_file_ ? 1 : 0;
  if (alternate_model_) {
    AddCodeMenu("SubMenuLoopBandwidth", "Loop Bandwidth", bandwidth_offset, kLoopBandwidth17Names,
                static_cast<int>(kLoopBandwidth17Count), marker_file_,
                &TBitsyncMmiForm::ChooseLoopBandwidth);
  } else {
    AddCodeMenu("SubMenuLoopBandwidth", "Loop Bandwidth", bandwidth_offset, kLoopBandwidthNames,
                static_cast<int>(kLoopBandwidthCount), marker_file_,
                &TBitsyncMmiForm::ChooseLoopBandwidth);
  }
  filter_item_ = AddMenuItem(
      *menu_, *menu_, "UseFilter", [this](QAction&) { ToggleFilter(); }, 0, "Use Filter");
  filter_item_->setCheckable(true);
  output_code_menu_ =
      AddCodeMenu("SubMenuOutputCode", "Output Code", 0, kOutputCodeNames,
                  static_cast<int>(kOutputCodeCount), false, &TBitsyncMmiForm::ChooseOutputCode);
  menu_->addSeparator();
  quick_react_item_ = AddMenuItem(
      *menu_, *menu_, "QuickReactMode", [this](QAction&) { ToggleQuickReact(); }, 0,
      "Quick React Mode");
  quick_react_item_->setCheckable(true);
  menu_->addSeparator();
  fsp_item_ = AddMenuItem(
      *menu_, *menu_, "FspMode", [this](QAction&) { ToggleFspMode(); }, 0, "FSP Mode");
  fsp_item_->setCheckable(true);
  for (QMenu* submenu : code_menus_) {
    for (QAction* item : submenu->actions()) item->setCheckable(true);
  }
}

void TBitsyncMmiForm::contextMenuEvent(QContextMenuEvent* event) {
  menu_->popup(event->globalPos());
}

void TBitsyncMmiForm::AskBitRate() {
  auto value = static_cast<int32_t>(setup_.BitRate);
  const auto maximum = static_cast<int32_t>(MaximumBitRate(setup_.Model, setup_.InputCode));
  if (!PromptForInteger("Enter the Bit Rate", value, maximum, 10,
                        static_cast<int32_t>(kMinimumBitRate))) {
    ErrorBeep();
  }
  setup_.BitRate = static_cast<uint32_t>(value);
  ApplyBandwidthLimit(setup_, marker_file_);
  NotifyChange();
}

void TBitsyncMmiForm::ChooseInputSource(int code) {
  setup_.InputSource = code;
  NotifyChange();
}

void TBitsyncMmiForm::ChooseInputCode(int code) {
  ::ChooseInputCode(setup_, code, marker_file_);
  NotifyChange();
}

void TBitsyncMmiForm::ChooseLoopBandwidth(int code) {
  setup_.LoopBandwidth = code;
  ApplyBandwidthLimit(setup_, marker_file_);
  NotifyChange();
}

void TBitsyncMmiForm::ChooseOutputCode(int code) {
  setup_.OutputCode = code;
  NotifyChange();
}

void TBitsyncMmiForm::ToggleFilter() {
  setup_.BitDecisionDetector = setup_.BitDecisionDetector ? 0 : 1;
  NotifyChange();
}

void TBitsyncMmiForm::ToggleQuickReact() {
  quick_react_mode_ = quick_react_mode_ ? 0 : 1;
  NotifyChange();
}

void TBitsyncMmiForm::ToggleFspMode() {
  if (!fsp_.option_present) return;
  fsp_.mode_on = fsp_.mode_on ? 0 : 1;
  NotifyChange();
}

void TBitsyncMmiForm::ClockOut90DegreesClicked(bool checked) {
  setup_.Do90DegClkOut = checked ? 1 : 0;
  NotifyChange();
}

void TBitsyncMmiForm::NotifyChange() {
  notify_(kBitsyncChangedMessage);
  Refresh();
}

QString TBitsyncMmiForm::LoopBandwidthText() const {
  const int32_t code = setup_.LoopBandwidth;
  if (alternate_model_) return TableName(kLoopBandwidth17Names, code);
  if (marker_file_) return code < 0 ? "5.0" : TableName(kLoopBandwidthNames, code - 1);
  return TableName(kLoopBandwidthNames, code);
}

void TBitsyncMmiForm::Refresh() {
  rows_.SetVisible("Output Code", !alternate_model_);
  output_code_menu_->menuAction()->setVisible(!alternate_model_);
  rows_.SetValue("Bit Rate", QString::fromStdString(BitRateMbpsText(setup_.BitRate)));
  rows_.SetValue("Input Source", TableName(kInputSourcePlainNames, setup_.InputSource));
  rows_.SetValue("Input Code", TableName(kInputCodeNames, setup_.InputCode));
  rows_.SetValue("Loop Width", LoopBandwidthText());
  const bool filter = !setup_.BitDecisionDetector;
  rows_.SetValue("Filter Method", !filter            ? "NONE"
                                  : alternate_model_ ? "USE FILTER SAMPLE"
                                                     : "USE RRC FILTER");
  filter_item_->setChecked(filter);
  rows_.SetValue("Quick React", quick_react_mode_ ? "ON" : "OFF");
  quick_react_item_->setChecked(quick_react_mode_ != 0);
  rows_.SetValue("Output Code", TableName(kOutputCodeNames, setup_.OutputCode));
  clock_90_->setChecked(setup_.Do90DegClkOut != 0);
  rows_.SetVisible("FSP Mode", fsp_.option_present != 0);
  fsp_item_->setVisible(fsp_.option_present != 0);
  fsp_item_->setChecked(fsp_.mode_on != 0);
  rows_.SetValue("FSP Mode", fsp_.mode_on ? "ON" : "OFF");
  // The current choice of each list is checked.
  const int32_t chosen[] = {setup_.InputSource, setup_.InputCode, setup_.LoopBandwidth,
                            setup_.OutputCode};
  for (qsizetype menu = 0; menu < code_menus_.size(); ++menu) {
    for (QAction* item : code_menus_[menu]->actions()) {
      item->setChecked(MenuItemTag(*item) == chosen[menu]);
    }
  }
  SetColours(colours_);
}

void TBitsyncMmiForm::SetColours(const ZorvColours& colours) {
  colours_ = colours;
  rows_.SetColours(*this, colours);
}
