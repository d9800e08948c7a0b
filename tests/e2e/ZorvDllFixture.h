#pragma once
// End-to-end tests of the built library: each test writes an emulated scenario, loads the
// library by its file name with the platform's loader as the operator program does, binds the
// 27 exports by name and drives them on the real clock. After the unload it reads what the
// library leaves behind: its log and the emulated bus's violation report (ZORV_EMULATOR_REPORT),
// which must show no protocol violation at the end of every test.
//
// ctest runs every test in its own process, so each test loads the library once. A test that
// links the library frame in instead (to run it on the virtual clock) overrides AttachLibrary
// and DetachLibrary; the rest stays the same.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tests/common/ScratchFolder.h"
#include "tests/dll/library_log.h"
#include "tests/e2e/ExportCalls.h"
#include "zorv/ZorvApi.h"

namespace zorv_e2e {

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

  // How the library is loaded and its exports bound, and freed again: by its file name here.
  virtual void AttachLibrary(ZorvApiTable& api);
  virtual void DetachLibrary();

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
  bool loaded_ = false;
  ZorvApiTable api_;
  std::vector<int32_t> bitsync_counts_;
  std::vector<zorv_test::LogEntry> log_;
};

}  // namespace zorv_e2e
