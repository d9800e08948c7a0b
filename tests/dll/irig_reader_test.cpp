#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "dll/marnirigclass.h"
#include "platform/clock.h"
#include "tests/dll/irig_register_bank.h"

namespace {

using irig_test::RegisterAccess;

constexpr double kDay = 86400.0;

RegisterAccess Read(uint32_t offset, uint8_t value) {
  return {false, 3, offset, value};
}
RegisterAccess Write(uint32_t offset, uint8_t value) {
  return {true, 3, offset, value};
}

IrigSetup IrigSetupOf(int32_t source_format, bool external, bool flywheel) {
  return IrigSetup{source_format, external, flywheel, 0};
}

class IrigReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error_text = "stale";
    ASSERT_TRUE(reader_.Open(2, bank_.Handle(), error_text));
    EXPECT_EQ(error_text, "");
  }

  void TearDown() override { EXPECT_EQ(bank_.foreign_handle_accesses, 0); }

  // Places values in registers 0x1F down to 0x18.
  void SetTimeRegisters(const std::array<uint8_t, 8>& from_1f_down) {
    for (size_t i = 0; i < from_1f_down.size(); ++i) bank_.registers[0x1F - i] = from_1f_down[i];
  }

  platform::VirtualClock time_{platform::LocalTime{2024, 3, 1, 12, 0, 0, 0, 5, 60}};
  platform::ScopedClock installed_{time_};
  irig_test::RegisterBank bank_;
  marnirigclass reader_;
};

TEST(IrigReaderWithoutCard, RefusesEverythingAndTouchesNoRegister) {
  irig_test::RegisterBank bank;
  marnirigclass reader;
  std::string error_text;
  EXPECT_FALSE(reader.Open(0, nullptr, error_text));
  EXPECT_EQ(error_text, "Invalid decom driver");

  EXPECT_EQ(reader.ReadIrigRegister(0x1F), 255);
  reader.WriteIrigRegister(0x18, 1);
  int32_t status = -1;
  EXPECT_FALSE(reader.GetIrigStatus(status));
  EXPECT_EQ(status, -1);
  double seconds = 1.0;
  EXPECT_FALSE(reader.GetIrigNowtime(seconds));
  EXPECT_EQ(seconds, 0.0);
  EXPECT_FALSE(reader.LoadIrigSetup(IrigSetupOf(0, true, false), error_text));
  EXPECT_EQ(error_text, "IRIG CARD INVALID");
  EXPECT_TRUE(bank.accesses.empty());
}

TEST_F(IrigReaderTest, StatusCodeFromTheStatusRegister) {
  const struct {
    uint8_t register_value;
    int32_t status;
  } cases[] = {{0x90, 4}, {0x10, 4}, {0x1F, 4}, {0x80, 2}, {0x8F, 2}, {0x20, 5}, {0x00, 5}};
  for (const auto& c : cases) {
    bank_.registers[0x1F] = c.register_value;
    int32_t status = 0;
    EXPECT_TRUE(reader_.GetIrigStatus(status));
    EXPECT_EQ(status, c.status) << std::hex << int{c.register_value};
  }
  EXPECT_EQ(bank_.accesses.back(), Read(0x1F, 0x00));
}

