#include "app/CardWorker.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// An idle thread ends at once; one inside a library call is left to end on its own.
constexpr std::chrono::milliseconds kEndWait(200);

}  // namespace

struct CardWorker::State {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::array<std::deque<Job>, 3> lanes;
  std::optional<CardLane> running;
  bool held = false;
  bool stopping = false;
  bool ended = false;

  bool Queued() const {
    for (const auto& lane : lanes) {
      if (!lane.empty()) return true;
    }
    return false;
  }
  bool Idle() const { return !running && !Queued(); }
};

CardWorker::CardWorker() : state_(std::make_shared<State>()) {
  thread_ = std::thread(&CardWorker::Run, state_);
}

CardWorker::~CardWorker() {
  if (Stop(kEndWait)) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void CardWorker::Run(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    state->changed.wait(lock, [&] { return state->stopping || (!state->held && state->Queued()); });
    if (state->stopping) break;
    for (size_t lane = 0; lane < state->lanes.size(); ++lane) {
      if (state->lanes[lane].empty()) continue;
      Job job = std::move(state->lanes[lane].front());
      state->lanes[lane].pop_front();
      state->running = static_cast<CardLane>(lane);
      lock.unlock();
      try {
        job();
      } catch (...) {
        // A job reports its own failures; one that throws must not end the card's thread.
      }
      job = nullptr;
      lock.lock();
      state->running.reset();
      state->changed.notify_all();
      break;
    }
  }
  state->ended = true;
  state->changed.notify_all();
}

void CardWorker::Post(CardLane lane, Job job) {
  {
    const std::lock_guard lock(state_->mutex);
    if (state_->stopping) return;
    state_->lanes[static_cast<size_t>(lane)].push_back(std::move(job));
  }
  state_->changed.notify_all();
}

bool CardWorker::Busy(CardLane lane) const {
  const std::lock_guard lock(state_->mutex);
  return state_->running == lane || !state_->lanes[static_cast<size_t>(lane)].empty();
}

bool CardWorker::Idle() const {
  const std::lock_guard lock(state_->mutex);
  return state_->Idle();
}

bool CardWorker::WaitIdle(std::chrono::milliseconds bound) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, bound, [&] { return state_->Idle(); });
}

bool CardWorker::Hold(std::chrono::milliseconds bound) {
  std::unique_lock lock(state_->mutex);
  state_->held = true;
  return state_->changed.wait_for(lock, bound, [&] { return !state_->running; });
}

void CardWorker::Release() {
  {
    const std::lock_guard lock(state_->mutex);
    state_->held = false;
  }
  state_->changed.notify_all();
}

bool CardWorker::Stop(std::chrono::milliseconds bound) {
  std::unique_lock lock(state_->mutex);
  state_->stopping = true;
  for (auto& lane : state_->lanes) lane.clear();
  state_->changed.notify_all();
  return state_->changed.wait_for(lock, bound, [&] { return state_->ended; });
}

void CardResults::SetNotify(std::function<void()> notify) {
  const std::lock_guard lock(mutex_);
  notify_ = std::move(notify);
}

void CardResults::Post(std::function<void()> result) {
  // Under the lock, so that a window closing the queue never sees a notice after it.
  const std::lock_guard lock(mutex_);
  if (closed_) return;
  results_.push_back(std::move(result));
  if (notify_) notify_();
}

void CardResults::Drain() {
  std::deque<std::function<void()>> ready;
  {
    const std::lock_guard lock(mutex_);
    ready.swap(results_);
  }
  for (auto& result : ready) result();
}

void CardResults::Close() {
  const std::lock_guard lock(mutex_);
  closed_ = true;
  results_.clear();
  notify_ = nullptr;
}

namespace {

// What is left of the bound that started at `start`.
std::chrono::milliseconds Left(std::chrono::steady_clock::time_point start,
                               std::chrono::milliseconds bound) {
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  return std::max(bound - spent, std::chrono::milliseconds(0));
}

}  // namespace

bool pollbitsynczorvstatusclass::WaitIdle(std::chrono::milliseconds bound) const {
  const auto start = std::chrono::steady_clock::now();
  return bitsync_.WaitIdle(bound) && irig_.WaitIdle(Left(start, bound));
}

bool pollbitsynczorvstatusclass::Hold(std::chrono::milliseconds bound) {
  const auto start = std::chrono::steady_clock::now();
  const bool bitsync_held = bitsync_.Hold(bound);
  return irig_.Hold(Left(start, bound)) && bitsync_held;
}

void pollbitsynczorvstatusclass::Release() {
  bitsync_.Release();
  irig_.Release();
}

bool pollbitsynczorvstatusclass::End(std::chrono::milliseconds bound) {
  const auto start = std::chrono::steady_clock::now();
  const bool bitsync_ended = bitsync_.Stop(bound);
  return irig_.Stop(Left(start, bound)) && bitsync_ended;
}
