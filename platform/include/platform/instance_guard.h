#pragma once
// Marks that a program holding a name is running, across every process of the machine, so
// that two programs never drive the cards at once. On Windows it is a named kernel mutex;
// elsewhere a lock on a file named after it in the temporary folder, which the system drops
// when the process ends, however it ends.

#include <cstdint>
#include <string>

namespace platform {

class InstanceGuard {
 public:
  explicit InstanceGuard(const std::string& name);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // True when another guard of the same name, in this or another process, was already there.
  bool AlreadyRunning() const { return already_running_; }

 private:
  intptr_t handle_ = -1;
  bool already_running_ = false;
};

}  // namespace platform
