#pragma once
// TBitsyncLaMmiForm: the card window's "Built In Test" panel. It runs the bit error rate test
// (pattern source, PRN pattern, forced errors) from its right-click menu, sets the output
// disables and the startup auto test from its check boxes, and shows the link analysis values
// and the built-in test results as rows of LEDs. It edits the card's setup record in place and
// tells its card window; it reads the card's status record, which the window keeps up to date
// on its own thread.

#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/Progzorvunit.h"
#include "app/ZorvPanelRows.h"
#include "app/Zorvglobunit.h"

class QAction;
class QCheckBox;
class QGridLayout;
class QMenu;
class ZorvLed;

class TBitsyncLaMmiForm final : public QWidget {
  Q_OBJECT

 public:
  // `notify` sends the card window a change message.
  TBitsyncLaMmiForm(QWidget& card_window, std::function<void(int message)> notify,
                    const BitsyncStatusData& status, BitsyncSetup& setup);

  // Sets the check boxes, the menu checks and the test lines from the setup record.
  void RebuildTexts();
  void RefreshValues();
  void RefreshLeds(int32_t status_code);
  void RefreshBuiltInTest();
  void SetColours(const ZorvColours& colours);

  QMenu& Menu() { return *menu_; }
  const ZorvPanelRows& Rows() const { return rows_; }
  // The colour of the LED with this hint (or name, for the built-in test LEDs).
  QColor LedColour(const QString& hint) const;
  QCheckBox* CheckBox(const QString& text) const;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  struct LedDescription {
    const char* name;
    const char* hint;
  };
  void AddLeds(QGridLayout& grid, const char* caption, std::initializer_list<LedDescription> leds);
  QCheckBox* AddCheckBox(QGridLayout& grid, const char* text, uint8_t BitsyncSetup::*field);
  void BuildMenu();
  void SetLed(const QString& name, uint32_t colour);
  void CheckBoxClicked();
  void ChoosePatternSource(int source);
  void ChoosePattern(int pattern_15_bit);
  void ToggleForcedError();
  // Sends the change message, then shows the new settings.
  void NotifyChange();

  std::function<void(int)> notify_;
  const BitsyncStatusData& status_;
  BitsyncSetup& setup_;
  ZorvPanelRows rows_;
  QList<ZorvLed*> leds_;
  QList<QPair<QCheckBox*, uint8_t BitsyncSetup::*>> check_boxes_;
  QMenu* menu_ = nullptr;
  QList<QAction*> source_items_;
  QList<QAction*> pattern_items_;
  QMenu* pattern_menu_ = nullptr;
  QAction* forced_error_item_ = nullptr;
};
