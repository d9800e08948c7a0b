#pragma once
// What the operator program's windows share: the program's version, its colours and the flags
// that the main window sets and the card windows and their threads read.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/LinkMonitor.h"

class progzorvclass;

inline constexpr const char* kZorvAppVersion = "3.32";

// Colours in the Windows format 0x00BBGGRR, as the program has always kept them.
struct ZorvColours {
  uint32_t background = 0xFF8000;  // red 0, green 128, blue 255
  uint32_t second = 0x000000;
  uint32_t text = 0xFFFFFF;
};

struct ZorvProgramState {
  // The one binding, while the program runs.
  progzorvclass* zorv = nullptr;
  // Set once when the program starts to close: timer handlers, polling threads and panel
  // refreshes return at once.
  std::atomic<bool> shutting_down{false};
  // The operator may switch between simulated and live data (not without cards).
  bool may_switch = false;
  // "xyalsdke.atf" was in the current directory at start-up.
  bool marker_file = false;
  // The library runs on the emulator's cards (ZORV_EMULATE): every caption says so.
  bool emulated = false;
  ZorvColours colours;
  // Per card index, kept while its window is closed and opened again: the tick within the
  // second (0 starts a polling pass), and the polling group of the next pass.
  int32_t trigger_counter[4] = {0, 0, 0, 0};
  int32_t poll_group_counter[4] = {0, 0, 0, 0};
  // Each card's link monitor, fed by its window while the window is open; made on first use.
  std::array<std::unique_ptr<LinkMonitor>, 4> monitors;
  LinkMonitor& Monitor(int32_t card) {
    auto& monitor = monitors[static_cast<size_t>(card)];
    if (!monitor) monitor = std::make_unique<LinkMonitor>(card);
    return *monitor;
  }
  // Opens a card's monitor window (the main window owns them).
  std::function<void(int32_t card)> open_monitor;
};
