#include "app/ZorvMonitorUnit.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "support/Ctimerclass.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

constexpr int kRefreshMs = 1000;
// A trend draws at most this many points, whatever its span holds.
constexpr size_t kMostPoints = 600;
constexpr int64_t kMinuteMs = 60'000;
constexpr struct {
  const char* text;
  int64_t ms;
} kSpans[] = {{"5 min", 5 * kMinuteMs}, {"1 h", 60 * kMinuteMs}, {"24 h", 24 * 60 * kMinuteMs}};
// Where a BER of 0 (no test) would be on a log scale: it is left out.
constexpr double kLowestBer = 1e-12;

QString TimeText(int64_t utc_ms) {
  return QDateTime::fromMSecsSinceEpoch(utc_ms, Qt::UTC).toString("yyyy-MM-dd hh:mm:ss");
}

// A log axis labels its decades: its range runs from the decade below to the decade above.
double DecadeBelow(double x) {
  return std::pow(10.0, std::floor(std::log10(x)));
}
double DecadeAbove(double x) {
  return std::pow(10.0, std::ceil(std::log10(x) + 1e-9));
}

}  // namespace

TZorvMonitorForm::TZorvMonitorForm(int32_t card, LinkMonitor& monitor, bool emulated)
    : QWidget(nullptr), card_(card), monitor_(monitor) {
  setWindowTitle(QString("ZORV Card %1 Monitor%2").arg(card + 1).arg(emulated ? " EMULATED" : ""));
  auto* column = new QVBoxLayout(this);
  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Span", this));
  span_ = new QComboBox(this);
  for (const auto& span : kSpans) span_->addItem(span.text);
  controls->addWidget(span_);
  controls->addStretch(1);
  record_ = new QPushButton("Record", this);
  controls->addWidget(record_);
  record_file_ = new QLabel(this);
  record_file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  controls->addWidget(record_file_, 2);
  column->addLayout(controls);

  auto* charts = new QGridLayout;
  trends_[0] = AddTrend("Es/No (dB)", false);
  trends_[1] = AddTrend("Signal (V)", false);
  trends_[2] = AddTrend("Offset frequency (Hz)", false);
  trends_[3] = AddTrend("BER", true);
  fields_ = {&LinkSample::es_no_db, &LinkSample::signal_volts, &LinkSample::offset_hz,
             &LinkSample::ber};
  for (size_t trend = 0; trend < trends_.size(); ++trend) {
    auto* view = new QChartView(trends_[trend].chart, this);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(320, 200);
    charts->addWidget(view, static_cast<int>(trend / 2), static_cast<int>(trend % 2));
  }
  column->addLayout(charts, 3);

  journal_ = new QTableWidget(0, 4, this);
  journal_->setHorizontalHeaderLabels({"UTC", "IRIG", "Event", "What"});
  journal_->horizontalHeader()->setStretchLastSection(true);
  journal_->setWordWrap(false);
  journal_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  journal_->verticalHeader()->hide();
  column->addWidget(journal_, 2);

  connect(span_, &QComboBox::currentIndexChanged, this, &TZorvMonitorForm::Refresh);
  connect(record_, &QPushButton::clicked, this, [this] {
    if (Recording()) {
      StopRecording();
    } else {
      StartRecording(QDir::currentPath().toStdString());
    }
  });
  refresh_ = new QTimer(this);
  connect(refresh_, &QTimer::timeout, this, &TZorvMonitorForm::Refresh);
  refresh_->start(kRefreshMs);
  resize(900, 700);
  Refresh();
}

TZorvMonitorForm::~TZorvMonitorForm() {
  StopRecording();
}

TZorvMonitorForm::Trend TZorvMonitorForm::AddTrend(const QString& title, bool log_scale) {
  Trend trend;
  trend.chart = new QChart;
  trend.chart->setTitle(title);
  trend.chart->legend()->hide();
  trend.line = new QLineSeries(trend.chart);
  trend.losses = new QScatterSeries(trend.chart);
  trend.losses->setColor(Qt::red);
  trend.losses->setMarkerSize(9);
  trend.chart->addSeries(trend.line);
  trend.chart->addSeries(trend.losses);
  auto* x = new QDateTimeAxis(trend.chart);
  x->setFormat("hh:mm:ss");
  x->setTitleText("UTC");
  trend.x = x;
  if (log_scale) {
    auto* y = new QLogValueAxis(trend.chart);
    y->setLabelFormat("%.0e");
    trend.y = y;
  } else {
    trend.y = new QValueAxis(trend.chart);
  }
  trend.chart->addAxis(trend.x, Qt::AlignBottom);
  trend.chart->addAxis(trend.y, Qt::AlignLeft);
  for (QAbstractSeries* series :
       {static_cast<QAbstractSeries*>(trend.line), static_cast<QAbstractSeries*>(trend.losses)}) {
    series->attachAxis(trend.x);
    series->attachAxis(trend.y);
  }
  return trend;
}

int64_t TZorvMonitorForm::SpanMs() const {
  return kSpans[std::clamp(span_->currentIndex(), 0, int(std::size(kSpans)) - 1)].ms;
}

void TZorvMonitorForm::Refresh() {
  RefreshTrends();
  RefreshJournal();
  if (!Recording()) return;
  for (const LinkSample& sample : monitor_.History()) {
    if (sample.utc_ms <= last_recorded_utc_ms_) continue;
    recorder_.WriteSample(card_, sample);
    last_recorded_utc_ms_ = sample.utc_ms;
  }
  for (const JournalEntry& entry : monitor_.JournalSince(journal_recorded_)) {
    recorder_.WriteJournal(card_, entry);
  }
  journal_recorded_ = monitor_.JournalWritten();
}

