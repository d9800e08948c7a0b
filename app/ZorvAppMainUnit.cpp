#include "app/ZorvAppMainUnit.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QShortcut>
#include <QShowEvent>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <vector>

#include "app/ZorvCardAccess.h"
#include "app/ZorvQtColours.h"
#include "app/ZorvSetupFiles.h"
#include "app/ZorvSingleInstance.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "support/KesBorDialogsUnit.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorPcUtilsUnit.h"
#include "support/KesWinSpeakerUnit.h"
#include "support/keserrorlog.h"

namespace {

constexpr int kTimerPeriodMs = 200;
constexpr int32_t kTicksPerSecond = 5;
// Running timer handlers and polling passes see the shutting-down flag within this time.
constexpr uint32_t kShutdownGraceMs = 50;
constexpr int kLeft = 10;
constexpr int kTop = 10;
constexpr int kWidth = 318;
constexpr int kHeight = 48;  // the menu bar and a strip below it
constexpr int kFontPoints = 8;
constexpr int32_t kAbnormalTerminationCode = 5000;
// How long the simulate/live switch waits for a card's call in progress.
constexpr std::chrono::milliseconds kCardHoldBound(2000);
// How long the shutdown waits for all card threads together.
constexpr std::chrono::milliseconds kCardThreadsEndBound(2000);
constexpr const char* kSetupFileExtension = "ZORV";

// The window whose shutdown the terminate handler runs.
TZorvAppMainForm* running_form = nullptr;

[[noreturn]] void AbnormalTermination() {
  ErrorBeep();
  LogLine("Abnormal Program Termination", kAbnormalTerminationCode);
  if (running_form) running_form->Shutdown();
  std::abort();
}

void ChangeToStartDirectory() {
  ReturnToStartDirectory(StartDirectory);
}

}  // namespace

std::string MainCaption(bool edited, bool emulated, const std::string& last_setup_file,
                        bool simulate) {
  std::string caption = std::string(edited ? "*" : "") + "ZorvApp" + "  Ver " + kZorvAppVersion;
  if (emulated) caption += "  EMULATED";
  caption += "  " + FileBaseName(last_setup_file);
  if (simulate) caption += "  SIMULATION";
  return caption;
}

TZorvAppMainForm::TZorvAppMainForm(ZorvAppParts parts) : parts_(std::move(parts)) {
  single_instance_ = std::make_unique<platform::InstanceGuard>(kSingleInstanceName);
  if (single_instance_->AlreadyRunning()) {
    ShowMessage("ALREADY HAVE THE PROGRAM RUNNING.  KILL IT FIRST!", "RUN FAIL",
                MessageButtons::kOk, MessageIcon::kError);
    std::_Exit(EXIT_FAILURE);
  }
  QFont small = font();
  small.setPointSize(kFontPoints);
  setFont(small);
  QPalette navy = palette();
  navy.setColor(QPalette::Window, ToQColor(0x800000));
  setPalette(navy);
  setAutoFillBackground(true);
  resize(kWidth, kHeight);
  BuildMenu();
  timer_.setInterval(kTimerPeriodMs);
  connect(&timer_, &QTimer::timeout, this, &TZorvAppMainForm::Timer5HzTimer);
  // The main window takes Ctrl+Z before any of its controls.
  auto* switch_key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
  connect(switch_key, &QShortcut::activated, this, &TZorvAppMainForm::RequestSwitch);
}

TZorvAppMainForm::~TZorvAppMainForm() {
  Shutdown();
}

void TZorvAppMainForm::BuildMenu() {
  QMenu* file = menuBar()->addMenu("&File");
  connect(file->addAction("&Save"), &QAction::triggered, this, &TZorvAppMainForm::Save1Click);
  connect(file->addAction("Save &As"), &QAction::triggered, this, &TZorvAppMainForm::SaveAs1Click);
  connect(file->addAction("&Recall"), &QAction::triggered, this, &TZorvAppMainForm::Recall1Click);
  QMenu* setup = menuBar()->addMenu("&Setup");
  QMenu* view = menuBar()->addMenu("&View");
  for (int32_t card = 0; card < kMaxProgramCards; ++card) {
    card_actions_[card] = setup->addAction(QString("Card &%1").arg(card + 1));
    connect(card_actions_[card], &QAction::triggered, this, [this, card] { CardSetupClick(card); });
    monitor_actions_[card] = view->addAction(QString("Card &%1").arg(card + 1));
    connect(monitor_actions_[card], &QAction::triggered, this, [this, card] { OpenMonitor(card); });
    card_actions_[card]->setVisible(false);
    monitor_actions_[card]->setVisible(false);
  }
}

void TZorvAppMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (first_show_) FirstShow();
}

void TZorvAppMainForm::FirstShow() {
  OpenErrorLog(false, kZorvAppVersion, "ZorvApp", "", "ZorvApp");
  running_form = this;
  std::set_terminate(AbnormalTermination);
  LogPcInfo();
  state_.colours = ZorvColours{};
  colour_update_ = false;
  edited_ = false;
  state_.marker_file = FileExistsAtPath(kMarkerFileName);
  move(kLeft, kTop);
  configuration_path_ = ConfigurationFilePath();
  last_setup_file_.clear();
  zorv_ = std::make_unique<progzorvclass>(parts_.dll_locations);
  state_.zorv = zorv_.get();
  state_.may_switch = !zorv_->no_cards;
  if (!state_.may_switch) {
    LogLine("Cannot change from simulate mode because there are no ZORV cards in the machine", 1);
  }
  const std::optional<std::string> emulate = platform::EnvironmentVariable("ZORV_EMULATE");
  state_.emulated = emulate && !emulate->empty();
  for (int32_t card = 0; card < kMaxProgramCards; ++card) {
    card_actions_[card]->setVisible(card < CardCount());
    monitor_actions_[card]->setVisible(card < CardCount());
  }
  state_.open_monitor = [this](int32_t card) { OpenMonitor(card); };
  ServeMetrics();
  ReadSetupFile(configuration_path_, configuration_path_, last_setup_file_, Cards());
  RefreshAllCardWindows();
  ApplyColours();
  SetCaption();
  first_show_ = false;
  timer_.start();
}

void TZorvAppMainForm::closeEvent(QCloseEvent* event) {
  Shutdown();
  event->accept();
}

void TZorvAppMainForm::Shutdown() {
  if (shut_down_ || first_show_) return;
  shut_down_ = true;
  state_.shutting_down = true;
  timer_.stop();
  platform::clock().Sleep(kShutdownGraceMs);
  WriteConfigurationFile();
  const bool threads_ended = EndCardThreads();
  for (auto& window : monitor_windows_) window.reset();
  metrics_server_.reset();
  for (auto& window : card_windows_) window.reset();
  state_.zorv = nullptr;
  if (threads_ended) {
    zorv_.reset();
  } else {
    // A card thread is still inside the library: neither close nor unload it under that call.
    // The program ends without unloading it; the binding stays reachable from here, never
    // destroyed, so that a leak check does not take it for lost.
    card_threads_left_running_ = true;
    static auto* const abandoned_bindings = new std::vector<std::unique_ptr<progzorvclass>>();
    abandoned_bindings->push_back(std::move(zorv_));
  }
  CloseErrorLog(false);
  running_form = nullptr;
}

bool TZorvAppMainForm::EndCardThreads() {
  const auto deadline = std::chrono::steady_clock::now() + kCardThreadsEndBound;
  bool all_ended = true;
  for (int32_t card = 0; card < kMaxProgramCards; ++card) {
    if (!card_windows_[card]) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (card_windows_[card]->EndCardThreads(std::max(left, std::chrono::milliseconds(0)))) continue;
    all_ended = false;
    LogLine(
        ("Card " + std::to_string(card + 1) + " is still busy in the library at the end").c_str(),
        1);
  }
  return all_ended;
}

void TZorvAppMainForm::Timer5HzTimer() {
  if (state_.shutting_down || first_show_) return;
  bool fifth_tick = false;
  if (++tick_ == kTicksPerSecond) {
    tick_ = 0;
    fifth_tick = true;
  }
  for (int32_t card = 0; card < CardCount(); ++card) {
    if (state_.shutting_down) return;
    if (KeepOpenWindow(card)) card_windows_[card]->Tick(fifth_tick);
  }
  CollectCardEdits();
  if (switch_requested_) {
    SwitchSimulateLive();
    switch_requested_ = false;
  }
}

