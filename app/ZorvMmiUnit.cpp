#include "app/ZorvMmiUnit.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStringList>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/BitsyncLaMmiUnit.h"
#include "app/BitsyncMmiUnit.h"
#include "app/IrigReaderMmiUnit.h"
#include "app/ZorvCardAccess.h"
#include "app/ZorvQtColours.h"
#include "dll/keltnametables.h"
#include "platform/clock.h"
#include "support/Ctimerclass.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

// The panels' width at least; wider where the desktop's font needs it.
constexpr int kPanelWidth = 212;
constexpr int kStripHeight = 39;
constexpr int kTabRowHeight = 27;
constexpr int kPanelGap = 2;
// The window's 212 pixels take the IRIG time, the lock state and "Re Load" at this size.
constexpr int kFontPoints = 8;
constexpr int kTicksPerSecond = 5;
// Closing waits this long for the call in progress; a card that takes longer is left to finish
// it in the background.
constexpr std::chrono::milliseconds kCloseWait(1000);

constexpr uint32_t kLockColours[kLockStatusCount] = {0x000000, 0x0000FF, 0x00FF00,
                                                     0x00FFFF, 0x0000FF, 0x808080};
constexpr uint32_t kUnknownStatusColour = 0x808080;

// The clicks that end a successful reload of a setup.
void ReloadClicks() {
  ClickBeep();
  platform::clock().Sleep(10);
  ClickBeep();
}

}  // namespace

uint32_t LockStatusColour(int32_t status_code) {
  const bool known = status_code >= 0 && status_code < static_cast<int32_t>(kLockStatusCount);
  return known ? kLockColours[status_code] : kUnknownStatusColour;
}

TZorvMmiForm::TZorvMmiForm(int32_t card, ZorvProgramState& state)
    : QWidget(nullptr), card_(card), state_(state) {
  // Results are shown as soon as the card's thread hands them back, not on the next tick.
  results_->SetNotify([this] {
    QMetaObject::invokeMethod(this, &TZorvMmiForm::ShowResults, Qt::QueuedConnection);
  });
  BuildWindow();
  status_code_ = 0;
  // Set from the library once the card's thread has read the options.
  Card().fsp.option_present = 0;
  RebuildTabs();
  TakeColours(state_.colours);
  edited_ = false;
  PostOpen();
  TabControl1Change(kBitsyncTab);
  SetTitle();
  // Side by side around the screen's centre, so that every card's window can be seen.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const int left = screen.center().x() - 2 * (kPanelWidth + 10) + card_ * (kPanelWidth + 10);
  move(std::max(screen.left(), left), screen.center().y() - sizeHint().height() / 2);
  show();
}

TZorvMmiForm::~TZorvMmiForm() {
  results_->Close();
}

CardWindowFactory TZorvMmiForm::Factory() {
  return [](int32_t card, ZorvProgramState& state) -> std::unique_ptr<ZorvCardWindow> {
    return std::make_unique<TZorvMmiForm>(card, state);
  };
}

void TZorvMmiForm::BuildWindow() {
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
  setAutoFillBackground(true);
  QFont small = font();
  small.setPointSize(kFontPoints);
  setFont(small);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->setSizeConstraint(QLayout::SetFixedSize);

  strip_ = new QFrame(this);
  strip_->setFixedHeight(kStripHeight);
  strip_->setMinimumWidth(kPanelWidth);
  strip_->setToolTip("Irig Time and Bitsync Lock Status");
  // Two rows beside "Re Load": the IRIG time, then the lock state.
  auto* rows = new QVBoxLayout;
  rows->setSpacing(0);
  auto* time_row = new QHBoxLayout;
  time_row->setSpacing(6);
  time_row->addWidget(new QLabel("Time", strip_));
  irig_time_ = new QLabel(QString::fromStdString(FormatTimeOfYear(0)), strip_);
  time_row->addWidget(irig_time_, 1);
  rows->addLayout(time_row);
  auto* lock_row = new QHBoxLayout;
  lock_row->setSpacing(6);
  lock_row->addWidget(new QLabel("Bit Sync", strip_));
  lock_colour_ = new QFrame(strip_);
  lock_colour_->setFixedSize(25, 12);
  lock_colour_->setAutoFillBackground(true);
  lock_row->addWidget(lock_colour_);
  lock_text_ = new QLabel("NOCLK_NOSIG", strip_);
  lock_row->addWidget(lock_text_, 1);
  rows->addLayout(lock_row);
  auto* strip_layout = new QHBoxLayout(strip_);
  strip_layout->setContentsMargins(4, 2, 4, 2);
  strip_layout->setSpacing(4);
  strip_layout->addLayout(rows, 1);
  reload_ = new QPushButton("Re Load", strip_);
  reload_->setFixedWidth(reload_->fontMetrics().horizontalAdvance("Re Load") + 12);
  reload_->setToolTip("Reload entire ZORV setup");
  // The card's link monitor, from the strip's right-click menu.
  strip_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* monitor = new QAction("Monitor", strip_);
  connect(monitor, &QAction::triggered, this, [this] {
    if (state_.open_monitor) state_.open_monitor(card_);
  });
  strip_->addAction(monitor);
  strip_layout->addWidget(reload_);
  connect(reload_, &QPushButton::clicked, this, &TZorvMmiForm::PanelBitsyncReloadClick);
  column->addWidget(strip_);

  tabs_ = new QTabBar(this);
  tabs_->setFixedHeight(kTabRowHeight);
  tabs_->setMinimumWidth(kPanelWidth);
  tabs_->setExpanding(true);
  tabs_->setDrawBase(false);
  tabs_->setToolTip("Select the data you wish to observe");
  connect(tabs_, &QTabBar::currentChanged, this, &TZorvMmiForm::TabControl1Change);
  column->addWidget(tabs_);
  column->addSpacing(kPanelGap);

  panels_ = new QStackedWidget(this);
  const auto notify = [this](int message) { ServeChangeMessage(message); };
  CardData& card = Card();
  bitsync_panel_ =
      new TBitsyncMmiForm(*this, notify, card.fsp, card.quick_react_mode,
                          card.input_source_flag != 0, card.bitsync_setup, state_.marker_file);
  irig_panel_ = new TIrigReaderMmiForm(*this, notify, false, card.irig_words[0], card.irig_setup);
  link_analysis_panel_ = new TBitsyncLaMmiForm(*this, notify, card.status, card.bitsync_setup);
  panel_at_tab_ = {bitsync_panel_, irig_panel_, link_analysis_panel_};
  for (QWidget* panel : panel_at_tab_) panels_->addWidget(panel);
  column->addWidget(panels_);

  refusal_ = new QLabel(this);
  refusal_->setWordWrap(true);
  refusal_->setAutoFillBackground(true);
  refusal_->setContentsMargins(4, 2, 4, 2);
  QPalette warning = refusal_->palette();
  warning.setColor(QPalette::Window, QColor(255, 255, 160));
  warning.setColor(QPalette::WindowText, Qt::black);
  refusal_->setPalette(warning);
  refusal_->hide();
  column->addWidget(refusal_);
}

LinkMonitor& TZorvMmiForm::Monitor() const {
  return state_.Monitor(card_);
}

CardData& TZorvMmiForm::Card() const {
  return state_.zorv->cards[card_];
}

void TZorvMmiForm::SetTitle() {
  QString title = QString("ZORV Card %1").arg(card_ + 1);
  if (edited_) title.prepend("*");
  if (state_.emulated) title += " EMULATED";
  if (Zorv().simulate) title += " SIMULATED";
  setWindowTitle(title);
}

void TZorvMmiForm::RebuildTabs() {
  const QSignalBlocker quiet(tabs_);
  while (tabs_->count() > 0) tabs_->removeTab(0);
  tabs_->addTab("Bitsync");
  tabs_->addTab("IRIG");
  if (Card().status.option_ber_test || Zorv().simulate) tabs_->addTab("Built In Test");
  tabs_->setCurrentIndex(kBitsyncTab);
  ShowPanel(kBitsyncTab);
}

void TZorvMmiForm::ShowPanel(int index) {
  if (index >= 0 && index < static_cast<int>(panel_at_tab_.size())) {
    panels_->setCurrentWidget(panel_at_tab_[static_cast<size_t>(index)]);
  }
}

