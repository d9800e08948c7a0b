// The card's thread. These tests run on real threads, so they wait on short real-time bounds;
// a job that must stay "in progress" waits on a gate the test opens.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "app/CardWorker.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kBound = 2s;

// A job that runs until the test opens the gate.
class Gate {
 public:
  CardWorker::Job Job() {
    return [this] {
      entered_.set_value();
      opened_.wait();
    };
  }
  void WaitEntered() { ASSERT_EQ(entered_future_.wait_for(kBound), std::future_status::ready); }
  void Open() { open_.set_value(); }

 private:
  std::promise<void> entered_;
  std::future<void> entered_future_ = entered_.get_future();
  std::promise<void> open_;
  std::shared_future<void> opened_ = open_.get_future().share();
};

class CardWorkerTest : public ::testing::Test {
 protected:
  CardWorker::Job Record(const std::string& name) {
    return [this, name] {
      const std::lock_guard lock(mutex_);
      order_.push_back(name);
    };
  }
  std::vector<std::string> Order() {
    const std::lock_guard lock(mutex_);
    return order_;
  }

  std::mutex mutex_;
  std::vector<std::string> order_;
};

TEST_F(CardWorkerTest, ChangesGoFirstThenStripReadsThenThePass) {
  CardWorker worker;
  ASSERT_TRUE(worker.Hold(kBound));
  worker.Post(CardLane::kPoll, Record("pass 1"));
  worker.Post(CardLane::kPoll, Record("pass 2"));
  worker.Post(CardLane::kStrip, Record("lock"));
  worker.Post(CardLane::kChange, Record("bitsync setup"));
  worker.Post(CardLane::kChange, Record("quick react"));
  worker.Release();
  ASSERT_TRUE(worker.WaitIdle(kBound));
  EXPECT_EQ(Order(),
            (std::vector<std::string>{"bitsync setup", "quick react", "lock", "pass 1", "pass 2"}));
}

// The pass is posted call by call: an operator's change waits only for the call in progress.
TEST_F(CardWorkerTest, AChangeRunsBetweenTwoCallsOfAPass) {
  CardWorker worker;
  Gate call;
  worker.Post(CardLane::kPoll, call.Job());
  worker.Post(CardLane::kPoll, Record("second call"));
  call.WaitEntered();
  EXPECT_TRUE(worker.Busy(CardLane::kPoll));
  EXPECT_FALSE(worker.Busy(CardLane::kChange));
  worker.Post(CardLane::kChange, Record("change"));
  EXPECT_TRUE(worker.Busy(CardLane::kChange));
  call.Open();
  ASSERT_TRUE(worker.WaitIdle(kBound));
  EXPECT_EQ(Order(), (std::vector<std::string>{"change", "second call"}));
  EXPECT_FALSE(worker.Busy(CardLane::kPoll));
}

TEST_F(CardWorkerTest, HoldWaitsForTheCallInProgressAtMostItsBound) {
  CardWorker worker;
  Gate call;
  worker.Post(CardLane::kPoll, call.Job());
  call.WaitEntered();
  EXPECT_FALSE(worker.Hold(20ms));
  worker.Post(CardLane::kChange, Record("held"));
  call.Open();
  ASSERT_TRUE(worker.Hold(kBound));
  EXPECT_TRUE(Order().empty());
  worker.Release();
  ASSERT_TRUE(worker.WaitIdle(kBound));
  EXPECT_EQ(Order(), std::vector<std::string>{"held"});
}

TEST_F(CardWorkerTest, StopDropsTheQueueAndLeavesAStuckCallToEndOnItsOwn) {
  std::atomic<bool> finished{false};
  Gate call;
  {
    CardWorker worker;
    worker.Post(CardLane::kPoll, [&] {
      call.Job()();
      finished = true;
    });
    call.WaitEntered();
    worker.Post(CardLane::kChange, Record("dropped"));
    EXPECT_FALSE(worker.Stop(20ms));
    worker.Post(CardLane::kChange, Record("refused"));
  }  // the worker goes while its thread is still inside the call
  call.Open();
  for (int wait = 0; wait < 200 && !finished; ++wait) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(finished);
  EXPECT_TRUE(Order().empty());
}

TEST_F(CardWorkerTest, AJobThatThrowsDoesNotEndTheThread) {
  CardWorker worker;
  worker.Post(CardLane::kChange, [] { throw std::runtime_error("card gone"); });
  worker.Post(CardLane::kChange, Record("next"));
  ASSERT_TRUE(worker.WaitIdle(kBound));
  EXPECT_EQ(Order(), std::vector<std::string>{"next"});
  EXPECT_TRUE(worker.Stop(kBound));
}

TEST(CardResults, DrainRunsOldestFirstAndAClosedQueueDropsEverything) {
  CardResults results;
  int notices = 0;
  results.SetNotify([&] { ++notices; });
  std::vector<int> shown;
  results.Post([&] { shown.push_back(1); });
  results.Post([&] { shown.push_back(2); });
  EXPECT_EQ(notices, 2);
  results.Drain();
  EXPECT_EQ(shown, (std::vector<int>{1, 2}));
  results.Post([&] { shown.push_back(3); });
  results.Close();
  results.Post([&] { shown.push_back(4); });
  results.Drain();
  EXPECT_EQ(shown, (std::vector<int>{1, 2}));
  EXPECT_EQ(notices, 3);  // none after the close
}

}  // namespace
