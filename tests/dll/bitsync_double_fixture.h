#pragma once
// A bitsync opened on the module double, on a recording virtual clock, in a scratch folder
// with the log open.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "dll/keltbitsyncclass2.h"
#include "tests/dll/bitsync_module_double.h"
#include "tests/dll/bitsync_test_support.h"

namespace bitsync_test {

// Configuration reply of a newer-format module, firmware version low 146, dated after the
// b-mode change.
inline constexpr std::array<uint8_t, 6> kNewerConfiguration = {0xED, 0x06, 0x4E, 0x0A, 0x03, 0x92};
// An older-format module ('2': 20 Mbit option), dated 2007-07-13 (before b mode),
// firmware version low 145.
inline constexpr std::array<uint8_t, 6> kOlderConfiguration = {0xED, 0x06, 0x32, 0xED, 0x97, 0x91};

class BitsyncDoubleTest : public ::testing::Test {
 protected:
  // Constructs the bitsync (after any presence file the test wrote) and opens it.
  void Open() {
    bitsync_ = std::make_unique<keltbitsyncclass2>();
    std::string error_text;
    ASSERT_TRUE(bitsync_->InitBitsync(0, true, module_.Handle(), error_text)) << error_text;
    Forget();
  }

  // Reads the configuration, so that the bitsync takes special commands.
  void Configure(const std::array<uint8_t, 6>& bytes = kNewerConfiguration) {
    module_.Reply(0xED, {bytes.begin(), bytes.end()});
    uint8_t option_20mbit = 0;
    uint8_t option_bert = 0;
    uint32_t high = 0;
    uint32_t low = 0;
    ASSERT_TRUE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
    Forget();
  }

  // Starts the records afresh: accesses, commands, pauses and log lines.
  void Forget() {
    module_.accesses.clear();
    module_.commands.clear();
    module_.acknowledges = 0;
    clock_.Forget();
    scratch_.Forget();
  }

  void TearDown() override { EXPECT_EQ(module_.stray_accesses, 0); }

  RecordingClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  LogFolder scratch_;
  ModuleDouble module_;
  std::unique_ptr<keltbitsyncclass2> bitsync_;
};

}  // namespace bitsync_test
