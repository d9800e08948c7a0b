#include "app/ZorvPanelRows.h"

#include <QGridLayout>
#include <QLabel>

#include "app/ZorvQtColours.h"

QLabel& ZorvPanelRows::Add(QWidget& panel, QGridLayout& grid, const QString& caption, int column) {
  auto* caption_label = new QLabel(caption, &panel);
  auto* value = new QLabel(&panel);
  const int row = grid.rowCount();
  grid.addWidget(caption_label, row, column);
  grid.addWidget(value, row, column + 1);
  captions_.append(caption_label);
  values_.append(value);
  return *value;
}

qsizetype ZorvPanelRows::Row(const QString& caption) const {
  for (qsizetype row = 0; row < captions_.size(); ++row) {
    if (captions_[row]->text() == caption) return row;
  }
  return -1;
}

void ZorvPanelRows::SetValue(const QString& caption, const QString& text) {
  const qsizetype row = Row(caption);
  if (row >= 0) values_[row]->setText(text);
}

QString ZorvPanelRows::Value(const QString& caption) const {
  const qsizetype row = Row(caption);
  return row >= 0 ? values_[row]->text() : QString();
}

void ZorvPanelRows::SetVisible(const QString& caption, bool visible) {
  const qsizetype row = Row(caption);
  if (row < 0) return;
  captions_[row]->setVisible(visible);
  values_[row]->setVisible(visible);
}

bool ZorvPanelRows::Visible(const QString& caption) const {
  const qsizetype row = Row(caption);
  return row >= 0 && !captions_[row]->isHidden();
}

void ZorvPanelRows::SetColours(QWidget& panel, const ZorvColours& colours) {
  QPalette background = panel.palette();
  background.setColor(QPalette::Window, ToQColor(colours.background));
  background.setColor(QPalette::WindowText, ToQColor(colours.text));
  panel.setPalette(background);
  QPalette value = background;
  value.setColor(QPalette::WindowText, ToQColor(colours.second));
  for (QLabel* label : values_) label->setPalette(value);
}
