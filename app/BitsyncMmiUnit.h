#pragma once
// TBitsyncMmiForm: the card window's "Bitsync" panel. It shows the card's bit synchronizer setup
// and changes it in place from its right-click menu (bit rate, input source, input code, loop
// bandwidth, filter, output code, quick react, FSP mode) and its 90 degree clock check box,
// then tells its card window, which programs the card.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "app/Progzorvunit.h"
#include "app/ZorvPanelRows.h"
#include "app/Zorvglobunit.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;

// The bit rate as the panel shows it: 1024000 is "1.024 Mbps", 10000000 "10.0 Mbps".
std::string BitRateMbpsText(uint32_t bit_rate);

class TBitsyncMmiForm final : public QWidget {
  Q_OBJECT

 public:
  // `notify` sends the card window a change message.
  TBitsyncMmiForm(QWidget& card_window, std::function<void(int message)> notify, FspSettings& fsp,
                  uint8_t& quick_react_mode, bool input_source_flag, BitsyncSetup& setup,
                  bool marker_file);

  void Refresh();
  void SetColours(const ZorvColours& colours);

  QMenu& Menu() { return *menu_; }
  QCheckBox& ClockOut90Degrees() { return *clock_90_; }
  // A value label's text by its caption ("Bit Rate", "Input Source", ...); read by tests.
  const ZorvPanelRows& Rows() const { return rows_; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildMenu();
  // A submenu of codes from the first code on, named after the table; `with_5_0` puts the
  // marker-file stations' "5.0" (code -1) first.
  QMenu* AddCodeMenu(const char* name, const char* caption, int first_code,
                     const char* const* names, int count, bool with_5_0,
                     void (TBitsyncMmiForm::*choose)(int code));
  QString LoopBandwidthText() const;

  void AskBitRate();
  void ChooseInputSource(int code);
  void ChooseInputCode(int code);
  void ChooseLoopBandwidth(int code);
  void ChooseOutputCode(int code);
  void ToggleFilter();
  void ToggleQuickReact();
  void ToggleFspMode();
  void ClockOut90DegreesClicked(bool checked);
  // Sends the change message, then shows the new setup.
  void NotifyChange();

  std::function<void(int)> notify_;
  FspSettings& fsp_;
  uint8_t& quick_react_mode_;
  bool input_source_flag_;
  BitsyncSetup& setup_;
  bool marker_file_;
  bool alternate_model_;
  ZorvColours colours_;
  QMenu* menu_ = nullptr;
  QList<QMenu*> code_menus_;
  QMenu* output_code_menu_ = nullptr;
  QAction* filter_item_ = nullptr;
  QAction* quick_react_item_ = nullptr;
  QAction* fsp_item_ = nullptr;
  ZorvPanelRows rows_;
  QCheckBox* clock_90_ = nullptr;
};
