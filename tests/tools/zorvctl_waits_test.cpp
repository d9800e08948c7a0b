// Ctrl+C while a card keeps zorvctl waiting: the watcher's thread against a command whose
// thread is stuck (here: the test's own, which simply does not end the command). Real time for
// the watcher, which waits on its own; the bounds are a few seconds at most.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/interrupts.h"
#include "support/keserrorlog.h"
#include "tests/common/ScratchFolder.h"
#include "tools/zorvctl/ZorvctlWaits.h"

namespace {

using zorvctl::CardWait;
using zorvctl::InterruptWatcher;
using zorvctl::WaitingFor;

// Text that two threads may write and read.
class SharedText : public std::streambuf {
 public:
  std::string Text() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      const std::lock_guard<std::mutex> lock(mutex_);
      text_ += traits_type::to_char_type(c);
    }
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.append(s, static_cast<size_t>(n));
    return n;
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

// Polls until the condition holds, for at most five seconds.
bool Eventually(const std::function<bool()>& condition) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

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

}  // namespace
