// The IRIG reader through the loaded library on the real clock: the internal clock seeded from
// the PC's time, and the external input with and without a signal. The emulated station's
// generator shares the PC's time base, so a decoded time is compared with the PC's time of
// year; 50 ms covers the calls' own register pauses.

#include "tests/e2e/ZorvDllFixture.h"

namespace zorv_e2e {
namespace {

constexpr double kTolerance = 0.050;
constexpr int32_t kReady = 5;
constexpr int32_t kError = 4;

class IrigTest : public ZorvDllTest {
 protected:
  // The decoded time, checked against the PC's time of year around the call.
  void ExpectTimeOfPc(int32_t card) {
    const double before = PcTimeOfYear();
    double seconds = 0;
    ASSERT_EQ(api().ZorvApiGetIrigNowtime(card, &seconds), 0);
    const double after = PcTimeOfYear();
    EXPECT_GE(seconds, before - kTolerance);
    EXPECT_LE(seconds, after + kTolerance);
  }
};

TEST_F(IrigTest, InternalClockRunsFromThePcTime) {
  Load("[Bus]\nCards=1\n[Card0]\nIrigSignal=NO\n");
  ASSERT_EQ(OpenApi(), 1);
  const IrigSetup internal = {0, 0, 0, 0};
  ASSERT_EQ(api().ZorvApiLoadIrigSetup(0, &internal), 0);
  ExpectTimeOfPc(0);
  int32_t status = 0;
  ASSERT_EQ(api().ZorvApiGetIrigStatus(0, &status), 0);
  EXPECT_EQ(status, kReady);
}

TEST_F(IrigTest, ExternalInputDecodesOnlyWithASignal) {
  Load("[Bus]\nCards=2\n[Card1]\nIrigSignal=NO\n");
  ASSERT_EQ(OpenApi(), 2);
  const IrigSetup external_b = {0, 1, 0, 0};
  for (int32_t card : {0, 1}) ASSERT_EQ(api().ZorvApiLoadIrigSetup(card, &external_b), 0);

  ExpectTimeOfPc(0);
  int32_t status = 0;
  ASSERT_EQ(api().ZorvApiGetIrigStatus(0, &status), 0);
  EXPECT_EQ(status, kReady);

  ASSERT_EQ(api().ZorvApiGetIrigStatus(1, &status), 0);
  EXPECT_EQ(status, kError);
  double seconds = -1;
  EXPECT_EQ(api().ZorvApiGetIrigNowtime(1, &seconds), kZorvApiIrigNowtimeFailed);
}

}  // namespace
}  // namespace zorv_e2e
