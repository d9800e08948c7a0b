// ZorvApp's responsiveness with four card windows open on four emulated cards, on the real
// clock: the main window's timer drives the windows as in service, every card is polled, and a
// scripted operator changes one card's bit rate every 5 s, card after card. Reported:
// - the user-interface thread's stall: how late a 5 ms probe timer fires (p99, maximum);
// - the time from an operator's change to the card holding it (p95);
// - the age of the lock state shown, sampled by the probe (maximum);
// - the interval between updates of each window's IRIG time (p99).
// With --monitors a Monitor window per card is open as well, refreshing its trends and journal.
// Usage: zorvapp_responsiveness_bench [SECONDS] [--monitors]   (60 s by default; offscreen
// unless a display platform is chosen with QT_QPA_PLATFORM)

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ZorvAppMainUnit.h"
#include "app/ZorvMmiUnit.h"
#include "platform/process.h"

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr int kCards = 4;
constexpr int kProbeMs = 5;
constexpr int kChangeEveryMs = 5000;

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

double Maximum(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

struct Figures {
  std::vector<double> probe_lateness;
  std::vector<double> change_to_card;
  std::vector<double> lock_state_age;
  std::vector<double> irig_intervals;
};

void Report(const Figures& figures, int seconds, bool monitors) {
  std::printf("ZorvApp, %d emulated cards%s, %d s on the real clock\n", kCards,
              monitors ? " with their Monitor windows" : "", seconds);
  std::printf(
      "  UI stall (probe lateness)   p99 %6.1f ms  max %6.1f ms   goal p99 <= 16, max <= 50\n",
      Percentile(figures.probe_lateness, 0.99), Maximum(figures.probe_lateness));
  std::printf(
      "  change to card holding it   p95 %6.1f ms  max %6.1f ms   goal p95 <= 600  (%zu changes)\n",
      Percentile(figures.change_to_card, 0.95), Maximum(figures.change_to_card),
      figures.change_to_card.size());
  std::printf("  age of the lock state shown p99 %6.1f ms  max %6.1f ms   goal <= 1000\n",
              Percentile(figures.lock_state_age, 0.99), Maximum(figures.lock_state_age));
  std::printf("  IRIG time update interval   p99 %6.1f ms  max %6.1f ms   goal p99 <= 300\n",
              Percentile(figures.irig_intervals, 0.99), Maximum(figures.irig_intervals));
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  bool monitors = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--monitors") {
      monitors = true;
    } else {
      seconds = std::max(1, std::atoi(argv[i]));
    }
  }
  if (!platform::EnvironmentVariable("QT_QPA_PLATFORM")) {
    platform::SetEnvironmentVariable("QT_QPA_PLATFORM", "offscreen");
  }
  platform::SetEnvironmentVariable("ZORV_SILENT", "1");
  platform::SetEnvironmentVariable("ZORV_EMULATE", std::to_string(kCards));
  // Cards as they power up, whatever an earlier run left on them.
  platform::SetEnvironmentVariable("ZORV_EMULATE_FRESH", "1");
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("zorvapp_bench_" + std::to_string(platform::ProcessId()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);

  QApplication application(argc, argv);
  Figures figures;
  {
    TZorvAppMainForm main_form(ZorvAppParts{DefaultDllLocations(), TZorvMmiForm::Factory(), ""});
    main_form.show();
    std::array<TZorvMmiForm*, kCards> windows{};
    for (int card = 0; card < kCards; ++card) {
      main_form.CardSetupClick(card);
      windows[card] = dynamic_cast<TZorvMmiForm*>(main_form.CardWindow(card));
      if (monitors) main_form.OpenMonitor(card);
    }
    for (TZorvMmiForm* window : windows) window->Settle(std::chrono::seconds(10));
    const Clock::time_point start = Clock::now();

    std::array<QString, kCards> irig_text;
    std::array<Clock::time_point, kCards> irig_changed_at{};
    Clock::time_point pending_change_at{};
    int pending_card = -1;
    Clock::time_point last_probe = Clock::now();
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const Clock::time_point now = Clock::now();
      figures.probe_lateness.push_back(
          std::max(0.0, Milliseconds(now - last_probe).count() - kProbeMs));
      last_probe = now;
      if (pending_card >= 0 &&
          !windows[pending_card]->CardThreads().Bitsync().Busy(CardLane::kChange)) {
        figures.change_to_card.push_back(Milliseconds(now - pending_change_at).count());
        pending_card = -1;
      }
      for (int card = 0; card < kCards; ++card) {
        if (now - start > std::chrono::seconds(2)) {
          figures.lock_state_age.push_back(
              Milliseconds(now - windows[card]->LockStateReadAt()).count());
        }
        const QString text = windows[card]->IrigTimeText();
        if (text == irig_text[card]) continue;
        if (irig_changed_at[card] != Clock::time_point{}) {
          figures.irig_intervals.push_back(Milliseconds(now - irig_changed_at[card]).count());
        }
        irig_text[card] = text;
        irig_changed_at[card] = now;
      }
    });
    int changes = 0;
    QTimer operator_changes;
    QObject::connect(&operator_changes, &QTimer::timeout, [&] {
      const int card = changes++ % kCards;
      BitsyncSetup& setup = main_form.Zorv()->cards[card].bitsync_setup;
      setup.BitRate = setup.BitRate == 1024000 ? 2048000 : 1024000;
      pending_card = card;
      pending_change_at = Clock::now();
      windows[card]->ServeChangeMessage(kBitsyncChangedMessage);
    });
    probe.start(kProbeMs);
    operator_changes.start(kChangeEveryMs);
    // exit, not quit: quit would close the windows under the running timers.
    QTimer::singleShot(seconds * 1000, &application, [] { QApplication::exit(0); });
    QApplication::exec();
    main_form.close();
  }
  Report(figures, seconds, monitors);
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(folder);
  return 0;
}
