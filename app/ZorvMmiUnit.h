#pragma once
// TZorvMmiForm: the window of one card. A status strip shows the decoded IRIG time and the lock
// state; tabs choose between the bitsync panel, the IRIG panel and the built-in test panel;
// panels report the operator's changes with a change message, and the window has the card
// programmed. All library calls for the card run on the card's own threads: the window posts
// them work and shows what they hand back, so it never waits for the card.

#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "app/CardWorker.h"
#include "app/Progzorvunit.h"
#include "app/ZorvCardWindow.h"
#include "app/Zorvglobunit.h"

class QFrame;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;
class TBitsyncLaMmiForm;
class TBitsyncMmiForm;
class TIrigReaderMmiForm;

// The change messages a panel sends its card window, served at once.
inline constexpr int kLinkAnalysisChangedMessage = 710;
inline constexpr int kBitsyncChangedMessage = 720;
inline constexpr int kIrigChangedMessage = 102400;

// The lock state's colour (0x00BBGGRR) by status code: black NOCLK_NOSIG, red SEARCH, green
// LOCK, yellow LOCK when another request held the card and its state was not read, red ERROR,
// grey DOES NOT EXIST (and any other code).
uint32_t LockStatusColour(int32_t status_code);

// Tab indexes.
inline constexpr int kBitsyncTab = 0;
inline constexpr int kIrigTab = 1;
inline constexpr int kBuiltInTestTab = 2;

class TZorvMmiForm final : public QWidget, public ZorvCardWindow {
  Q_OBJECT

 public:
  TZorvMmiForm(int32_t card, ZorvProgramState& state);
  ~TZorvMmiForm() override;

  // Makes the card windows of the program.
  static CardWindowFactory Factory();

  bool ClosedByOperator() const override { return closed_; }
  void BringToFront() override;
  void ReloadSetups() override;
  void Refresh() override;
  void TakeColours(const ZorvColours& colours) override;
  void Tick(bool fifth_tick) override;
  bool Edited() const override { return edited_; }
  void MarkSaved() override;
  bool HoldCard(std::chrono::milliseconds bound) override;
  void ReleaseCard() override;
  bool EndCardThreads(std::chrono::milliseconds bound) override;

  // A panel changed the card's setups.
  void ServeChangeMessage(int message);
  // "Re Load": the IRIG setup, then the bitsync setup, onto the card.
  void PanelBitsyncReloadClick();
  // Shows the tab's panel, stops a running bit error test and reloads the card.
  void TabControl1Change(int index);

  // Read by tests and benchmarks.
  bool Creating() const { return creating_; }
  int32_t StatusCode() const { return status_code_; }
  QString LockText() const;
  // When the card's thread read the lock state that the strip shows.
  std::chrono::steady_clock::time_point LockStateReadAt() const { return lock_state_read_at_; }
  QColor LockColour() const;
  QString IrigTimeText() const;
  // Why the card did not take the operator's last change; empty when it did.
  QString Refusal() const;
  QTabBar& Tabs() { return *tabs_; }
  TBitsyncMmiForm& BitsyncPanel() { return *bitsync_panel_; }
  TIrigReaderMmiForm& IrigPanel() { return *irig_panel_; }
  TBitsyncLaMmiForm& LinkAnalysisPanel() { return *link_analysis_panel_; }
  QWidget* VisiblePanel() const;
  const pollbitsynczorvstatusclass& CardThreads() const { return *threads_; }
  // Waits until the card's threads have nothing left to do, then shows what they handed back.
  bool Settle(std::chrono::milliseconds bound);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void SetTitle();
  void RebuildTabs();
  void ShowPanel(int index);
  void ShowResults();
  // The built-in test panel's values and LEDs from the card's status record.
  void RefreshLinkAnalysis();
  CardData& Card() const;
  LinkMonitor& Monitor() const;
  progzorvclass& Zorv() const { return *state_.zorv; }

  // Work for the card's threads.
  void PostOpen();
  void PostIrigReload(bool message_click);
  void PostBitsyncReload(bool apply_fsp, bool message_click);
  void PostIrigRefresh();
  void DriveThread();
  void PostStripRead();
  void PostPollingPass();
  void PostFspCountRefresh();

  // Results, on the window's thread.
  void ShowStatus(int32_t status, std::chrono::steady_clock::time_point read_at);
  // The card's two parts, each programmed on its own: a refusal stands until its part takes a
  // change, whatever the other part takes meanwhile.
  enum CardPart { kBitsyncPart, kIrigPart, kCardParts };
  void ShowChangeTaken(CardPart part, bool taken, const std::string& refusal);

  int32_t card_;
  ZorvProgramState& state_;
  bool creating_ = true;
  bool closed_ = false;
  bool edited_ = false;
  int32_t status_code_ = 0;
  std::chrono::steady_clock::time_point lock_state_read_at_;
  ZorvColours colours_;
  std::shared_ptr<CardResults> results_ = std::make_shared<CardResults>();
  std::unique_ptr<pollbitsynczorvstatusclass> threads_ =
      std::make_unique<pollbitsynczorvstatusclass>();

  QFrame* strip_ = nullptr;
  QLabel* irig_time_ = nullptr;
  QFrame* lock_colour_ = nullptr;
  QLabel* lock_text_ = nullptr;
  QPushButton* reload_ = nullptr;
  QTabBar* tabs_ = nullptr;
  QStackedWidget* panels_ = nullptr;
  TBitsyncMmiForm* bitsync_panel_ = nullptr;
  TIrigReaderMmiForm* irig_panel_ = nullptr;
  TBitsyncLaMmiForm* link_analysis_panel_ = nullptr;
  // By tab index.
  std::array<QWidget*, 3> panel_at_tab_{};
  QLabel* refusal_ = nullptr;
  std::array<std::string, kCardParts> refusals_;
};
