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
  EXPECT_EQ(platform::InterruptCount(), 1);
  // A second Ctrl+C still reaches the handler and is counted.
  std::raise(SIGINT);
  EXPECT_EQ(platform::InterruptCount(), 2);
  platform::ClearInterrupt();
  EXPECT_FALSE(platform::InterruptRequested());
  EXPECT_EQ(platform::InterruptCount(), 0);
}

}  // namespace