void TZorvAppMainForm::SwitchSimulateLive() {
  if (!state_.may_switch) {
    ClickBeep();
    return;
  }
  if (!HoldCards()) return;
  zorv_->simulate = !zorv_->simulate;
  LogLine(zorv_->simulate ? "Changed program to SIMULATE data" : "Changed program to LIVE data", 0);
  zorv_->CloseApi();
  zorv_->CountCards();
  ReleaseCards();
  RefreshAllCardWindows();
  ApplyColours();
  SetCaption();
}

bool TZorvAppMainForm::HoldCards() {
  for (int32_t card = 0; card < CardCount(); ++card) {
    if (!KeepOpenWindow(card) || card_windows_[card]->HoldCard(kCardHoldBound)) continue;
    // The library is not reopened under a call that does not return.
    for (int32_t held = 0; held <= card; ++held) {
      if (card_windows_[held]) card_windows_[held]->ReleaseCard();
    }
    ErrorBeep();
    LogLine(("Cannot change between SIMULATE and LIVE data while card " + std::to_string(card + 1) +
             " is busy")
                .c_str(),
            1);
    return false;
  }
  return true;
}

void TZorvAppMainForm::ReleaseCards() {
  for (auto& window : card_windows_) {
    if (window) window->ReleaseCard();
  }
}

void TZorvAppMainForm::CardSetupClick(int32_t card) {
  if (first_show_ || state_.shutting_down || card >= CardCount()) return;
  if (KeepOpenWindow(card)) {
    card_windows_[card]->BringToFront();
    return;
  }
  if (!parts_.card_windows) return;
  card_windows_[card] = parts_.card_windows(card, state_);
  card_windows_[card]->ReloadSetups();
  card_windows_[card]->TakeColours(state_.colours);
}

