#pragma once
// A thread that owns a card's library calls for a card window. The window posts jobs in three
// lanes, served in this order: the operator's changes, the status strip's reads, the polling
// pass (posted call by call, so that a change never waits for a whole pass). Jobs of a lane
// run in the order they were posted. Results go back through a CardResults queue that the
// window drains on its own thread, so the window never waits for the card.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

enum class CardLane { kChange = 0, kStrip = 1, kPoll = 2 };

class CardWorker {
 public:
  using Job = std::function<void()>;

  CardWorker();
  // Stops the thread; a job still in progress after a short wait is left to end on its own.
  ~CardWorker();
  CardWorker(const CardWorker&) = delete;
  CardWorker& operator=(const CardWorker&) = delete;

  // Ignored once the worker is stopping.
  void Post(CardLane lane, Job job);
  // A job of the lane is queued or running.
  bool Busy(CardLane lane) const;
  bool Idle() const;
  // Waits until nothing is queued or running; false when the bound passed first.
  bool WaitIdle(std::chrono::milliseconds bound) const;
  // Keeps the thread from starting another job, waiting at most the bound for the job in
  // progress; false when it is still running (the thread rests as soon as it returns).
  bool Hold(std::chrono::milliseconds bound);
  void Release();
  // Drops the queued jobs and ends the thread after the job in progress, waiting for it at
  // most the bound; false when it is still running.
  bool Stop(std::chrono::milliseconds bound);

 private:
  struct State;
  static void Run(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

// What a card's threads hand back to its window: functions run by the window's thread when it
// drains the queue. Jobs hold the queue by a shared pointer, so a job that outlives its window
// hands its result to a closed queue, which drops it.
class CardResults {
 public:
  // Called after each result is posted (from the posting thread), until the queue is closed:
  // the window asks its own thread to drain the queue, so that a result is shown at once.
  void SetNotify(std::function<void()> notify);
  void Post(std::function<void()> result);
  // Runs what was posted, oldest first.
  void Drain();
  // Drops what was posted and everything posted from now on.
  void Close();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> results_;
  std::function<void()> notify_;
  bool closed_ = false;
};

// A card window's threads: the polling thread, the only thread of the program that calls the
// library's bitsync functions for the card, and one for the IRIG reader, which the library keeps
// apart from the bitsync, so that the IRIG time goes on during a polling pass.
class pollbitsynczorvstatusclass {
 public:
  CardWorker& Bitsync() { return bitsync_; }
  CardWorker& Irig() { return irig_; }
  const CardWorker& Bitsync() const { return bitsync_; }
  bool Idle() const { return bitsync_.Idle() && irig_.Idle(); }
  bool WaitIdle(std::chrono::milliseconds bound) const;
  bool Hold(std::chrono::milliseconds bound);
  void Release();
  // Both threads end; the bound is for the two together.
  bool End(std::chrono::milliseconds bound);

 private:
  CardWorker bitsync_;
  CardWorker irig_;
};
