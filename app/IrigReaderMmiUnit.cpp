#include "app/IrigReaderMmiUnit.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <iterator>

#include "app/KesBorMenusUnit.h"
#include "app/ZorvCardAccess.h"
#include "app/ZorvMmiUnit.h"
#include "app/ZorvSetupFiles.h"
#include "platform/clock.h"
#include "support/Ctimerclass.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

constexpr int kWidth = 212;
constexpr int kHeight = 108;
constexpr const char* kTrackRateNames[] = {"REALTIME", "HALF RATE", "TWICE RATE"};
constexpr const char* kRows[] = {"Time", "Status", "Code", "Source", "Flywheel", "Track"};

}  // namespace

TIrigReaderMmiForm::TIrigReaderMmiForm(QWidget& card_window, std::function<void(int)> notify,
                                       bool restricted, int32_t& track_rate, IrigSetup& setup)
    : QWidget(&card_window),
      notify_(std::move(notify)),
      restricted_(restricted),
      track_rate_(track_rate),
      setup_(setup) {
  setMinimumSize(kWidth, kHeight);
  setAutoFillBackground(true);
  setToolTip("Right click to set up the Irig Reader");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setVerticalSpacing(0);
  auto* heading = new QLabel("IRIG", this);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  grid->addWidget(heading, 0, 0, 1, 2);
  for (const char* row : kRows) rows_.Add(*this, *grid, row);
  grid->setRowStretch(grid->rowCount(), 1);
  grid->setColumnStretch(1, 1);
  BuildMenu();
  RebuildTexts();
}

QAction* TIrigReaderMmiForm::AddChoice(QMenu& parent, const char* name, int tag,
                                       const char* caption,
                                       void (TIrigReaderMmiForm::*choose)(int tag)) {
  QAction* item = AddMenuItem(
      *menu_, parent, name,
      [this, choose](QAction& chosen) { (this->*choose)(MenuItemTag(chosen)); }, tag, caption);
  item->setCheckable(true);
  return item;
}

void TIrigReaderMmiForm::BuildMenu() {
  menu_ = new QMenu(this);
  QMenu* code = AddSubMenu(*menu_, *menu_, "IrigCode", 0, "IRIG Code");
  code_items_ = {AddChoice(*code, "IrigA", 1, "IRIG A", &TIrigReaderMmiForm::ChooseCode),
                 AddChoice(*code, "IrigB", 0, "IRIG B", &TIrigReaderMmiForm::ChooseCode),
                 AddChoice(*code, "IrigG", 2, "IRIG G", &TIrigReaderMmiForm::ChooseCode)};
  code_items_[2]->setVisible(!restricted_);
  QMenu* source = AddSubMenu(*menu_, *menu_, "InputSource", 0, "Input Source");
  source_items_ = {
      AddChoice(*source, "Internal", 0, "Internal", &TIrigReaderMmiForm::ChooseSource),
      AddChoice(*source, "External", 1, "External", &TIrigReaderMmiForm::ChooseSource)};
  flywheel_item_ = AddChoice(*menu_, "FlywheelEnabled", 0, "Flywheel Enabled",
                             &TIrigReaderMmiForm::ToggleFlywheel);
  QMenu* track = AddSubMenu(*menu_, *menu_, "TrackRate", 0, "Track Rate");
  track_items_ = {
      AddChoice(*track, "RealTime", 0, "Real Time", &TIrigReaderMmiForm::ChooseTrackRate),
      AddChoice(*track, "HalfSpeed", 1, "Half Speed", &TIrigReaderMmiForm::ChooseTrackRate),
      AddChoice(*track, "DoubleSpeed", 2, "Double Speed", &TIrigReaderMmiForm::ChooseTrackRate)};
  track_items_[1]->setEnabled(!restricted_);
  track_items_[2]->setEnabled(!restricted_);
  menu_->addSeparator();
  // The seed-time entry is not offered.
  QAction* seed =
      AddMenuItem(*menu_, *menu_, "SeedToSpecifiedTime", nullptr, 0, "Seed to Specified Time");
  seed->setVisible(false);
  seed->setEnabled(!restricted_);
}

void TIrigReaderMmiForm::contextMenuEvent(QContextMenuEvent* event) {
  menu_->popup(event->globalPos());
}

void TIrigReaderMmiForm::ChooseCode(int code) {
  setup_.SourceFormat = code;
  NotifyChange();
}

void TIrigReaderMmiForm::ChooseSource(int external) {
  setup_.SourceExternal = static_cast<uint8_t>(external);
  NotifyChange();
}

void TIrigReaderMmiForm::ToggleFlywheel(int) {
  setup_.FlywheelEnabled = setup_.FlywheelEnabled ? 0 : 1;
  NotifyChange();
}

// The track rate is only shown: it is neither sent to the card nor kept in setup files.
void TIrigReaderMmiForm::ChooseTrackRate(int rate) {
  track_rate_ = rate;
  NotifyChange();
}

void TIrigReaderMmiForm::NotifyChange() {
  RebuildTexts();
  notify_(kIrigChangedMessage);
  ClickBeep();
  platform::clock().Sleep(10);
  ClickBeep();
}

void TIrigReaderMmiForm::RebuildTexts() {
  for (QAction* item : code_items_) item->setChecked(MenuItemTag(*item) == setup_.SourceFormat);
  for (QAction* item : source_items_) {
    item->setChecked(MenuItemTag(*item) == (setup_.SourceExternal ? 1 : 0));
  }
  flywheel_item_->setChecked(setup_.FlywheelEnabled != 0);
  for (QAction* item : track_items_) item->setChecked(MenuItemTag(*item) == track_rate_);
  rows_.SetValue("Code", TableName(kIrigCodeNames, setup_.SourceFormat));
  rows_.SetValue("Source", setup_.SourceExternal ? "External" : "Internal RTC");
  rows_.SetValue("Flywheel", setup_.FlywheelEnabled ? "Enabled" : "Off");
  rows_.SetValue("Track", TableName(kTrackRateNames, track_rate_));
  ShowTimeAndStatus(last_status_, last_time_);
  SetColours(colours_);
}

void TIrigReaderMmiForm::ShowTimeAndStatus(int32_t status, double seconds) {
  last_status_ = status;
  last_time_ = seconds;
  rows_.SetValue("Time", QString::fromStdString(FormatTimeOfYear(seconds)));
  rows_.SetValue("Status",
                 QString::fromStdString(IrigStatusText(status, setup_.SourceExternal != 0)));
}

void TIrigReaderMmiForm::SetColours(const ZorvColours& colours) {
  colours_ = colours;
  rows_.SetColours(*this, colours);
}
