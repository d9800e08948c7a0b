#pragma once
// Marks that a program holding a name is running, across every process and every user of the
// machine, so that two programs never drive the cards at once. On Windows it is a named kernel
// mutex; elsewhere a lock on a file named after it in a lock folder that every user may write,
// which the system drops when the process ends, however it ends.

#include <cstdint>
#include <string>

namespace platform {

// The lock folder every user of the machine shares (not used on Windows).
std::string MachineLockFolder();

class InstanceGuard {
 public:
  explicit InstanceGuard(const std::string& name) : InstanceGuard(name, MachineLockFolder()) {}
  // Tests keep their lock files in a folder of their own.
  InstanceGuard(const std::string& name, const std::string& lock_folder);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // True when another guard of the same name, in this or another process, was already there,
  // and when this guard could not find out (see Failure): the cards are left alone then too.
  bool AlreadyRunning() const { return already_running_; }
  // Why the guard could not find out whether another one holds the name; empty when it could.
  const std::string& Failure() const { return failure_; }

 private:
  intptr_t handle_ = -1;
  bool already_running_ = false;
  std::string failure_;
};

}  // namespace platform
