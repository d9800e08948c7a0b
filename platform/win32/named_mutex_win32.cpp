#include <windows.h>

#include "platform/named_mutex.h"

namespace platform {

struct NamedMutex::State {
  HANDLE handle = nullptr;
  ~State() {
    if (handle) ::CloseHandle(handle);
  }
};

NamedMutex::NamedMutex(const std::string& name) : state_(std::make_shared<State>()) {
  state_->handle = ::CreateMutexA(nullptr, FALSE, name.c_str());
  already_existed_ = state_->handle && ::GetLastError() == ERROR_ALREADY_EXISTS;
}

NamedMutex::~NamedMutex() = default;

bool NamedMutex::Wait(uint32_t timeout_ms) {
  if (!state_->handle) return false;
  return ::WaitForSingleObject(state_->handle, timeout_ms) == WAIT_OBJECT_0;
}

void NamedMutex::Release() {
  if (state_->handle) ::ReleaseMutex(state_->handle);
}

bool NamedMutex::IsValid() const { return state_->handle != nullptr; }

}  // namespace platform