TEST_F(IrigReaderTest, DecodesTheTimeRegistersDigitByDigit) {
  const struct {
    std::array<uint8_t, 8> registers;  // 0x1F down to 0x18
    double seconds;
  } cases[] = {
      {{0x03, 0x65, 0x23, 0x59, 0x59, 0x99, 0x99, 0x99}, 365 * kDay + 86399.999999},
      {{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, kDay},  // 1 January 00:00:00
      {{0x01, 0x23, 0x04, 0x05, 0x06, 0x78, 0x91, 0x23}, 123 * kDay + 14706.789123},
      // Nibbles above 9 count as their raw values.
      {{0x00, 0xFA, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 160 * kDay},
      {{0x0F, 0x00, 0xAB, 0xC0, 0x0D, 0xEF, 0xF0, 0x0A},
       1500 * kDay + 111 * 3600.0 + 120 * 60.0 + 13 + 1.565 + 0.00001},
  };
  for (const auto& c : cases) {
    SetTimeRegisters(c.registers);
    bank_.accesses.clear();
    double seconds = 0.0;
    EXPECT_TRUE(reader_.GetIrigNowtime(seconds));
    EXPECT_NEAR(seconds, c.seconds, 1e-7);
    const std::vector<RegisterAccess> expected = {
        Write(0x1A, 0),
        Read(0x1F, c.registers[0]),  // the status poll
        Read(0x1F, c.registers[0]),
        Read(0x1E, c.registers[1]),
        Read(0x1D, c.registers[2]),
        Read(0x1C, c.registers[3]),
        Read(0x1B, c.registers[4]),
        Read(0x1A, c.registers[5]),
        Read(0x19, c.registers[6]),
        Read(0x18, c.registers[7]),
    };
    EXPECT_EQ(bank_.accesses, expected);
  }
}

TEST_F(IrigReaderTest, ReadsTheTimeOnceTheCaptureIsNoLongerBusy) {
  SetTimeRegisters({0x00, 0x32, 0x09, 0x05, 0x07, 0x00, 0x00, 0x00});
  bank_.status_script = {0x80, 0x80, 0x80};
  double seconds = 0.0;
  EXPECT_TRUE(reader_.GetIrigNowtime(seconds));
  EXPECT_DOUBLE_EQ(seconds, 32 * kDay + 9 * 3600 + 5 * 60 + 7);
  EXPECT_EQ(bank_.CountAccesses(false, 0x1F), 5);  // 3 busy, 1 ready, 1 for the day hundreds
}

TEST_F(IrigReaderTest, AStatusThatStaysBusyStillYieldsATime) {
  SetTimeRegisters({0x82, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  double seconds = 0.0;
  EXPECT_TRUE(reader_.GetIrigNowtime(seconds));
  EXPECT_DOUBLE_EQ(seconds, 200 * kDay);
  EXPECT_EQ(bank_.CountAccesses(false, 0x1F), marnirigclass::kMaxBusyPolls + 1);
  EXPECT_EQ(time_.MonotonicNanoseconds(), 0);  // polled without a pause
}

TEST_F(IrigReaderTest, AnErrorStatusYieldsFailureAndZero) {
  const std::deque<uint8_t> scripts[] = {{0x10}, {0x90}, {0x80, 0x80, 0x10}};
  for (const auto& script : scripts) {
    SetTimeRegisters({0x03, 0x65, 0x23, 0x59, 0x59, 0x99, 0x99, 0x99});
    bank_.status_script = script;
    bank_.accesses.clear();
    double seconds = 5.0;
    EXPECT_FALSE(reader_.GetIrigNowtime(seconds));
    EXPECT_EQ(seconds, 0.0);
    EXPECT_EQ(bank_.accesses.back().offset, 0x1Fu);  // no time register was read
  }
}

TEST_F(IrigReaderTest, ExternalSourceWritesOnlyTheControlRegister) {
  const struct {
    int32_t source_format;
    bool flywheel;
    uint8_t control;
  } cases[] = {{0, false, 0x01}, {1, false, 0x02}, {2, true, 0x07},
               {7, false, 0x00}, {7, true, 0x04},  {-1, false, 0x00}};
  for (const auto& c : cases) {
    bank_.accesses.clear();
    std::string error_text = "stale";
    EXPECT_TRUE(reader_.LoadIrigSetup(IrigSetupOf(c.source_format, true, c.flywheel), error_text));
    EXPECT_EQ(bank_.accesses, std::vector<RegisterAccess>{Write(0x18, c.control)})
        << "format " << c.source_format;
  }
  EXPECT_EQ(time_.MonotonicNanoseconds(), 0);
}

class IrigSeedTest : public IrigReaderTest {
 protected:
  std::vector<uint8_t> SeedAt(const platform::LocalTime& pc_time, bool flywheel = false) {
    time_.SetLocalTime(pc_time);
    bank_.accesses.clear();
    std::string error_text;
    EXPECT_TRUE(reader_.LoadIrigSetup(IrigSetupOf(2, false, flywheel), error_text)) << error_text;
    return bank_.WrittenTo(0x19);
  }

  static std::vector<uint8_t> Message(const std::string& digits) {
    std::vector<uint8_t> message(digits.begin(), digits.end());
    message.insert(message.begin(), {0x01, 'A'});
    message.push_back(0x17);
    return message;
  }
};

TEST_F(IrigSeedTest, SendsTheNextSecondOfThePcClockAfterTheControlWrite) {
  // Half a second before 1 February 09:05:07: the seed waits for that second to begin.
  const std::vector<uint8_t> sent = SeedAt({2024, 2, 1, 9, 5, 6, 500, 4, 31}, true);
  EXPECT_EQ(sent,
            (std::vector<uint8_t>{0x01, 0x41, '0', '3', '2', '0', '9', '0', '5', '0', '7', 0x17}));
  ASSERT_EQ(bank_.accesses.size(), 1u + 2 * 12);
  EXPECT_EQ(bank_.accesses[0], Write(0x18, 0x04));  // internal clock, flywheel
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(bank_.accesses[1 + 2 * i], Read(0x1F, 0x00));  // ready before every byte
    EXPECT_TRUE(bank_.accesses[2 + 2 * i].write);
  }
  const int64_t second_began_ns = 500'000'000;  // since the clock was set
  EXPECT_EQ(bank_.accesses[0].at_ns, second_began_ns);
  EXPECT_EQ(bank_.accesses[1].at_ns - bank_.accesses[0].at_ns, 50'000'000);
}

TEST_F(IrigSeedTest, DayOfYearFollowsTheGregorianLeapRule) {
  const struct {
    platform::LocalTime pc_time;
    std::string digits;
  } cases[] = {
      {{2000, 3, 1, 0, 0, 0, 500, 0, 0}, "061000001"},
      {{2024, 3, 1, 0, 0, 0, 500, 0, 0}, "061000001"},
      {{2023, 3, 1, 0, 0, 0, 500, 0, 0}, "060000001"},
      {{2100, 3, 1, 0, 0, 0, 500, 0, 0}, "060000001"},
      {{2023, 12, 31, 23, 59, 59, 500, 0, 0}, "001000000"},  // the new second's date
      {{2024, 12, 31, 23, 59, 58, 500, 0, 0}, "366235959"},
      {{2023, 12, 31, 10, 59, 59, 500, 0, 0}, "365110000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SeedAt(c.pc_time), Message(c.digits)) << c.digits;
  }
}

TEST_F(IrigSeedTest, WaitsForTheSeedPortToBecomeReadyBeforeEachByte) {
  bank_.status_script = {0x80, 0x80, 0x00, 0x00, 0x8F, 0x8F, 0x8F,
                         0x8F, 0x8F, 0x8F, 0x8F, 0x8F, 0x8F, 0x0F};  // ready on the tenth read
  EXPECT_EQ(SeedAt({2024, 2, 1, 9, 5, 6, 500, 4, 31}), Message("032090507"));
  EXPECT_EQ(bank_.CountAccesses(false, 0x1F), 3 + 1 + 10 + 9);
}

TEST_F(IrigSeedTest, APortThatStaysBusyFailsAndKeepsTheBytesAlreadySent) {
  bank_.status_script = {0x00, 0x00, 0x00};
  bank_.registers[0x1F] = 0x80;
  time_.SetLocalTime({2024, 2, 1, 9, 5, 6, 500, 4, 31});
  std::string error_text;
  EXPECT_FALSE(reader_.LoadIrigSetup(IrigSetupOf(0, false, false), error_text));
  EXPECT_EQ(error_text, "IRIG SET TIME FAIL");
  EXPECT_EQ(bank_.WrittenTo(0x19), (std::vector<uint8_t>{0x01, 0x41, '0'}));
  EXPECT_EQ(bank_.CountAccesses(false, 0x1F), 3 + marnirigclass::kMaxReadyReads);
}

}  // namespace
