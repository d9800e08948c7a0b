#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/IrigReader.h"
#include "platform/clock.h"

namespace {

using emulator::IrigReader;

constexpr int64_t kSecond = 1'000'000;  // microseconds
constexpr int64_t kDay = 86'400 * kSecond;
constexpr uint8_t kIrigB = 0x01;
constexpr uint8_t kFlywheel = 0x04;

int64_t At(int day, int hours, int minutes, int seconds, int64_t microseconds = 0) {
  return day * kDay + ((hours * 60 + minutes) * 60 + seconds) * kSecond + microseconds;
}

std::vector<uint8_t> SeedMessage(const std::string& digits) {
  std::vector<uint8_t> message(digits.begin(), digits.end());
  message.insert(message.begin(), {0x01, 'A'});
  message.push_back(0x17);
  return message;
}

class IrigReaderTest : public ::testing::Test {
 protected:
  explicit IrigReaderTest(bool irig_signal = true)
      : reader_(emulator::CardScenario{.irig_signal = irig_signal}) {}

  int Digit(uint32_t offset, int shift) { return reader_.Read(offset) >> shift & 0x0F; }

  // Requests a capture, waits out the busy period and reads the latched time back.
  int64_t Capture() {
    reader_.Write(IrigReader::kCaptureRegister, 0);
    int busy_reads = 0;
    while (reader_.Read(IrigReader::kStatusRegister) & IrigReader::kBusyBit) ++busy_reads;
    EXPECT_EQ(busy_reads, IrigReader::kCaptureBusyReads);
    return LatchedTime();
  }

  int64_t LatchedTime() {
    const int day = Digit(0x1F, 0) * 100 + Digit(0x1E, 4) * 10 + Digit(0x1E, 0);
    const int hours = Digit(0x1D, 4) * 10 + Digit(0x1D, 0);
    const int minutes = Digit(0x1C, 4) * 10 + Digit(0x1C, 0);
    const int seconds = Digit(0x1B, 4) * 10 + Digit(0x1B, 0);
    const int milliseconds = Digit(0x1A, 4) * 100 + Digit(0x1A, 0) * 10 + Digit(0x19, 4);
    const int microseconds = Digit(0x19, 0) * 100 + Digit(0x18, 4) * 10 + Digit(0x18, 0);
    return At(day, hours, minutes, seconds, milliseconds * 1000 + microseconds);
  }

  // Sends the bytes as the library does: each one once the port has stopped being busy.
  void SendSeed(const std::vector<uint8_t>& message) {
    for (uint8_t byte : message) {
      while (reader_.Read(IrigReader::kStatusRegister) & IrigReader::kBusyBit) {
        clock_.Sleep(1);
      }
      reader_.Write(IrigReader::kSeedPort, byte);
    }
  }

  bool ErrorBit() { return reader_.Read(IrigReader::kStatusRegister) & IrigReader::kErrorBit; }

  void AdvanceMicroseconds(int64_t microseconds) { clock_.Advance(microseconds * 1000); }

