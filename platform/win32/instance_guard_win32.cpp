#include "platform/instance_guard.h"
#include "windows_api.h"

namespace platform {

std::string MachineLockFolder() {
  return "";
}

// The kernel object is the lock: no folder.
InstanceGuard::InstanceGuard(const std::string& name, const std::string&) {
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
  const DWORD error = ::GetLastError();
  if (mutex) {
    handle_ = reinterpret_cast<intptr_t>(mutex);
    already_running_ = error == ERROR_ALREADY_EXISTS;
    return;
  }
  // A mutex of the name that this user may not open is another user's running program.
  already_running_ = true;
  if (error != ERROR_ACCESS_DENIED) failure_ = name + ": Windows error " + std::to_string(error);
}

InstanceGuard::~InstanceGuard() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace platform
