// The IRIG reader class against the emulated card, through the PCI access layer and the
// virtual bus, on virtual time.

#include <gtest/gtest.h>

#include <string>

#include "dll/marnirigclass.h"
#include "emulator/IrigReader.h"
#include "tests/dll/EmulatedCardFixture.h"

namespace {

constexpr double kMillisecond = 0.001;

class IrigEmulatedCardTest : public zorv_test::EmulatedCardFixture {
 protected:
  void Open(bool irig_signal) {
    OpenCard(emulator::CardScenario{.irig_signal = irig_signal});
    std::string error_text;
    ASSERT_TRUE(reader_.Open(0, handle(), error_text)) << error_text;
  }

  bool Load(bool external, bool flywheel) {
    std::string error_text;
    const bool loaded = reader_.LoadIrigSetup(IrigSetup{0, external, flywheel, 0}, error_text);
    EXPECT_TRUE(error_text.empty()) << error_text;
    return loaded;
  }

  // The PC's local time of year in seconds, day 1 = 1 January.
  double PcTimeOfYear() {
    const platform::LocalTime t = clock().Now();
    return (t.yearday + 1) * 86400.0 + t.hour * 3600 + t.minute * 60 + t.second +
           t.millisecond * kMillisecond;
  }

  int32_t Status() {
    int32_t status = 0;
    EXPECT_TRUE(reader_.GetIrigStatus(status));
    return status;
  }

  emulator::IrigReader& emulated() { return card().irig(); }

  marnirigclass reader_;
};

TEST_F(IrigEmulatedCardTest, SeededInternalClockReportsThePcTimeOfYear) {
  Open(true);
  clock().SetLocalTime({2024, 2, 1, 9, 5, 6, 300, 4, 31});
  ASSERT_TRUE(Load(false, true));
  EXPECT_EQ(emulated().Control(), 0x04);
  EXPECT_EQ(emulated().ProtocolErrors(), 0);

  const int64_t steps_us[] = {0, 1'234'567, 3'600'000'001};
  for (int64_t step_us : steps_us) {
    clock().Advance(step_us * 1000);
    double seconds = 0.0;
    ASSERT_TRUE(reader_.GetIrigNowtime(seconds));
    EXPECT_NEAR(seconds, PcTimeOfYear(), kMillisecond) << step_us;
    EXPECT_EQ(Status(), marnirigclass::kStatusReady);
  }
}

TEST_F(IrigEmulatedCardTest, ExternalSignalIsDecodedAndFlywheelBridgesItsLoss) {
  Open(true);
  ASSERT_TRUE(Load(true, true));
  EXPECT_EQ(emulated().Control(), 0x05);  // IRIG B, flywheel
  clock().Advance(2'500'000'000);
  double seconds = 0.0;
  ASSERT_TRUE(reader_.GetIrigNowtime(seconds));
  EXPECT_NEAR(seconds, PcTimeOfYear(), kMillisecond);

  emulated().SetSignalPresent(false);
  clock().Advance(1'000'000'000);
  EXPECT_EQ(Status(), marnirigclass::kStatusReady);
  ASSERT_TRUE(reader_.GetIrigNowtime(seconds));
  EXPECT_NEAR(seconds, PcTimeOfYear(), kMillisecond);

  ASSERT_TRUE(Load(true, false));  // flywheel off: the lost signal is an error
  EXPECT_EQ(Status(), marnirigclass::kStatusError);
}

TEST_F(IrigEmulatedCardTest, ExternalSourceWithoutSignalFails) {
  Open(false);
  ASSERT_TRUE(Load(true, true));
  EXPECT_EQ(Status(), marnirigclass::kStatusError);
  double seconds = 1.0;
  EXPECT_FALSE(reader_.GetIrigNowtime(seconds));
  EXPECT_EQ(seconds, 0.0);

  ASSERT_TRUE(Load(false, true));  // the internal clock needs no signal
  EXPECT_TRUE(reader_.GetIrigNowtime(seconds));
  EXPECT_NEAR(seconds, PcTimeOfYear(), kMillisecond);
  EXPECT_EQ(Status(), marnirigclass::kStatusReady);
}

}  // namespace