  // 1 March 2024 12:00:00.000 is day 61.
  platform::VirtualClock clock_{platform::LocalTime{2024, 3, 1, 12, 0, 0, 0, 5, 60}};
  platform::ScopedClock installed_{clock_};
  IrigReader reader_;
};

class IrigReaderWithoutSignalTest : public IrigReaderTest {
 protected:
  IrigReaderWithoutSignalTest() : IrigReaderTest(false) {}
};

TEST_F(IrigReaderTest, InternalClockRunsFromDayZeroBeforeAnySeed) {
  EXPECT_EQ(reader_.Read(IrigReader::kStatusRegister), 0x00);
  AdvanceMicroseconds(At(1, 2, 3, 4, 567'891));
  EXPECT_EQ(Capture(), At(1, 2, 3, 4, 567'891));
  EXPECT_FALSE(ErrorBit());
}

TEST_F(IrigReaderTest, APoweredReaderRunsOnByThePcTimePassedBetweenTwoRuns) {
  reader_.Write(IrigReader::kControlRegister, kFlywheel);
  AdvanceMicroseconds(At(100, 10, 0, 0));
  const emulator::IrigKeptState kept = reader_.Kept();
  EXPECT_EQ(kept.control, kFlywheel);
  EXPECT_EQ(kept.counter_microseconds, At(100, 10, 0, 0));

  AdvanceMicroseconds(5 * kSecond);
  IrigReader next(emulator::CardScenario{});
  next.Restore(kept);

  EXPECT_EQ(next.Control(), kFlywheel);
  EXPECT_EQ(next.Kept().counter_microseconds, At(100, 10, 0, 5));

  // A PC clock set back in between does not make the counter run back.
  emulator::IrigKeptState from_the_future = kept;
  from_the_future.pc_microseconds += kDay;
  next.Restore(from_the_future);
  EXPECT_EQ(next.Kept().counter_microseconds, At(100, 10, 0, 0));
}

TEST_F(IrigReaderTest, RegistersHoldTheLatchedTimeUntilTheNextCapture) {
  AdvanceMicroseconds(At(123, 0, 0, 0));
  EXPECT_EQ(Capture(), At(123, 0, 0, 0));
  EXPECT_EQ(reader_.Read(IrigReader::kStatusRegister) & 0x0F, 1);  // day hundreds
  AdvanceMicroseconds(5 * kSecond);
  EXPECT_EQ(LatchedTime(), At(123, 0, 0, 0));
  // The time is taken when the busy period ends, not when it is requested.
  reader_.Write(IrigReader::kCaptureRegister, 0);
  AdvanceMicroseconds(250'000);
  while (reader_.Read(IrigReader::kStatusRegister) & IrigReader::kBusyBit) {
  }
  EXPECT_EQ(LatchedTime(), At(123, 0, 0, 5, 250'000));
}

TEST_F(IrigReaderTest, SeedSetsTheInternalClockFromTheSecondItWasSentIn) {
  clock_.SetLocalTime(platform::LocalTime{2024, 2, 1, 9, 5, 7, 0, 4, 31});
  AdvanceMicroseconds(50'000);  // the library's pause after the control write
  SendSeed(SeedMessage("032090507"));
  EXPECT_EQ(reader_.ProtocolErrors(), 0);
  AdvanceMicroseconds(1'500'000);
  // The seed named the second that began 50 ms before its first byte.
  const int64_t expected = At(32, 9, 5, 8, 550'000) + 11 * IrigReader::kSeedBusyReads * 1000;
  EXPECT_EQ(Capture(), expected);
}

TEST_F(IrigReaderTest, SeedPortIsBusyAfterEachByteAndCountsBytesWrittenWhileBusy) {
  reader_.Write(IrigReader::kSeedPort, 0x01);
  for (int i = 0; i < IrigReader::kSeedBusyReads; ++i) {
    EXPECT_TRUE(reader_.Read(IrigReader::kStatusRegister) & IrigReader::kBusyBit);
  }
  EXPECT_FALSE(reader_.Read(IrigReader::kStatusRegister) & IrigReader::kBusyBit);
  EXPECT_EQ(reader_.ProtocolErrors(), 0);
  reader_.Write(IrigReader::kSeedPort, 'A');
  reader_.Write(IrigReader::kSeedPort, '1');
  EXPECT_EQ(reader_.ProtocolErrors(), 1);
}

TEST_F(IrigReaderTest, MalformedSeedMessagesAreCountedAndIgnored) {
  const std::vector<std::vector<uint8_t>> malformed = {
      {0x02, 'A', '0', '3', '2', '0', '9', '0', '5', '0', '7', 0x17},  // no start byte
      {0x01, 'B', '0', '3', '2', '0', '9', '0', '5', '0', '7', 0x17},  // wrong letter
      {0x01, 'A', '0', '3', '2', '0', '9', '0', '5', '0', '7', 0x18},  // wrong end byte
      SeedMessage("03209050:"),                                        // not a digit
      SeedMessage("000120000"),                                        // day 0
      SeedMessage("367120000"),                                        // day 367
      SeedMessage("032240000"),                                        // hour 24
      SeedMessage("032126000"),                                        // minute 60
      SeedMessage("032120060"),                                        // second 60
  };
  int expected_errors = 0;
  for (const auto& message : malformed) {
    SendSeed(message);
    EXPECT_EQ(reader_.ProtocolErrors(), ++expected_errors);
  }
  EXPECT_LT(Capture(), kDay);  // still running from day 0
}

TEST_F(IrigReaderTest, StartByteAbandonsAnUnfinishedMessage) {
  SendSeed({0x01, 'A', '1', '0'});
  SendSeed(SeedMessage("100120000"));
  EXPECT_EQ(reader_.ProtocolErrors(), 1);
  EXPECT_EQ(Capture() / kSecond, At(100, 12, 0, 0) / kSecond);
}

TEST_F(IrigReaderTest, ExternalCodeFollowsThePcTimeOfYear) {
  reader_.Write(IrigReader::kControlRegister, kIrigB);
  EXPECT_EQ(Capture(), At(61, 12, 0, 0));
  AdvanceMicroseconds(At(0, 1, 2, 5, 250));
  EXPECT_EQ(Capture(), At(61, 13, 2, 5));  // the PC clock reads whole milliseconds
  EXPECT_FALSE(ErrorBit());
}

TEST_F(IrigReaderTest, FlywheelKeepsTheLastDecodedTimeRunningWhenTheSignalGoes) {
  reader_.Write(IrigReader::kControlRegister, kIrigB | kFlywheel);
  AdvanceMicroseconds(kSecond);
  reader_.SetSignalPresent(false);
  // The PC clock jumps; the flywheel does not follow it.
  clock_.SetLocalTime(platform::LocalTime{2024, 7, 1, 0, 0, 0, 0, 1, 182});
  AdvanceMicroseconds(2 * kSecond);
  EXPECT_FALSE(ErrorBit());
  EXPECT_EQ(Capture(), At(61, 12, 0, 3));
  reader_.SetSignalPresent(true);
  EXPECT_EQ(Capture(), At(183, 0, 0, 2));
}

TEST_F(IrigReaderTest, LosingTheSignalWithoutFlywheelSetsTheErrorBit) {
  reader_.Write(IrigReader::kControlRegister, kIrigB);
  reader_.SetSignalPresent(false);
  EXPECT_TRUE(ErrorBit());
  reader_.SetSignalPresent(true);
  EXPECT_FALSE(ErrorBit());
}

TEST_F(IrigReaderTest, ANewCodeMustBeDecodedBeforeFlywheelHelps) {
  reader_.Write(IrigReader::kControlRegister, kIrigB | kFlywheel);
  reader_.SetSignalPresent(false);
  EXPECT_FALSE(ErrorBit());
  reader_.Write(IrigReader::kControlRegister, 0x02 | kFlywheel);  // IRIG A
  EXPECT_TRUE(ErrorBit());
}

TEST_F(IrigReaderWithoutSignalTest, ErrorBitOnlyWhenAnExternalCodeIsSelected) {
  EXPECT_FALSE(ErrorBit());
  for (uint8_t control : {0x01, 0x02, 0x03, 0x05}) {  // flywheel has decoded nothing yet
    reader_.Write(IrigReader::kControlRegister, control);
    EXPECT_TRUE(ErrorBit()) << int{control};
  }
  reader_.Write(IrigReader::kControlRegister, kFlywheel);
  EXPECT_FALSE(ErrorBit());
}

}  // namespace
