#pragma once
// A stand-in for ZorvDll that the binding tests build as shared libraries: it exports the
// library's functions (one build leaves out the last one) and answers as the test sets it up
// through FakeZorvDllControl, which the test resolves from the same loaded file.

#include <atomic>
#include <cstdint>

#include "zorv/ZorvApi.h"

struct FakeZorvDllState {
  // Answers.
  int32_t card_count = 2;
  int32_t max_input_source = 11;
  // What every per-card function returns; out-values are written only when it is 0.
  int32_t result = kZorvApiSuccess;
  int32_t bitsync_status = 2;
  uint32_t bit_count = 0;
  double irig_time = 86400.5;
  char value_text[32] = "12.3 dB";
  uint8_t option_ber_test = 1;
  uint8_t fsp_option = 0;
  // A card whose calls do not return while it is set (a module that stays busy); -1 for none.
  std::atomic<int32_t> stalled_card{-1};
  // What the binding did.
  int32_t open_calls = 0;
  int32_t close_calls = 0;
  int32_t max_input_source_queries = 0;
  int32_t per_card_calls = 0;
  int32_t last_card = -1;
  // Calls inside the stall now, and reads of the polling groups (operational status, built-in
  // test).
  std::atomic<int32_t> stalled_calls{0};
  std::atomic<int32_t> poll_group_reads{0};
  // The setups programmed, oldest first (the first eight), and the last quick react mode.
  static constexpr int32_t kSetupHistory = 8;
  BitsyncSetup bitsync_setups[kSetupHistory] = {};
  int32_t bitsync_setup_loads = 0;
  IrigSetup irig_setups[kSetupHistory] = {};
  int32_t irig_setup_loads = 0;
  int32_t quick_react_mode = -1;
};

extern "C" ZORVAPI_EXPORT FakeZorvDllState* FakeZorvDllControl();

// Inside the fake: its state, and the common answer of a per-card function.
FakeZorvDllState& FakeState();
int32_t FakeAnswer(int32_t card);