void TZorvAppMainForm::OpenMonitor(int32_t card) {
  if (first_show_ || state_.shutting_down || card < 0 || card >= CardCount()) return;
  auto& window = monitor_windows_[card];
  if (!window) {
    window = std::make_unique<TZorvMonitorForm>(card, state_.Monitor(card), state_.emulated);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void TZorvAppMainForm::ServeMetrics() {
  if (parts_.metrics_address.empty()) return;
  metrics_server_ = std::make_unique<ZorvMetricsServer>([this] {
    // Only the cards whose windows have read them: a card nobody watches has no values.
    std::vector<const LinkMonitor*> monitors;
    for (int32_t card = 0; card < CardCount(); ++card) {
      const auto& monitor = state_.monitors[static_cast<size_t>(card)];
      if (monitor && monitor->Latest().lock_status >= 0) monitors.push_back(monitor.get());
    }
    return OpenMetricsText(monitors);
  });
  std::string error;
  if (metrics_server_->Listen(parts_.metrics_address, error)) {
    LogLine(("Link metrics served on http://" + parts_.metrics_address + "/metrics").c_str(), 0);
    return;
  }
  metrics_server_.reset();
  ErrorBeep();
  LogLine(error.c_str(), 1);
  ShowMessage(error, "ERROR", MessageButtons::kOk, MessageIcon::kError);
}

bool TZorvAppMainForm::KeepOpenWindow(int32_t card) {
  std::unique_ptr<ZorvCardWindow>& window = card_windows_[card];
  if (window && window->ClosedByOperator()) window.reset();
  return window != nullptr;
}

void TZorvAppMainForm::RefreshAllCardWindows() {
  for (int32_t card = 0; card < CardCount(); ++card) {
    if (!KeepOpenWindow(card)) continue;
    card_windows_[card]->ReloadSetups();
    card_windows_[card]->Refresh();
    card_windows_[card]->TakeColours(state_.colours);
  }
}

void TZorvAppMainForm::ApplyColours() {
  if (colour_update_ || state_.shutting_down) return;
  colour_update_ = true;
  QPalette colours = palette();
  colours.setColor(QPalette::Window, ToQColor(state_.colours.background));
  colours.setColor(QPalette::WindowText, ToQColor(state_.colours.text));
  setPalette(colours);
  for (int32_t card = 0; card < CardCount(); ++card) {
    if (KeepOpenWindow(card)) card_windows_[card]->TakeColours(state_.colours);
  }
  colour_update_ = false;
}

void TZorvAppMainForm::SetCaption() {
  const bool simulate = zorv_ && zorv_->simulate;
  setWindowTitle(
      QString::fromStdString(MainCaption(edited_, state_.emulated, last_setup_file_, simulate)));
  ApplyColours();
}

void TZorvAppMainForm::CollectCardEdits() {
  if (edited_) return;
  for (int32_t card = 0; card < CardCount(); ++card) {
    if (card_windows_[card] && card_windows_[card]->Edited()) {
      edited_ = true;
      SetCaption();
      return;
    }
  }
}

int32_t TZorvAppMainForm::CardCount() const {
  return zorv_ ? std::min(zorv_->card_count, kMaxProgramCards) : 0;
}

std::span<CardData> TZorvAppMainForm::Cards() {
  return std::span<CardData>(zorv_->cards, static_cast<size_t>(CardCount()));
}

bool TZorvAppMainForm::WriteConfigurationFile() {
  ChangeToStartDirectory();
  return WriteSetupFile(configuration_path_, configuration_path_, last_setup_file_, Cards());
}

void TZorvAppMainForm::Save1Click() {
  if (first_show_ || state_.shutting_down) return;
  if (last_setup_file_.empty()) {
    SaveAs1Click();
    return;
  }
  ChangeToStartDirectory();
  const bool write_protected = IsFileWriteProtected(last_setup_file_);
  if (write_protected) {
    ErrorBeep();
    ShowMessage("The file is set to Read Only.  Fix it before saving the file", "ERROR",
                MessageButtons::kOk, MessageIcon::kError);
  }
  const bool saved =
      WriteSetupFile(last_setup_file_, configuration_path_, last_setup_file_, Cards());
  WriteConfigurationFile();
  if (!saved) {
    // The setups are not in the file: the edits stay marked, so the operator is still asked
    // before a recall discards them.
    if (!write_protected) {
      ErrorBeep();
      ShowMessage("The file " + last_setup_file_ + " could not be written", "ERROR",
                  MessageButtons::kOk, MessageIcon::kError);
    }
    return;
  }
  edited_ = false;
  SetCaption();
  for (int32_t card = 0; card < CardCount(); ++card) {
    if (KeepOpenWindow(card)) card_windows_[card]->MarkSaved();
  }
}

void TZorvAppMainForm::SaveAs1Click() {
  if (first_show_ || state_.shutting_down) return;
  ChangeToStartDirectory();
  std::string chosen;
  if (AskSaveFile(StartDirectory, kSetupFileExtension, chosen, last_setup_file_) &&
      !chosen.empty()) {
    last_setup_file_ = SetupFilePathAsKept(chosen);
    Save1Click();
  }
  ChangeToStartDirectory();
}

void TZorvAppMainForm::Recall1Click() {
  if (first_show_ || state_.shutting_down) return;
  CollectCardEdits();
  if (edited_) {
    switch (ShowMessage("Setup Edited Without Saving.  Save First?", "SAVE",
                        MessageButtons::kYesNoCancel)) {
      case MessageAnswer::kYes:
        Save1Click();
        // Not saved after all (refused, or the file dialog cancelled): keep the edits.
        if (edited_) return;
        break;
      case MessageAnswer::kNo:
        break;
      default:
        return;
    }
  }
  ChangeToStartDirectory();
  std::string chosen;
  if (!AskOpenFile(StartDirectory, kSetupFileExtension, chosen, last_setup_file_)) return;
  const std::string path = SetupFilePathAsKept(chosen);
  std::string unused_last_setup_file;
  if (!ReadSetupFile(path, configuration_path_, unused_last_setup_file, Cards())) {
    ErrorBeep();
    ShowMessage("INVALID SETUP FILE..ABORT LOAD", "INVALID FILE", MessageButtons::kOk,
                MessageIcon::kError);
    return;
  }
  edited_ = false;
  last_setup_file_ = path;
  RefreshAllCardWindows();
  SetCaption();
  ApplyColours();
  WriteConfigurationFile();
}
