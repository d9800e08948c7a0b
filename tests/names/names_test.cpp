#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dll/keltnametables.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/keserrorlog.h"

namespace {

// The operator program's record for a new card.
BitsyncSetup DefaultSetup() {
  BitsyncSetup setup{};
  setup.InputSource = 1;
  setup.BitRate = 1024000;
  setup.LoopBandwidth = 2;
  setup.BitDecisionDetector = 1;
  setup.QuickReactMode = 1;
  setup.StartupAutoTestEnabled = 1;
  setup.Pattern15Bit = 1;
  return setup;
}

// Runs the report into a log of its own in a scratch folder and returns the messages of its
// lines, each after checking that the line carries code 0.
class SetupReport : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("zorv_names_" + std::to_string(platform::ProcessId()));
    std::filesystem::create_directories(folder_);
    previous_directory_ = platform::CurrentDirectory();
    platform::SetCurrentDirectory(folder_.string());
  }
  void TearDown() override {
    platform::SetCurrentDirectory(previous_directory_);
    std::filesystem::remove_all(folder_);
  }

  std::vector<std::string> Report(const BitsyncSetup& setup) {
    OpenErrorLog(false, "test", nullptr, nullptr, "SetupReport");
    const std::filesystem::path log = folder_ / "SetupReport.Log";
    const auto header_size = std::filesystem::file_size(log);
    PrintBitsyncSetup(setup);
    CloseErrorLog(false);
    std::ifstream in(log, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(header_size));
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(in, line)) {
      if (line.find("PROGRAM END") != std::string::npos) break;
      EXPECT_EQ(line.substr(0, 8), "000000  ") << line;
      EXPECT_EQ(line.back(), '\r') << line;
      // The message follows the time stamp and two blanks.
      const size_t start = line.find("  ", 8) + 2;
      messages.push_back(line.substr(start, line.size() - 1 - start));
    }
    return messages;
  }

  platform::VirtualClock clock_;
  platform::ScopedClock installed_{clock_};
  std::filesystem::path folder_;
  std::string previous_directory_;
};

TEST_F(SetupReport, DefaultRecordLineForLine) {
  const std::vector<std::string> expected = {
      "The Setup Data Used is as follow:",
      "Model                             KELT_20",
      "InputSource                       1",
      "InputCode                         0",
      "OutputCode                        0",
      "LoopBandwidth                     2",
      "BitRate                           1024000",
      "BitDecisionDetector (k^2 or I&D)  YES",
      "StartupAutoTestEnabled  YES",
      "Pattern15Bit  YES",
      "NrzlDcOutputDisabledAtSymbolUnlock  NO",
      "NrzlDcOutputDisabledAtEsNo5Db  NO",
      "PcmEncoderOutputDisabledAtSymbolUnlock  NO",
      "PcmEncoderOutputDisabledAtEsNo5Db  NO",
      "BerTestingEnabled  NO",
      "ExtBerMode  NO",
      "KnownErrorMode  NO",
      "QuickReactMode  YES",
      "Do90DegClkOut  NO",
  };
  EXPECT_EQ(Report(DefaultSetup()), expected);
}

TEST_F(SetupReport, EveryFlagByteAndNumberIsItsOwn) {
  BitsyncSetup setup{};
  setup.Model = 5;
  setup.InputSource = 11;
  setup.InputCode = 31;
  setup.OutputCode = 18;
  setup.LoopBandwidth = 7;
  setup.BitRate = 99999999;
  setup.KnownErrorMode = 0x80;  // any non-zero byte is true
  const std::vector<std::string> lines = Report(setup);
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[1], "Model                             KELTV2_10");
  EXPECT_EQ(lines[2], "InputSource                       11");
  EXPECT_EQ(lines[3], "InputCode                         31");
  EXPECT_EQ(lines[4], "OutputCode                        18");
  EXPECT_EQ(lines[5], "LoopBandwidth                     7");
  EXPECT_EQ(lines[6], "BitRate                           99999999");
  for (size_t i = 7; i < lines.size(); ++i) {
    const bool known_error_line = lines[i].rfind("KnownErrorMode  ", 0) == 0;
    EXPECT_EQ(lines[i].substr(lines[i].rfind("  ") + 2), known_error_line ? "YES" : "NO")
        << lines[i];
  }
}

TEST_F(SetupReport, ModelWithoutARowPrintsItsNumber) {
  for (const int32_t model : {6, -1, 2147483647}) {
    BitsyncSetup setup = DefaultSetup();
    setup.Model = model;
    const std::vector<std::string> lines = Report(setup);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Model                             " + std::to_string(model));
  }
}

struct Table {
  const char* name;
  const char* const* rows;
  size_t count;
};

TEST(NameTables, EveryRowIsFilled) {
  const Table tables[] = {
      {"models", kModelNames, std::size(kModelNames)},
      {"input sources", kInputSourceNames, std::size(kInputSourceNames)},
      {"plain input sources", kInputSourcePlainNames, std::size(kInputSourcePlainNames)},
      {"input codes", kInputCodeNames, std::size(kInputCodeNames)},
      {"output codes", kOutputCodeNames, std::size(kOutputCodeNames)},
      {"loop bandwidths", kLoopBandwidthNames, std::size(kLoopBandwidthNames)},
      {"fine loop bandwidths", kLoopBandwidth17Names, std::size(kLoopBandwidth17Names)},
      {"lock status", kLockStatusNames, std::size(kLockStatusNames)},
  };
  for (const Table& table : tables) {
    for (size_t row = 0; row < table.count; ++row) {
      ASSERT_NE(table.rows[row], nullptr) << table.name << " row " << row;
      EXPECT_NE(std::string(table.rows[row]), "") << table.name << " row " << row;
    }
  }
}

TEST(NameTables, RowsOthersDependOnKeepTheirSpelling) {
  EXPECT_STREQ(kInputSourceNames[6], "SE_INPUT 7 ( J1-35)");
  EXPECT_STREQ(kInputSourceNames[9], "(UNUSED/SIM)");
  EXPECT_STREQ(kInputSourcePlainNames[9], "DIFF_INPUT 2");
  EXPECT_STREQ(kInputCodeNames[29], "INV_RNRZ23");
  EXPECT_STREQ(kInputCodeNames[30], "RNRZ9");
  EXPECT_STREQ(kInputCodeNames[31], "INV_RNRZ9");
  EXPECT_STREQ(kOutputCodeNames[17], "RNRZ23");
  EXPECT_STREQ(kOutputCodeNames[18], "RNRZ9");
  EXPECT_STREQ(kLoopBandwidthNames[2], "0.5");
  EXPECT_STREQ(kLoopBandwidth17Names[15], "2.0");
  EXPECT_STREQ(kLockStatusNames[2], "LOCK");
  EXPECT_STREQ(kLockStatusNames[3], "LOCK");
  EXPECT_STREQ(kLockStatusNames[5], "DOES NOT EXIST");
}

}  // namespace
