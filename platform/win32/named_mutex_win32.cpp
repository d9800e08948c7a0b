#include "platform/named_mutex.h"
#include "windows_api.h"

namespace platform {

struct NamedMutex::State {
  HANDLE handle = nullptr;
  ~State() {
    if (handle) ::CloseHandle(handle);
  }
};

NamedMutex::NamedMutex(const std::string& name) : state_(std::make_shared<State>()) {
  state_->handle = ::CreateMutexA(nullptr, FALSE, name.c_str());
}

NamedMutex::~NamedMutex() = default;

bool NamedMutex::Wait(uint32_t timeout_ms) {
  if (!state_->handle) return false;
  switch (::WaitForSingleObject(state_->handle, timeout_ms)) {
    case WAIT_OBJECT_0:
      return true;
    case WAIT_ABANDONED:
      // The holder ended without releasing it. Windows hands it to this thread, but what it
      // guarded may be half done: give it back and report the wait as failed, so that the
      // thread does not keep a hold it does not know of.
      ::ReleaseMutex(state_->handle);
      return false;
    default:
      return false;
  }
}

void NamedMutex::Release() {
  if (state_->handle) ::ReleaseMutex(state_->handle);
}

bool NamedMutex::IsValid() const {
  return state_->handle != nullptr;
}

}  // namespace platform
