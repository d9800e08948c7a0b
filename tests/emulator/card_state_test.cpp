// Emulated cards keep their state between runs of a program: the state file of a ZORV_EMULATE
// value, and the bus that takes it up when it is built from the value and keeps its own when
// it stops.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "emulator/CardStateFile.h"
#include "emulator/VirtualPciBus.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/common/ScopedEnvironmentVariable.h"

namespace {

using zorv_test::ScopedEnvironmentVariable;

namespace fs = std::filesystem;
using emulator::BitsyncKeptState;
using emulator::IrigKeptState;
using emulator::VirtualPciBus;

// A runtime folder of the test's own, on the virtual clock.
class CardStateTest : public ::testing::Test {
 protected:
  ~CardStateTest() override {
    emulator::StopBus();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string Folder() const { return folder_.string(); }

  std::shared_ptr<VirtualPciBus> Connect(const std::string& value) {
    std::vector<std::string> problems;
    return emulator::ConnectBus(value, problems);
  }

  const fs::path folder_ =
      fs::temp_directory_path() / ("zorv_card_state_" + std::to_string(platform::ProcessId()));
  const bool created_ = fs::create_directories(folder_);
  ScopedEnvironmentVariable runtime_folder_{"XDG_RUNTIME_DIR", folder_.string()};
  ScopedEnvironmentVariable temporary_folder_{"TMP", folder_.string()};
  ScopedEnvironmentVariable fresh_{emulator::kFreshVariable, ""};
  platform::VirtualClock clock_;
  platform::ScopedClock installed_{clock_};
};

// A programmed module and reader, as a host leaves them.
const BitsyncKeptState kProgrammed{
    0x0D, {0x00, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x85, 0xA3, 0x0A}, true, {}};
const IrigKeptState kRunning{0x05, true, 123'000'000, 0};

TEST_F(CardStateTest, StateFilesAreNamedAfterTheCountOrTheScenarioFileInTheRuntimeFolder) {
  const std::string separator(1, platform::PathSeparator());
  EXPECT_EQ(emulator::CardStateFilePath("2"), Folder() + separator + "zorv-emulated-2.state");
  fs::create_directories(folder_ / "a");
  fs::create_directories(folder_ / "b");
  const std::string a = (folder_ / "a" / "pass.ini").string();
  const std::string b = (folder_ / "b" / "pass.ini").string();
  EXPECT_NE(emulator::CardStateFilePath(a), emulator::CardStateFilePath(b));
  EXPECT_NE(emulator::CardStateFilePath(a).find("zorv-emulated-pass.ini-"), std::string::npos);
  EXPECT_EQ(emulator::CardStateFilePath(a),
            emulator::CardStateFilePath((folder_ / "a" / "." / "pass.ini").string()));
}

TEST_F(CardStateTest, KeptStatesComeBackCardByCard) {
  VirtualPciBus kept_bus(emulator::Scenario{std::vector<emulator::CardScenario>(2)});
  kept_bus.Card(1).bitsync().Restore(kProgrammed);
  kept_bus.Card(1).irig().Restore(kRunning);
  const std::string file = (folder_ / "cards.state").string();
  ASSERT_TRUE(emulator::KeepCardStates(kept_bus, file));

  clock_.Sleep(2000);
  VirtualPciBus next_bus(emulator::Scenario{std::vector<emulator::CardScenario>(3)});
  emulator::RestoreCardStates(next_bus, file);

  EXPECT_EQ(next_bus.Card(1).bitsync().Kept(), kProgrammed);
  const IrigKeptState irig = next_bus.Card(1).irig().Kept();
  EXPECT_EQ(irig.control, kRunning.control);
  EXPECT_EQ(irig.counter_microseconds, kept_bus.Card(1).irig().Kept().counter_microseconds);
  EXPECT_EQ(next_bus.Card(0).bitsync().Kept(), BitsyncKeptState{});
  EXPECT_EQ(next_bus.Card(2).bitsync().Kept(), BitsyncKeptState{}) << "not in the file";
  EXPECT_EQ(next_bus.Card(1).bitsync().Violations().Total(), 0);
}

TEST_F(CardStateTest, ADamagedEntryLeavesItsCardAsItPowersUp) {
  const std::string file = (folder_ / "damaged.state").string();
  std::ofstream(file) << "[Card0]\nBitsyncControl=13\nBitsyncSetup=90 11 0A\nQuickReact=YES\n"
                         "Fsp=\nIrigControl=9\nIrigDecoded=YES\nIrigCounter=5\nPcTime=0\n";
  VirtualPciBus bus(emulator::Scenario{std::vector<emulator::CardScenario>(1)});

  emulator::RestoreCardStates(bus, file);

  EXPECT_EQ(bus.Card(0).bitsync().Kept(), BitsyncKeptState{});
  EXPECT_EQ(bus.Card(0).irig().Control(), 0);
}

TEST_F(CardStateTest, ABusOfTheSameValueTakesUpWhatTheLastOneKeptUnlessFresh) {
  Connect("2")->Card(0).bitsync().Restore(kProgrammed);
  emulator::StopBus();
  ASSERT_TRUE(fs::exists(emulator::CardStateFilePath("2")));

  EXPECT_EQ(Connect("2")->Card(0).bitsync().Kept(), kProgrammed);
  EXPECT_EQ(Connect("3")->Card(0).bitsync().Kept(), BitsyncKeptState{}) << "another value";
  emulator::StopBus();

  {
    const ScopedEnvironmentVariable fresh(emulator::kFreshVariable, "1");
    std::shared_ptr<VirtualPciBus> bus = Connect("2");
    EXPECT_EQ(bus->Card(0).bitsync().Kept(), BitsyncKeptState{});
    bus->Card(1).bitsync().Restore(kProgrammed);
    bus.reset();
    emulator::StopBus();
  }
  // The fresh bus kept nothing.
  const std::shared_ptr<VirtualPciBus> bus = Connect("2");
  EXPECT_EQ(bus->Card(0).bitsync().Kept(), kProgrammed);
  EXPECT_EQ(bus->Card(1).bitsync().Kept(), BitsyncKeptState{});
}

TEST_F(CardStateTest, IrigTimesNoReaderCanHaveLeaveItsCardAsItPowersUp) {
  // IrigCounter and PcTime: the extremes overflowed the reader's time arithmetic.
  const std::pair<const char*, const char*> cases[] = {
      {"9223372036854775807", "0"},
      {"0", "-9223372036854775808"},
      {"-1", "0"},
      {"0", "31708800000000"},  // day 367
  };
  for (const auto& [counter, pc_time] : cases) {
    SCOPED_TRACE(std::string(counter) + " " + pc_time);
    const std::string file = (folder_ / "damaged.state").string();
    std::ofstream(file) << "[Card0]\nIrigControl=5\nIrigDecoded=YES\nIrigCounter=" << counter
                        << "\nPcTime=" << pc_time << "\n";
    VirtualPciBus bus(emulator::Scenario{std::vector<emulator::CardScenario>(1)});

    emulator::RestoreCardStates(bus, file);

    EXPECT_EQ(bus.Card(0).irig().Control(), 0);
  }
}

}  // namespace
