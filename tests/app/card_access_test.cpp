// A card window's work on its card, without the window, against the fake library.

#include <gtest/gtest.h>

#include <limits>

#include "app/ZorvCardAccess.h"
#include "tests/app/BindingTestFixture.h"

namespace {

class CardAccessTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    fake_ = &InstallFullFake();
    Bind();
    ASSERT_EQ(zorv_->card_count, 2);
  }

  static bool Never() { return false; }

  FakeZorvDllState* fake_ = nullptr;
};

struct MarkerCase {
  bool marker_file;
  int32_t stored;
  int32_t sent;
  int32_t kept;
};

class ReloadBitsyncSetupTest : public CardAccessTest,
                               public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(ReloadBitsyncSetupTest, SendsTheSetupThenTheQuickReactByte) {
  CardData& card = zorv_->cards[1];
  card.bitsync_setup.LoopBandwidth = GetParam().stored;
  card.bitsync_setup.BitRate = 2000000;
  card.quick_react_mode = 1;

  EXPECT_TRUE(ReloadBitsyncSetup(*zorv_, 1, GetParam().marker_file));

  ASSERT_EQ(fake_->bitsync_setup_loads, 1);
  EXPECT_EQ(fake_->bitsync_setups[0].LoopBandwidth, GetParam().sent);
  EXPECT_EQ(fake_->bitsync_setups[0].BitRate, 2000000u);
  EXPECT_EQ(fake_->quick_react_mode, 1);
  EXPECT_EQ(fake_->last_card, 1);
  EXPECT_EQ(card.bitsync_setup.LoopBandwidth, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(CardAccess, ReloadBitsyncSetupTest,
                         ::testing::Values(MarkerCase{false, 3, 3, 3}, MarkerCase{true, 3, 2, 3},
                                           MarkerCase{true, 0, 0, 1}, MarkerCase{true, -1, 0, -1}));

TEST_F(CardAccessTest, AReloadTheCardRefusesIsAFailure) {
  fake_->result = kZorvApiBitsyncSetupFailed;
  EXPECT_FALSE(ReloadBitsyncSetup(*zorv_, 0, false));
}

TEST_F(CardAccessTest, OnlyAnExistingReadbackCardWithTheTestOptionIsPolled) {
  CardData card;
  card.input_source_flag = 1;
  card.status.option_ber_test = 1;
  EXPECT_TRUE(IsPolled(card, 2));
  EXPECT_TRUE(IsPolled(card, 0));
  EXPECT_FALSE(IsPolled(card, 5));
  card.input_source_flag = 0;
  EXPECT_FALSE(IsPolled(card, 2));
  card.input_source_flag = 1;
  card.status.option_ber_test = 0;
  EXPECT_FALSE(IsPolled(card, 2));
}

TEST_F(CardAccessTest, GroupAReadsTheErrorCountAndRateOnlyWhileTheTestRuns) {
  BitsyncStatusData& status = zorv_->cards[0].status;
  fake_->bit_count = 1000;

  EXPECT_TRUE(ReadPollGroupA(*zorv_, 0, Never));
  EXPECT_EQ(fake_->per_card_calls, 5);
  EXPECT_EQ(status.bit_count, 1000u);
  EXPECT_EQ(status.error_count, 0u);
  EXPECT_EQ(status.bit_error_rate, 0.0);
  EXPECT_DOUBLE_EQ(status.es_no, 12.3);

  zorv_->cards[0].bitsync_setup.BerTestingEnabled = 1;
  EXPECT_TRUE(ReadPollGroupA(*zorv_, 0, Never));
  EXPECT_EQ(status.error_count, 7u);
  EXPECT_DOUBLE_EQ(status.bit_error_rate, 0.007);
  EXPECT_EQ(status.link_analysis_status[0], 1);

  fake_->bit_count = 0;
  EXPECT_TRUE(ReadPollGroupA(*zorv_, 0, Never));
  EXPECT_EQ(status.bit_error_rate, 0.0);
}

TEST_F(CardAccessTest, LinkAnalysisAloneReadsTheCountsTheFlagsAndTheRate) {
  zorv_->cards[1].bitsync_setup.BerTestingEnabled = 1;
  fake_->bit_count = 700;

  EXPECT_TRUE(ReadLinkAnalysis(*zorv_, 1, Never));

  EXPECT_EQ(fake_->per_card_calls, 3);
  EXPECT_DOUBLE_EQ(zorv_->cards[1].status.bit_error_rate, 0.01);
  EXPECT_EQ(zorv_->cards[1].status.es_no, 0.0);
}

TEST_F(CardAccessTest, AFailedReadKeepsItsValueAndTheGroupGoesOn) {
  zorv_->cards[1].bitsync_setup.BerTestingEnabled = 1;
  BitsyncStatusData& status = zorv_->cards[1].status;
  status.signal_voltage = 4.5;
  fake_->result = kZorvApiSignalVoltageFailed;

  EXPECT_FALSE(ReadPollGroupA(*zorv_, 1, Never));
  EXPECT_EQ(fake_->per_card_calls, 7);
  EXPECT_EQ(status.signal_voltage, 4.5);

  EXPECT_FALSE(ReadPollGroupB(*zorv_, 1, Never));
  EXPECT_EQ(fake_->per_card_calls, 9);
}

TEST_F(CardAccessTest, AStopEndsTheGroupAfterTheCallInProgress) {
  static FakeZorvDllState* fake = nullptr;
  fake = fake_;
  zorv_->cards[0].bitsync_setup.BerTestingEnabled = 1;
  zorv_->cards[0].status.bit_error_rate = 0.5;
  fake_->bit_count = 10;

  EXPECT_FALSE(ReadPollGroupA(*zorv_, 0, [] { return fake->per_card_calls >= 2; }));
  EXPECT_EQ(fake_->per_card_calls, 2);
  EXPECT_EQ(zorv_->cards[0].status.bit_count, 0u);
  EXPECT_EQ(zorv_->cards[0].status.bit_error_rate, 0.5);

  EXPECT_FALSE(ReadPollGroupB(*zorv_, 0, [] { return true; }));
  EXPECT_EQ(fake_->per_card_calls, 3);
}

TEST_F(CardAccessTest, GroupBReadsTheBuiltInTestAndTheProgrammedRate) {
  EXPECT_TRUE(ReadPollGroupB(*zorv_, 1, Never));
  EXPECT_EQ(zorv_->cards[1].status.built_in_test[4], 0x5A);
  EXPECT_EQ(zorv_->cards[1].status.programmed_bit_rate, 1024000u);
}

TEST_F(CardAccessTest, IrigTimeThatIsNoNumberOrNoAnswerReadsAsZero) {
  double seconds = -1.0;
  EXPECT_TRUE(ReadIrigTime(*zorv_, 0, seconds));
  EXPECT_EQ(seconds, 86400.5);
  for (const double invalid :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    fake_->irig_time = invalid;
    EXPECT_TRUE(ReadIrigTime(*zorv_, 0, seconds));
    EXPECT_EQ(seconds, 0.0);
  }
  fake_->irig_time = 5.0;
  fake_->result = kZorvApiIrigNowtimeFailed;
  seconds = -1.0;
  EXPECT_FALSE(ReadIrigTime(*zorv_, 0, seconds));
  EXPECT_EQ(seconds, 0.0);
}

TEST_F(CardAccessTest, IrigStatusComesFromTheLibraryLiveAndFromTheSetupSimulated) {
  int32_t status = 0;
  EXPECT_TRUE(ReadIrigStatus(*zorv_, 0, status));
  EXPECT_EQ(status, 5);

  zorv_->simulate = true;
  const int calls = fake_->per_card_calls;
  IrigSetup& setup = zorv_->cards[0].irig_setup;
  for (const auto& [external, flywheel, expected] :
       {std::tuple{0, 1, 1}, std::tuple{1, 0, 2}, std::tuple{1, 1, 3}}) {
    setup.SourceExternal = static_cast<uint8_t>(external);
    setup.FlywheelEnabled = static_cast<uint8_t>(flywheel);
    EXPECT_TRUE(ReadIrigStatus(*zorv_, 0, status));
    EXPECT_EQ(status, expected) << external << flywheel;
  }
  EXPECT_EQ(fake_->per_card_calls, calls);
}

TEST(IrigStatusText, NamesTheStatusOfAnExternalSourceOnly) {
  EXPECT_EQ(IrigStatusText(3, true), "FLYWHEEL");
  EXPECT_EQ(IrigStatusText(5, true), "RTC");
  EXPECT_EQ(IrigStatusText(0, true), "OFF");
  EXPECT_EQ(IrigStatusText(3, false), "INTERNAL RTC");
  EXPECT_EQ(IrigStatusText(6, true), "");
  EXPECT_EQ(IrigStatusText(-1, true), "");
}

}  // namespace