QWidget* TZorvMmiForm::VisiblePanel() const {
  return panels_->currentWidget();
}

void TZorvMmiForm::TakeColours(const ZorvColours& colours) {
  colours_ = colours;
  QPalette window = palette();
  window.setColor(QPalette::Window, ToQColor(colours.background));
  window.setColor(QPalette::WindowText, ToQColor(colours.text));
  setPalette(window);
  bitsync_panel_->SetColours(colours);
  irig_panel_->SetColours(colours);
  link_analysis_panel_->SetColours(colours);
  // New colours come with new setups (a recall, a switch): the panels show them.
  bitsync_panel_->Refresh();
  irig_panel_->RebuildTexts();
  link_analysis_panel_->RebuildTexts();
}

void TZorvMmiForm::BringToFront() {
  show();
  raise();
  activateWindow();
}

void TZorvMmiForm::ReloadSetups() {
  PostIrigReload(false);
  PostBitsyncReload(false, false);
}

void TZorvMmiForm::Refresh() {
  edited_ = false;
  SetTitle();
  RebuildTabs();
}

void TZorvMmiForm::MarkSaved() {
  edited_ = false;
  SetTitle();
}

void TZorvMmiForm::ServeChangeMessage(int message) {
  switch (message) {
    case kLinkAnalysisChangedMessage:
      PostBitsyncReload(false, true);
      break;
    case kBitsyncChangedMessage:
      PostBitsyncReload(true, true);
      break;
    case kIrigChangedMessage:
      PostIrigReload(true);
      break;
    default:
      return;
  }
  edited_ = true;
  SetTitle();
}

void TZorvMmiForm::PanelBitsyncReloadClick() {
  PostIrigReload(false);
  PostBitsyncReload(false, false);
  SetTitle();
}

void TZorvMmiForm::TabControl1Change(int index) {
  ShowPanel(index);
  // A tab change stops a running bit error test and its forced errors.
  Card().bitsync_setup.BerTestingEnabled = 0;
  Card().bitsync_setup.KnownErrorMode = 0;
  PanelBitsyncReloadClick();
  if (VisiblePanel() == link_analysis_panel_) link_analysis_panel_->RebuildTexts();
}

void TZorvMmiForm::Tick(bool fifth_tick) {
  ShowResults();
  if (state_.shutting_down || closed_) return;
  PostIrigRefresh();
  DriveThread();
  if (fifth_tick) {
    PostFspCountRefresh();
    Monitor().TakeSample(MonitorNow());
  }
}

void TZorvMmiForm::ShowResults() {
  results_->Drain();
}

bool TZorvMmiForm::Settle(std::chrono::milliseconds bound) {
  const bool idle = threads_->WaitIdle(bound);
  ShowResults();
  return idle;
}

bool TZorvMmiForm::HoldCard(std::chrono::milliseconds bound) {
  return threads_->Hold(bound);
}

void TZorvMmiForm::ReleaseCard() {
  threads_->Release();
}

bool TZorvMmiForm::EndCardThreads(std::chrono::milliseconds bound) {
  results_->Close();
  return threads_->End(bound);
}

void TZorvMmiForm::closeEvent(QCloseEvent* event) {
  closed_ = true;
  EndCardThreads(kCloseWait);
  event->accept();
}

void TZorvMmiForm::PostOpen() {
  BitsyncStatusData options = Card().status;
  FspSettings fsp = Card().fsp;
  progzorvclass& zorv = Zorv();
  threads_->Bitsync().Post(CardLane::kChange, [results = results_, &zorv, card = card_, options,
                                               fsp, window = this]() mutable {
    zorv.GetBitsyncOptions(card, options);
    zorv.GetBsEnableFspOption(card, fsp);
    results->Post([window, options, fsp] {
      CardData& data = window->Card();
      data.status.option_20_mbit = options.option_20_mbit;
      data.status.option_ber_test = options.option_ber_test;
      data.fsp.option_present = fsp.option_present;
      window->RebuildTabs();
      window->bitsync_panel_->Refresh();
      window->creating_ = false;
    });
  });
}

