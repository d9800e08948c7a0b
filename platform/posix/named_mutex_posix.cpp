#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/named_mutex.h"

namespace platform {

struct NamedMutex::State {
  std::mutex guard;
  std::condition_variable released;
  std::thread::id owner;
  int depth = 0;
};

namespace {

std::mutex registry_guard;

std::map<std::string, std::weak_ptr<NamedMutex::State>>& registry() {
  static std::map<std::string, std::weak_ptr<NamedMutex::State>> instance;
  return instance;
}

}  // namespace

NamedMutex::NamedMutex(const std::string& name) {
  std::lock_guard lock(registry_guard);
  auto& entry = registry()[name];
  state_ = entry.lock();
  if (!state_) {
    state_ = std::make_shared<State>();
    entry = state_;
  }
}

NamedMutex::~NamedMutex() {
  std::lock_guard lock(registry_guard);
  state_.reset();
  for (auto it = registry().begin(); it != registry().end();) {
    it = it->second.expired() ? registry().erase(it) : std::next(it);
  }
}

bool NamedMutex::Wait(uint32_t timeout_ms) {
  std::unique_lock lock(state_->guard);
  const auto self = std::this_thread::get_id();
  const bool obtained = state_->released.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return state_->depth == 0 || state_->owner == self;
  });
  if (!obtained) return false;
  state_->owner = self;
  ++state_->depth;
  return true;
}

void NamedMutex::Release() {
  std::lock_guard lock(state_->guard);
  if (state_->depth == 0 || state_->owner != std::this_thread::get_id()) return;
  if (--state_->depth == 0) {
    state_->owner = {};
    state_->released.notify_one();
  }
}

bool NamedMutex::IsValid() const {
  return state_ != nullptr;
}

}  // namespace platform
