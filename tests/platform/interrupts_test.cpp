#include "platform/interrupts.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(Interrupts, CaughtCtrlCRaisesTheFlagAndTheProcessGoesOn) {
  platform::ClearInterrupt();
  platform::CatchInterrupts();
  ASSERT_FALSE(platform::InterruptRequested());

  std::raise(SIGINT);

  EXPECT_TRUE(platform::InterruptRequested());
  platform::ClearInterrupt();
  EXPECT_FALSE(platform::InterruptRequested());
}

}  // namespace
