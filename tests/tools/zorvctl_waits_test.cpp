// Ctrl+C while a card keeps zorvctl waiting: the watcher's thread against a command whose
// thread is stuck (here: the test's own, which simply does not end the command). Real time for
// the watcher, which waits on its own; the bounds are a few seconds at most.

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/interrupts.h"
#include "support/keserrorlog.h"
#include "tests/common/ScratchFolder.h"
#include "tests/tools/WatcherTestSupport.h"
#include "tools/zorvctl/ZorvctlWaits.h"

namespace {

using zorvctl::CardWait;
using zorvctl::InterruptWatcher;
using zorvctl::WaitingFor;

class InterruptWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearInterrupt();
    ended_with = -1;
    log_open_at_end = true;
    OpenErrorLog(false, "3.32", "zorvctl", "", "zorvctl");
  }
  void TearDown() override {
    CloseErrorLog(false);
    platform::ClearInterrupt();
  }

  static void NoteEnd(int exit_code) {
    log_open_at_end = ProcessErrorLog() != nullptr;
    ended_with = exit_code;
  }
  static inline std::atomic<int> ended_with{-1};
  static inline std::atomic<bool> log_open_at_end{true};

  zorv_test::ScratchFolder folder_{"zorvctl_waits"};
  platform::VirtualClock clock_;
  platform::ScopedClock installed_{clock_};
  SharedText out_text_;
  SharedText err_text_;
  std::ostream out_{&out_text_};
  std::ostream err_{&err_text_};
  CardWait wait_;
};

TEST_F(InterruptWatcherTest, ACardThatKeepsTheCommandWaitingIsNamedAndASecondCtrlCEndsAtOnce) {
  const WaitingFor waiting(wait_, 2);
  clock_.Advance(10'000'000'000);
  const InterruptWatcher watcher(wait_, out_, err_, NoteEnd, 0);

  platform::RequestInterrupt();
  ASSERT_TRUE(Eventually([&] { return !err_text_.Text().empty(); }));
  EXPECT_EQ(err_text_.Text(),
            "zorvctl: waiting for card 2, which does not answer; the library gives up on it "
            "within 128 s. Ctrl+C again ends zorvctl now\n");
  EXPECT_EQ(ended_with, -1);

  platform::RequestInterrupt();
  ASSERT_TRUE(Eventually([&] { return ended_with != -1; }));
  EXPECT_EQ(ended_with, 1);
  EXPECT_FALSE(log_open_at_end);
  const std::string log = zorv_test::ScratchFolder::ReadText(folder_.Path("zorvctl.Log"));
  EXPECT_NE(log.find("PROGRAM END"), std::string::npos) << log;
}

TEST_F(InterruptWatcherTest, WithoutACardItWaitsForTheLibrary) {
  const InterruptWatcher watcher(wait_, out_, err_, NoteEnd, 0);

  platform::RequestInterrupt();

  ASSERT_TRUE(Eventually([&] { return !err_text_.Text().empty(); }));
  EXPECT_EQ(err_text_.Text(),
            "zorvctl: waiting for the card library; Ctrl+C again ends zorvctl now\n");
}

TEST_F(InterruptWatcherTest, ACommandThatEndsSoonAfterCtrlCHearsNothingFromIt) {
  {
    const WaitingFor waiting(wait_, 1);
    const InterruptWatcher watcher(wait_, out_, err_, NoteEnd, 1000);
    platform::RequestInterrupt();
  }
  EXPECT_EQ(err_text_.Text(), "");
  EXPECT_EQ(ended_with, -1);
}

// Two cards' threads in the library at once: the watcher names the one still waiting.
TEST(CardWaitTest, ACardThatEndsLeavesTheOtherCardNamed) {
  CardWait wait;
  std::optional<WaitingFor> first(std::in_place, wait, 1);
  {
    const WaitingFor second(wait, 2);
    first.reset();
    EXPECT_EQ(wait.Card(), 2);
  }
  EXPECT_EQ(wait.Card(), 0);
}

}  // namespace
