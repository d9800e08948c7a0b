#pragma once
// TZorvMonitorForm: a card's link monitor for the operator: trends of Es/No, signal level,
// offset frequency and BER over a chosen span with the lock losses marked, the journal, and
// "Record" / "Stop" for a pass record. It reads the card's LinkMonitor once a second on the
// user-interface thread and never calls the library.

#include <QWidget>
#include <array>
#include <cstdint>

#include "app/LinkMonitor.h"

class QChart;
class QComboBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QTableWidget;
class QTimer;
class QAbstractAxis;

class TZorvMonitorForm final : public QWidget {
  Q_OBJECT

 public:
  TZorvMonitorForm(int32_t card, LinkMonitor& monitor, bool emulated);
  ~TZorvMonitorForm() override;

  // Reads the monitor again (once a second); writes what a recording has not yet written.
  void Refresh();
  // Starts a recording into new files in the folder; the name is shown.
  bool StartRecording(const std::string& folder);
  void StopRecording();
  bool Recording() const { return recorder_.Recording(); }
  const PassRecorder& Recorder() const { return recorder_; }
  // Read by tests: points on a trend (0 Es/No, 1 signal, 2 offset, 3 BER) and journal rows.
  qsizetype TrendPoints(int trend) const;
  qsizetype LossMarks(int trend) const;
  int JournalRows() const;

 private:
  struct Trend {
    QChart* chart = nullptr;
    QLineSeries* line = nullptr;
    QScatterSeries* losses = nullptr;
    QAbstractAxis* x = nullptr;
    QAbstractAxis* y = nullptr;
  };
  Trend AddTrend(const QString& title, bool log_scale);
  void RefreshTrends();
  void RefreshJournal();
  int64_t SpanMs() const;

  int32_t card_;
  LinkMonitor& monitor_;
  PassRecorder recorder_;
  uint64_t journal_shown_ = 0;
  uint64_t journal_recorded_ = 0;
  int64_t last_recorded_utc_ms_ = 0;
  std::array<Trend, 4> trends_{};
  std::array<double LinkSample::*, 4> fields_{};
  QComboBox* span_ = nullptr;
  QTableWidget* journal_ = nullptr;
  QPushButton* record_ = nullptr;
  QLabel* record_file_ = nullptr;
  QTimer* refresh_ = nullptr;
};
