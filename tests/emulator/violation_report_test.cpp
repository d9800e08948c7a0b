// The bus's violation report: what ZORV_EMULATOR_REPORT receives when a bus stops, for the
// tests that drive the library through its exports and cannot reach the bus inside it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "emulator/ViolationReport.h"
#include "emulator/VirtualPciBus.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace {

class ViolationReportTest : public ::testing::Test {
 protected:
  ViolationReportTest() {
    platform::SetEnvironmentVariable(emulator::kReportVariable, report_.string());
  }
  ~ViolationReportTest() override {
    platform::SetEnvironmentVariable(emulator::kReportVariable, "");
    std::filesystem::remove(report_);
  }

  std::string Value(const std::string& section, const std::string& key) const {
    return platform::ReadProfileString(report_.string(), section, key, "missing");
  }

  const std::filesystem::path report_ =
      std::filesystem::temp_directory_path() /
      ("violation_report_" + std::to_string(platform::ProcessId()) + ".ini");
};

TEST_F(ViolationReportTest, StoppingBusReplacesTheFileWithItsCounts) {
  std::ofstream(report_) << "[Card5]\r\nBitsync=9\r\n";
  auto bus = std::make_unique<emulator::VirtualPciBus>(
      emulator::Scenario{{emulator::CardScenario{}, emulator::CardScenario{}}});
  const uint32_t session = bus->OpenSession();
  uint8_t record[4] = {};
  bus->Request(session, 0x12345678, record, sizeof record);
  bus->CloseSession(session);
  // A strobe with no new command and no reply shown: an acknowledge without a reply.
  emulator::BitsyncModule& module = bus->Card(1).bitsync();
  module.Write(emulator::BitsyncModule::kStatusRegister, 0x00);
  module.Write(emulator::BitsyncModule::kStatusRegister, emulator::BitsyncModule::kStrobeBit);
  ASSERT_EQ(module.Violations().Total(), 1);
  bus.reset();

  EXPECT_EQ(Value("Bus", "Cards"), "2");
  EXPECT_EQ(Value("Bus", "Refused"), "1");
  EXPECT_NE(Value("Bus", "LastRefused").find("unknown request code"), std::string::npos);
  for (const char* part : {"Eeprom", "Bitsync", "Irig"}) {
    EXPECT_EQ(Value("Card0", part), "0") << part;
  }
  EXPECT_EQ(Value("Card1", "Bitsync"), "1");
  EXPECT_EQ(Value("Card1", "Eeprom"), "0");
  EXPECT_EQ(Value("Card5", "Bitsync"), "missing") << "nothing of an earlier run survives";
}

TEST_F(ViolationReportTest, WithoutTheVariableNoFileIsWritten) {
  platform::SetEnvironmentVariable(emulator::kReportVariable, "");
  { emulator::VirtualPciBus bus(emulator::Scenario{{emulator::CardScenario{}}}); }
  EXPECT_FALSE(std::filesystem::exists(report_));
}

}  // namespace
