#pragma once
// End-to-end tests of the built library: each test writes an emulated scenario, loads the
// library by its file name with the platform's loader as the operator program does, binds the
// 27 exports by name and drives them on the real clock. After the unload it reads what the
// library leaves behind: its log and the emulated bus's violation report (ZORV_EMULATOR_REPORT),
// which must show no protocol violation at the end of every test.
//
// ctest runs every test in its own process, so each test loads the library once.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tests/common/ScratchFolder.h"
#include "tests/dll/library_log.h"
#include "zorv/ZorvApi.h"

namespace zorv_e2e {

struct ZorvApiTable {
#define ZORV_TABLE_ENTRY(name, short_name) name##Fn name = nullptr;
  ZORVAPI_EXPORTS(ZORV_TABLE_ENTRY)
#undef ZORV_TABLE_ENTRY
};

// Everything an export may write, filled with a pattern before each call, so that a test can
// see whether a call wrote anything.
struct OutValues {
  int32_t int32[2];
  uint32_t uint32;
  double seconds;
  uint8_t bytes[5];
  char text[32];
  uint16_t fsp_count;
};
OutValues PatternedOutValues();
bool SameBytes(const OutValues& a, const OutValues& b);

// The part of the card an export needs: the IRIG reader; the bitsync; the bitsync on a card
// with command read-back; or that and the FSP option.
enum class ExportGroup { kIrig, kBitsync, kReadback, kFsp };

// One export that takes a card index, called with harmless arguments.
struct PerCardExport {
  const char* name;
  ExportGroup group;
  std::function<int32_t(const ZorvApiTable&, int32_t card, OutValues& out)> call;
};
// The 25 exports that take a card index, in the header's order (the options read comes before
// the FSP functions, which need it).
const std::vector<PerCardExport>& PerCardExports();

// Time of year on the PC clock, in the IRIG reader's terms (1 January 00:00:00 is 86400 s).
double PcTimeOfYear();

class ZorvDllTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Writes the scenario (profile text), points ZORV_EMULATE at it, loads the library and
  // binds every export; a missing export fails the test.
  void Load(const std::string& scenario);
  // ZorvApiOpen, expected to succeed; returns the card count and keeps the bitsync counts.
  int32_t OpenApi();
  // Frees the library (which ends with the detach sequence) and reads its log.
  void Unload();

  const ZorvApiTable& api() const { return api_; }
  const std::vector<int32_t>& bitsync_counts() const { return bitsync_counts_; }
  // The library's log entries, read at the unload.
  const std::vector<zorv_test::LogEntry>& log() const { return log_; }
  const std::filesystem::path& folder() const { return scratch_.path(); }

 private:
  // Every part of every card, and the bus, counted no protocol violation.
  void ExpectNoViolations() const;

  zorv_test::ScratchFolder scratch_{"zorv_e2e"};
  std::filesystem::path report_;
  platform::LibraryHandle library_ = nullptr;
  ZorvApiTable api_;
  std::vector<int32_t> bitsync_counts_;
  std::vector<zorv_test::LogEntry> log_;
};

}  // namespace zorv_e2e
