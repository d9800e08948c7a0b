#pragma once
// What zorvctl reports, as lines for people and as JSON objects for scripts. Cards are
// numbered from 1 here.

#include <cstdint>
#include <optional>
#include <string>

#include "app/Progzorvunit.h"

namespace zorvctl {

// "LOCK", "SEARCH", ...; "UNKNOWN" for a code the library never gives.
std::string LockStatusName(int32_t code);
bool IsLocked(int32_t lock_status);

// "1 card", "2 cards".
std::string CardCountText(int32_t count);

// list: the line before the cards: how many are in use, how many the library found beyond
// those (`found`), and whether their data are simulated (`no_cards`: because it found none).
std::string ListHeader(int32_t in_use, int32_t found, bool simulate, bool no_cards);

// list and status: the line before the cards when they are emulated (ZORV_EMULATE is set to
// `emulate_value`), so that an emulated card is never taken for a real one.
std::string EmulationLine(const std::string& emulate_value);

// list: one card.
struct CardFacts {
  int32_t card = 1;
  bool simulated = false;
  bool emulated = false;
  int32_t bitsync_count = 0;
  // Nothing when the card did not answer.
  std::optional<bool> option_20_mbit;
  std::optional<bool> option_ber_test;
  std::optional<int32_t> firmware_high;
  std::optional<int32_t> firmware_low;
  int32_t max_input_source = 3;
};
std::string ListText(const CardFacts& facts);
std::string ListJson(const CardFacts& facts);

// status: one card at one reading.
struct StatusReading {
  int32_t card = 1;
  // Counted from 1; more than one with --watch.
  int32_t reading = 1;
  bool simulated = false;
  bool emulated = false;
  // False when a read failed: the values it would have given are the previous ones.
  bool complete = true;
  int32_t lock_status = 0;
  double irig_time = 0.0;
  int32_t irig_status = 0;
  IrigSetup irig_setup = kDefaultIrigSetup;
  // The slow values were read (the card window polls this card).
  bool polled = false;
  // The error count and bit error rate were read (a bit error test runs).
  bool ber_test = false;
  BitsyncStatusData values;
};
std::string StatusText(const StatusReading& reading);
std::string StatusJson(const StatusReading& reading);

// ber: one second of the test, or its summary.
struct BerReading {
  int32_t card = 1;
  bool summary = false;
  bool simulated = false;
  bool complete = true;
  double elapsed_seconds = 0.0;
  int32_t lock_status = 0;
  // The bits counted when the errors were read, and the errors.
  uint32_t bit_count = 0;
  uint32_t error_count = 0;
  // Nothing when not measured: no bit counted, or the lock lost during the test.
  std::optional<double> bit_error_rate;
  bool correlator_locked = false;
  // Summary only: how the test ran.
  bool pattern_15_bit = true;
  bool external_pattern = false;
  bool forced_errors = false;
  bool interrupted = false;
  bool lock_lost = false;
};
std::string BerText(const BerReading& reading);
std::string BerJson(const BerReading& reading);

// irig: the reader as programmed.
struct IrigReading {
  int32_t card = 1;
  bool simulated = false;
  IrigSetup setup = kDefaultIrigSetup;
  double time = 0.0;
  int32_t status = 0;
};
std::string IrigText(const IrigReading& reading);

// load: the setups a card was programmed with.
std::string SetupText(int32_t card, const CardData& data);

}  // namespace zorvctl
