#pragma once
// The caption and value rows of a card window's panels: captions in the text colour, values in
// the second colour, found by their caption.

#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "app/Zorvglobunit.h"

class QGridLayout;
class QLabel;
class QWidget;

// The name of a code in a name table; no text for a code without one.
template <size_t N>
QString TableName(const char* const (&names)[N], int32_t code) {
  return code >= 0 && static_cast<size_t>(code) < N ? names[code] : "";
}

class ZorvPanelRows {
 public:
  // A caption and an empty value in the next row of the grid, from its column.
  QLabel& Add(QWidget& panel, QGridLayout& grid, const QString& caption, int column = 0);
  void SetValue(const QString& caption, const QString& text);
  QString Value(const QString& caption) const;
  void SetVisible(const QString& caption, bool visible);
  bool Visible(const QString& caption) const;
  // The panel's background and text colour, the values' second colour.
  void SetColours(QWidget& panel, const ZorvColours& colours);

 private:
  qsizetype Row(const QString& caption) const;

  QList<QLabel*> captions_;
  QList<QLabel*> values_;
};
