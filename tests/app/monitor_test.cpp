// The link monitor's window and its metrics server on the real widgets, offscreen, fed with
// scripted readings.

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>

#include "app/LinkMonitor.h"
#include "app/ZorvMetricsServer.h"
#include "app/ZorvMonitorUnit.h"
#include "platform/process.h"
#include "tests/app/WindowTestEnvironment.h"

namespace {

constexpr int64_t kStartUtcMs = 1'796'904'000'000;  // 2026-12-10 12:00:00 UTC

MonitorTime At(double seconds) {
  return {kStartUtcMs + static_cast<int64_t>(seconds * 1000), 43200.0 + seconds, seconds};
}

// A minute of readings with the lock lost twice.
void FeedAPass(LinkMonitor& monitor) {
  BitsyncStatusData values;
  for (int second = 0; second < 60; ++second) {
    values.es_no = 12.0 + (second % 7);
    values.signal_voltage = 1.5;
    values.bit_error_rate = second < 30 ? 0.0 : 1e-3;
    const bool locked = !(second >= 10 && second < 13) && !(second >= 40 && second < 42);
    monitor.OnPolledValues(At(second), values, second >= 30);
    monitor.OnLockStatus(At(second), locked ? 2 : 1);
    monitor.OnIrig(At(second), 43200.0 + second, 1);
    monitor.TakeSample(At(second));
  }
}

// The text a GET of the address answers, or nothing within a few seconds.
QString Get(const QString& url) {
  QNetworkAccessManager network;
  QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  const QString text = reply->isFinished() && reply->error() == QNetworkReply::NoError
                           ? QString::fromUtf8(reply->readAll())
                           : QString();
  reply->deleteLater();
  return text;
}

}  // namespace

class MonitorTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { env_ = std::make_unique<WindowTestEnvironment>("zorv_monitor"); }
  void cleanup() { env_.reset(); }

  void trendsMarkTheLossesAndTheJournalListsThem();
  void aRecordingWritesWhatComesAfterThePress();
  void metricsAreServedReadOnly();

 private:
  std::unique_ptr<WindowTestEnvironment> env_;
};

void MonitorTest::trendsMarkTheLossesAndTheJournalListsThem() {
  LinkMonitor monitor(0);
  FeedAPass(monitor);
  TZorvMonitorForm window(0, monitor, true);
  window.Refresh();
  QCOMPARE(window.windowTitle(), QString("ZORV Card 1 Monitor EMULATED"));
  for (int trend = 0; trend < 3; ++trend) {
    QCOMPARE(window.TrendPoints(trend), qsizetype{60});
    QCOMPARE(window.LossMarks(trend), qsizetype{2});
  }
  // BER on a log scale: the seconds without a test (BER 0) are left out.
  QCOMPARE(window.TrendPoints(3), qsizetype{30});
  QCOMPARE(window.JournalRows(), static_cast<int>(monitor.Journal().size()));
  QCOMPARE(monitor.LockLosses(), uint64_t{2});
}

void MonitorTest::aRecordingWritesWhatComesAfterThePress() {
  LinkMonitor monitor(1);
  FeedAPass(monitor);
  TZorvMonitorForm window(1, monitor, false);
  QVERIFY(window.StartRecording(env_->folder.path().string()));
  const std::string samples = window.Recorder().SamplesPath();
  const std::string journal = window.Recorder().JournalPath();
  QVERIFY(std::filesystem::exists(samples) && std::filesystem::exists(journal));
  BitsyncStatusData values;
  for (int second = 60; second < 63; ++second) {
    monitor.OnPolledValues(At(second), values, false);
    monitor.OnLockStatus(At(second), second == 61 ? 0 : 2);
    monitor.TakeSample(At(second));
  }
  window.Refresh();
  window.StopRecording();
  const std::string rows = zorv_test::ScratchFolder::ReadText(samples);
  QCOMPARE(std::count(rows.begin(), rows.end(), '\n'), 1 + 3);  // the header and three seconds
  QVERIFY(rows.find("2026-12-10T12:01:01.000Z") != std::string::npos);
  const std::string events = zorv_test::ScratchFolder::ReadText(journal);
  QVERIFY(events.find("LOCK LOST") != std::string::npos);
  QVERIFY(events.find("BER TEST STOPPED") != std::string::npos);
  QVERIFY(!window.Recording());
}

void MonitorTest::metricsAreServedReadOnly() {
  LinkMonitor monitor(0);
  FeedAPass(monitor);
  ZorvMetricsServer server([&] { return OpenMetricsText({&monitor}); });
  std::string error;
  QVERIFY(!server.Listen("127.0.0.1:http", error));
  QVERIFY(error.find("--metrics takes ADDRESS:PORT") != std::string::npos);
  QVERIFY(!server.Listen("999.1.1.1:9100", error));
  // A port of this process's own, tried a few times in case another program holds it.
  bool listening = false;
  for (uint32_t attempt = 0; attempt < 20 && !listening; ++attempt) {
    const uint32_t port = 20000 + (platform::ProcessId() + attempt * 977) % 40000;
    listening = server.Listen(std::to_string(port), error);
  }
  QVERIFY2(listening, error.c_str());
  const QString base = QString("http://127.0.0.1:%1").arg(server.Port());
  const QString text = Get(base + "/metrics");
  QVERIFY(text.contains("zorv_lock_losses_total{card=\"1\"} 2\n"));
  QVERIFY(text.endsWith("# EOF\n"));
  QVERIFY(Get(base + "/").isEmpty());
}

QTEST_MAIN(MonitorTest)
#include "monitor_test.moc"
