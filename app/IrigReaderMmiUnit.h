#pragma once
// TIrigReaderMmiForm: the card window's "IRIG" panel. It shows the decoded time, the reader's
// status, code, source, flywheel and track rate, and changes the card's IRIG setup record in
// place from its right-click menu, then tells its card window, which programs the card.

#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/ZorvPanelRows.h"
#include "app/Zorvglobunit.h"
#include "zorv/IrigSetup.h"

class QAction;
class QLabel;
class QMenu;

class TIrigReaderMmiForm final : public QWidget {
  Q_OBJECT

 public:
  // `notify` sends the card window a change message. While restricted, "Half Speed", "Double
  // Speed" and the seed are disabled and "IRIG G" is hidden.
  TIrigReaderMmiForm(QWidget& card_window, std::function<void(int message)> notify, bool restricted,
                     int32_t& track_rate, IrigSetup& setup);

  // From the card window's IRIG refresh on every tick.
  void ShowTimeAndStatus(int32_t status, double seconds);
  void SetColours(const ZorvColours& colours);
  void RebuildTexts();

  QMenu& Menu() { return *menu_; }
  // The rows "Time", "Status", "Code", "Source", "Flywheel", "Track"; read by tests.
  const ZorvPanelRows& Rows() const { return rows_; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildMenu();
  QAction* AddChoice(QMenu& parent, const char* name, int tag, const char* caption,
                     void (TIrigReaderMmiForm::*choose)(int tag));
  void ChooseCode(int code);
  void ChooseSource(int external);
  void ToggleFlywheel(int);
  void ChooseTrackRate(int rate);
  // Rebuilds the texts, sends the change message and clicks.
  void NotifyChange();

  std::function<void(int)> notify_;
  bool restricted_;
  int32_t& track_rate_;
  IrigSetup& setup_;
  int32_t last_status_ = 0;
  double last_time_ = 0.0;
  ZorvColours colours_;
  QMenu* menu_ = nullptr;
  QList<QAction*> code_items_;
  QList<QAction*> source_items_;
  QList<QAction*> track_items_;
  QAction* flywheel_item_ = nullptr;
  ZorvPanelRows rows_;
};