void TZorvMonitorForm::RefreshTrends() {
  const auto& history = monitor_.History();
  const int64_t end = history.empty() ? 0 : history.back().utc_ms;
  const int64_t start = end - SpanMs();
  const auto first = std::find_if(history.begin(), history.end(),
                                  [start](const LinkSample& s) { return s.utc_ms >= start; });
  const auto count = static_cast<size_t>(history.end() - first);
  const size_t per_point = std::max<size_t>(1, (count + kMostPoints - 1) / kMostPoints);
  std::vector<int64_t> losses;
  for (const JournalEntry& entry : monitor_.Journal()) {
    if (entry.event == JournalEvent::kLockLost && entry.utc_ms >= start) {
      losses.push_back(entry.utc_ms);
    }
  }
  for (size_t trend = 0; trend < trends_.size(); ++trend) {
    const bool log_scale = trend == 3;
    QList<QPointF> points;
    double low = INFINITY;
    double high = -INFINITY;
    // Each point is the mean of its samples.
    for (auto bucket = first; bucket < history.end();) {
      const auto bucket_end =
          bucket + static_cast<std::ptrdiff_t>(std::min<size_t>(per_point, history.end() - bucket));
      double sum = 0;
      for (auto sample = bucket; sample < bucket_end; ++sample) sum += (*sample).*fields_[trend];
      const double value = sum / static_cast<double>(bucket_end - bucket);
      bucket = bucket_end;
      if (log_scale && value < kLowestBer) continue;
      points.append(QPointF(static_cast<double>((bucket_end - 1)->utc_ms), value));
      low = std::min(low, value);
      high = std::max(high, value);
    }
    Trend& chart = trends_[trend];
    chart.line->replace(points);
    if (!std::isfinite(low)) {
      low = log_scale ? 1e-6 : 0;
      high = log_scale ? 1e-2 : 1;
    }
    if (log_scale) {
      low = DecadeBelow(low);
      high = std::max(DecadeAbove(high), low * 10);
    } else if (high - low < 1e-9) {
      high += 1;
      low -= 1;
    }
    chart.y->setRange(low, high);
    chart.x->setRange(QDateTime::fromMSecsSinceEpoch(
                          std::max(start, first == history.end() ? start : first->utc_ms), Qt::UTC),
                      QDateTime::fromMSecsSinceEpoch(end, Qt::UTC));
    QList<QPointF> marks;
    for (const int64_t loss : losses) marks.append(QPointF(static_cast<double>(loss), low));
    chart.losses->replace(marks);
  }
}

void TZorvMonitorForm::RefreshJournal() {
  for (const JournalEntry& entry : monitor_.JournalSince(journal_shown_)) {
    const int row = journal_->rowCount();
    journal_->insertRow(row);
    const QString cells[] = {TimeText(entry.utc_ms),
                             QString::fromStdString(FormatTimeOfYear(entry.irig_time)),
                             JournalEventName(entry.event), QString::fromStdString(entry.text)};
    for (int column = 0; column < 4; ++column) {
      journal_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    if (entry.event == JournalEvent::kLockLost) {
      for (int column = 0; column < 4; ++column)
        journal_->item(row, column)->setForeground(Qt::red);
    }
  }
  while (journal_->rowCount() > static_cast<int>(LinkMonitor::kJournalEntries)) {
    journal_->removeRow(0);
  }
  if (monitor_.JournalWritten() != journal_shown_) {
    for (int column = 0; column < 3; ++column) journal_->resizeColumnToContents(column);
    journal_->scrollToBottom();
  }
  journal_shown_ = monitor_.JournalWritten();
}

bool TZorvMonitorForm::StartRecording(const std::string& folder) {
  const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd-hhmmss");
  const QDir dir(QString::fromStdString(folder));
  const std::string base = QString("ZORV-card%1-%2").arg(card_ + 1).arg(stamp).toStdString();
  std::string error;
  if (!recorder_.Start(dir.filePath(QString::fromStdString(base + ".csv")).toStdString(),
                       dir.filePath(QString::fromStdString(base + "-journal.csv")).toStdString(),
                       error)) {
    ErrorBeep();
    record_file_->setText(QString::fromStdString(error));
    return false;
  }
  // From now on: what happened before the press is not part of the pass.
  last_recorded_utc_ms_ = monitor_.History().empty() ? 0 : monitor_.History().back().utc_ms;
  journal_recorded_ = monitor_.JournalWritten();
  record_->setText("Stop");
  record_file_->setText(QString::fromStdString(recorder_.SamplesPath()));
  return true;
}

void TZorvMonitorForm::StopRecording() {
  if (!Recording()) return;
  Refresh();
  recorder_.Stop();
  record_->setText("Record");
  record_file_->setText(record_file_->text() + " (stopped)");
}

qsizetype TZorvMonitorForm::TrendPoints(int trend) const {
  return trends_[static_cast<size_t>(trend)].line->count();
}

qsizetype TZorvMonitorForm::LossMarks(int trend) const {
  return trends_[static_cast<size_t>(trend)].losses->count();
}

int TZorvMonitorForm::JournalRows() const {
  return journal_->rowCount();
}