void TZorvMmiForm::PostIrigReload(bool message_click) {
  const IrigSetup setup = Card().irig_setup;
  progzorvclass& zorv = Zorv();
  threads_->Irig().Post(CardLane::kChange, [results = results_, &zorv, card = card_, setup,
                                            message_click, window = this] {
    const bool taken = zorv.LoadIrigSetup(card, setup);
    if (taken) {
      ReloadClicks();
      if (message_click) ClickBeep();
    } else {
      ErrorBeep();
    }
    results->Post([window, taken, setup] {
      if (taken) window->Monitor().OnIrigSetupLoaded(MonitorNow(), setup);
      window->ShowChangeTaken(kIrigPart, taken, "The card did not take the IRIG setup.");
    });
  });
}

void TZorvMmiForm::PostBitsyncReload(bool apply_fsp, bool message_click) {
  const BitsyncSetup sent = BitsyncSetupToSend(Card().bitsync_setup, state_.marker_file);
  const uint8_t quick_react = Card().quick_react_mode;
  const FspSettings fsp = Card().fsp;
  progzorvclass& zorv = Zorv();
  threads_->Bitsync().Post(
      CardLane::kChange, [results = results_, &zorv, card = card_, sent, quick_react, fsp,
                          apply_fsp, message_click, window = this] {
        const bool taken = LoadBitsyncSetupAndQuickReact(zorv, card, sent, quick_react);
        if (taken) ReloadClicks();
        bool fsp_taken = true;
        if (apply_fsp && fsp.option_present) {
          const int32_t* p = fsp.parameters;
          fsp_taken = fsp.mode_on ? zorv.EnableBitsyncFspMode(card, p[0], p[1], p[2], p[3], p[4])
                                  : zorv.DisableBitsyncFspMode(card);
        }
        if (taken && fsp_taken) {
          if (message_click) ClickBeep();
        } else {
          ErrorBeep();
        }
        results->Post([window, taken, fsp_taken, fsp_mode_on = fsp.mode_on, sent] {
          if (!fsp_taken && fsp_mode_on) window->Card().fsp.mode_on = 0;
          if (taken) window->Monitor().OnSetupLoaded(MonitorNow(), sent);
          window->ShowChangeTaken(kBitsyncPart, taken && fsp_taken,
                                  !taken ? "The card did not take the bitsync setup."
                                         : "The card did not take the FSP mode.");
        });
      });
}

void TZorvMmiForm::ShowChangeTaken(CardPart part, bool taken, const std::string& refusal) {
  if (!taken) Monitor().OnChangeRefused(MonitorNow(), refusal);
  refusals_[part] = taken ? std::string() : refusal;
  QStringList standing;
  for (const std::string& text : refusals_) {
    if (!text.empty()) standing << QString::fromStdString(text);
  }
  refusal_->setText(standing.join('\n'));
  refusal_->setVisible(!standing.isEmpty());
}

void TZorvMmiForm::PostIrigRefresh() {
  // One read at a time: a slow reader is not asked again before it answered.
  if (threads_->Irig().Busy(CardLane::kStrip)) return;
  const IrigSetup setup = Card().irig_setup;
  progzorvclass& zorv = Zorv();
  threads_->Irig().Post(CardLane::kStrip, [results = results_, &zorv, card = card_, setup,
                                           state = &state_, window = this] {
    if (state->shutting_down) return;
    double seconds = 0;
    int32_t status = 0;
    // The monitor compares the IRIG time with the PC clock to the millisecond: the time of the
    // read is taken here, around the call, not when the window shows it.
    const MonitorTime before = MonitorNow();
    ReadIrigTime(zorv, card, seconds);
    const MonitorTime read_at = Midpoint(before, MonitorNow());
    ReadIrigStatus(zorv, card, setup, status);
    results->Post([window, seconds, status, read_at] {
      window->irig_time_->setText(QString::fromStdString(FormatTimeOfYear(seconds)));
      window->irig_panel_->ShowTimeAndStatus(status, seconds);
      window->Monitor().OnIrig(read_at, seconds, status);
    });
  });
}

void TZorvMmiForm::DriveThread() {
  if (!isVisible()) return;
  int32_t& counter = state_.trigger_counter[card_];
  if (counter == 0) {
    PostPollingPass();
  } else {
    PostStripRead();
  }
  if (++counter >= kTicksPerSecond) counter = 0;
}

