#pragma once
// The per-process diagnostic log: one line per event with a caller's code, a time-of-year
// stamp and the message.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"
#include "support/Ctimerclass.h"

namespace platform {
class NamedMutex;
}

using LineObserver = void (*)(const char* line);

class keserrorlog {
 public:
  static constexpr size_t kLineSize = 16384;
  static constexpr size_t kPathSize = 256;

  keserrorlog(const char* path, LineObserver observer);
  ~keserrorlog();
  keserrorlog(const keserrorlog&) = delete;
  keserrorlog& operator=(const keserrorlog&) = delete;

  void AddLine(const std::string& message, int32_t code);
  keserrorlog& CloseFile();

  // Exposed for tests: the lock, the timer and the last line written.
  platform::NamedMutex& Lock() { return *lock_; }
  Ctimerclass& Timer() { return *timer_; }
  const char* LastLine() const { return line_; }

 private:
  bool TestLock();
  void ReleaseLock();

  std::unique_ptr<platform::NamedMutex> lock_;
  std::unique_ptr<Ctimerclass> timer_;
  LineObserver observer_ = nullptr;
  bool has_observer_ = false;
  platform::WriteFile file_;
  char path_[kPathSize] = {};
  char line_[kLineSize] = {};
};

// Process-wide log operations (one set per deliverable).
extern char StartDirectory[260];

void OpenErrorLog(bool is_library, const std::string& version, const char* base_name,
                  const char* subdirectory, const char* fallback_name);
void LogLine(const char* message, int32_t code);
void CloseErrorLog(bool is_library);
bool BuildLogFileName(const char* base_name, const char* subdirectory, const char* fallback_name,
                      std::string& result);
void SaveStartDirectory();
void ReturnToStartDirectory(const char* directory);
// The process's log, or nullptr when none is open (tests read it).
keserrorlog* ProcessErrorLog();
