#pragma once
// TZorvAppMainForm: the operator program's top-level window. It refuses a second running
// program, starts the log and the binding at its first show, restores the last state from the
// configuration file, drives the card windows from a 200 ms timer, saves and recalls setups,
// switches between simulated and live data (Ctrl+Z), and tears everything down in a fixed
// order when it closes.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <memory>
#include <span>
#include <string>

#include "app/Progzorvunit.h"
#include "app/ZorvCardWindow.h"
#include "app/ZorvMetricsServer.h"
#include "app/ZorvMonitorUnit.h"
#include "app/Zorvglobunit.h"
#include "platform/instance_guard.h"

class QAction;
class QCloseEvent;
class QShowEvent;

// How the program is put together: where the library is, how card windows are made, and where
// the link metrics are served ("ADDRESS:PORT"; nowhere when empty).
struct ZorvAppParts {
  DllLocations dll_locations = DefaultDllLocations();
  CardWindowFactory card_windows;
  std::string metrics_address;
};

// The caption: "*" in front while edited, the version, "EMULATED" when the cards are the
// emulator's, the last setup file's base name, and "SIMULATION" in simulate mode.
std::string MainCaption(bool edited, bool emulated, const std::string& last_setup_file,
                        bool simulate);

class TZorvAppMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // Refuses to run beside another operator program: says so and ends the process at once.
  explicit TZorvAppMainForm(ZorvAppParts parts);
  ~TZorvAppMainForm() override;

  // The menu handlers.
  void Save1Click();
  void SaveAs1Click();
  void Recall1Click();
  void CardSetupClick(int32_t card);
  // View > Card N: the card's link monitor.
  void OpenMonitor(int32_t card);
  // The 200 ms timer's handler.
  void Timer5HzTimer();
  // Ctrl+Z: the next tick switches between simulated and live data.
  void RequestSwitch() { switch_requested_ = true; }

  // Writes the configuration file, ends the card threads (2 s at most), deletes the card
  // windows, closes the library and the log. Runs once.
  void Shutdown();
  // A card thread was still inside the library at the shutdown: the library was left loaded,
  // and the process must end without unloading it.
  bool CardThreadsLeftRunning() const { return card_threads_left_running_; }

  // Read by tests.
  progzorvclass* Zorv() const { return state_.zorv; }
  const ZorvProgramState& State() const { return state_; }
  bool Edited() const { return edited_; }
  const std::string& LastSetupFile() const { return last_setup_file_; }
  ZorvCardWindow* CardWindow(int32_t card) const { return card_windows_[card].get(); }
  QAction* CardAction(int32_t card) const { return card_actions_[card]; }
  QAction* MonitorAction(int32_t card) const { return monitor_actions_[card]; }
  TZorvMonitorForm* MonitorWindow(int32_t card) const { return monitor_windows_[card].get(); }
  const ZorvMetricsServer* MetricsServer() const { return metrics_server_.get(); }
  QTimer& Timer() { return timer_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void FirstShow();
  void ServeMetrics();
  void SwitchSimulateLive();
  // Holds every open card window's threads; none when one of them is stuck in a call.
  bool HoldCards();
  void ReleaseCards();
  bool EndCardThreads();
  void RefreshAllCardWindows();
  void ApplyColours();
  void SetCaption();
  // Takes the card windows' edits into the main window's edited flag.
  void CollectCardEdits();
  // Deletes a window its operator closed; true when a live window is left.
  bool KeepOpenWindow(int32_t card);
  bool WriteConfigurationFile();
  int32_t CardCount() const;
  std::span<CardData> Cards();

  ZorvAppParts parts_;
  std::unique_ptr<platform::InstanceGuard> single_instance_;
  std::unique_ptr<progzorvclass> zorv_;
  ZorvProgramState state_;
  std::string configuration_path_;
  std::string last_setup_file_;
  bool first_show_ = true;
  bool switch_requested_ = false;
  bool colour_update_ = false;
  bool edited_ = false;
  bool shut_down_ = false;
  bool card_threads_left_running_ = false;
  std::array<std::unique_ptr<ZorvCardWindow>, kMaxProgramCards> card_windows_;
  std::array<QAction*, kMaxProgramCards> card_actions_{};
  std::array<QAction*, kMaxProgramCards> monitor_actions_{};
  std::array<std::unique_ptr<TZorvMonitorForm>, kMaxProgramCards> monitor_windows_;
  std::unique_ptr<ZorvMetricsServer> metrics_server_;
  QTimer timer_;
  int32_t tick_ = 0;
};