void TZorvMmiForm::PostStripRead() {
  if (threads_->Bitsync().Busy(CardLane::kStrip)) return;
  progzorvclass& zorv = Zorv();
  threads_->Bitsync().Post(
      CardLane::kStrip, [results = results_, &zorv, card = card_, state = &state_, window = this] {
        if (state->shutting_down) return;
        int32_t status = 0;
        ReadLockStatus(zorv, card, status);
        results->Post([window, status, read_at = std::chrono::steady_clock::now()] {
          window->ShowStatus(status, read_at);
        });
      });
}

void TZorvMmiForm::PostPollingPass() {
  // One pass at a time; none while the window opens or for a card that is not polled.
  if (creating_ || threads_->Bitsync().Busy(CardLane::kPoll)) return;
  if (!IsPolled(Card(), status_code_)) return;
  int32_t& group = state_.poll_group_counter[card_];
  const bool ber_testing = Card().bitsync_setup.BerTestingEnabled != 0;
  auto read_values = std::make_shared<BitsyncStatusData>(Card().status);
  progzorvclass& zorv = Zorv();
  CardWorker& thread = threads_->Bitsync();
  // Call by call, so that the operator's changes and the strip's reads run between two calls.
  for (StatusRead read : PollGroupReads(group, ber_testing)) {
    thread.Post(CardLane::kPoll, [&zorv, card = card_, read, read_values, state = &state_] {
      if (!state->shutting_down) (zorv.*read)(card, *read_values);
    });
  }
  thread.Post(CardLane::kPoll, [results = results_, read_values, ber_testing, window = this] {
    if (ber_testing) UpdateBitErrorRate(*read_values);
    results->Post([window, read_values, ber_testing] {
      window->Card().status = *read_values;
      window->Monitor().OnPolledValues(MonitorNow(), *read_values, ber_testing);
      window->RefreshLinkAnalysis();
      window->link_analysis_panel_->RefreshBuiltInTest();
    });
  });
  if (++group > 1) group = 0;
}

void TZorvMmiForm::PostFspCountRefresh() {
  if (creating_ || !Card().fsp.option_present) return;
  if (!Card().fsp.mode_on) {
    Card().fsp.count = 0;
    return;
  }
  if (threads_->Bitsync().Busy(CardLane::kStrip)) return;
  progzorvclass& zorv = Zorv();
  threads_->Bitsync().Post(CardLane::kStrip,
                           [results = results_, &zorv, card = card_, count = Card().fsp.count,
                            state = &state_, window = this]() mutable {
                             if (state->shutting_down) return;
                             zorv.GetBitsyncFspCount(card, count);
                             results->Post([window, count] { window->Card().fsp.count = count; });
                           });
}

void TZorvMmiForm::ShowStatus(int32_t status, std::chrono::steady_clock::time_point read_at) {
  status_code_ = status;
  lock_state_read_at_ = read_at;
  Monitor().OnLockStatus(MonitorNow(), status);
  const bool known = status >= 0 && status < static_cast<int32_t>(kLockStatusCount);
  QString text = known ? kLockStatusNames[status] : "";
  const FspSettings& fsp = Card().fsp;
  if (fsp.option_present && fsp.mode_on) {
    text += " " + QString::fromStdString(FormatFixed(6, 0, fsp.count));
  }
  lock_text_->setText(text);
  QPalette fill = lock_colour_->palette();
  fill.setColor(QPalette::Window, ToQColor(LockStatusColour(status)));
  lock_colour_->setPalette(fill);
  RefreshLinkAnalysis();
}

void TZorvMmiForm::RefreshLinkAnalysis() {
  link_analysis_panel_->RefreshValues();
  link_analysis_panel_->RefreshLeds(status_code_);
}

QString TZorvMmiForm::LockText() const {
  return lock_text_->text();
}

QColor TZorvMmiForm::LockColour() const {
  return lock_colour_->palette().color(QPalette::Window);
}

QString TZorvMmiForm::IrigTimeText() const {
  return irig_time_->text();
}

QString TZorvMmiForm::Refusal() const {
  return refusal_->text();
}
