#pragma once
// A named mutex with a timed wait, owned by a thread and re-entrant, as Windows mutexes are.
// On Windows it is a kernel mutex; elsewhere a process-local registry keyed by name (the
// system's names already carry the process id, so nothing needs to cross processes).

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class NamedMutex {
 public:
  explicit NamedMutex(const std::string& name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // True when the calling thread holds the mutex within the time-out (real milliseconds).
  bool Wait(uint32_t timeout_ms);
  // Releases one hold; harmless when the calling thread does not hold it.
  void Release();
  bool IsValid() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform
