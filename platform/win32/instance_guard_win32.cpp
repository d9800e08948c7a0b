#include "platform/instance_guard.h"
#include "windows_api.h"

namespace platform {

InstanceGuard::InstanceGuard(const std::string& name) {
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
  already_running_ = mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (mutex) handle_ = reinterpret_cast<intptr_t>(mutex);
}

InstanceGuard::~InstanceGuard() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace platform
