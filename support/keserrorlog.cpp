#include "support/keserrorlog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/named_mutex.h"
#include "platform/process.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"

char StartDirectory[260] = {};

namespace {

constexpr uint32_t kLockWaitMs = 100;
constexpr double kSmallestTime = 0.000001;
constexpr char kReinitNote[] = "  >>>> HAD TO REINIT ErrorLog TIMER";
constexpr char kCpuTimeNote[] = "  >>>> HAD TO USE THE CPU TIME";
constexpr char kLineEnd[] = "\r\n";

std::unique_ptr<keserrorlog> process_log;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The file name without directory and extension: "Files\ErLogs\ZORVDLL.Log" gives ZORVDLL.
std::string BareFileName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// The two texts with exactly one separator between them.
std::string JoinPath(const std::string& directory, const std::string& name) {
  const size_t keep = directory.find_last_not_of("\\/");
  std::string head =
      keep == std::string::npos ? directory.substr(0, 1) : directory.substr(0, keep + 1);
  const size_t start = name.find_first_not_of("\\/");
  const std::string tail = start == std::string::npos ? std::string() : name.substr(start);
  if (head.empty() || IsSeparator(head.back())) return head + tail;
  return head + platform::PathSeparator() + tail;
}

// Appends as much of the text as fits before `end`, keeping room for the terminator.
char* Append(char* at, char* end, const char* text, size_t length) {
  const size_t room = static_cast<size_t>(end - at) - 1;
  const size_t count = std::min(length, room);
  std::memcpy(at, text, count);
  return at + count;
}

}  // namespace

keserrorlog::keserrorlog(const char* path, LineObserver observer)
    : timer_(std::make_unique<Ctimerclass>()) {
  const std::string given = path ? path : "ErrorLog.Log";
  // A path that does not fit is not cut to another file's name: the log then writes nothing.
  if (given.size() < kPathSize) std::memcpy(path_, given.c_str(), given.size() + 1);
  lock_ = std::make_unique<platform::NamedMutex>("ERRORLOGGING_" + BareFileName(given) +
                                                 std::to_string(platform::ProcessId()));
  lock_->Release();
  // Each run starts an empty log.
  file_.Create(path_);
  file_.Close();
  observer_ = observer;
  has_observer_ = observer != nullptr;
}

keserrorlog::~keserrorlog() = default;

bool keserrorlog::TestLock() {
  return lock_ && lock_->Wait(kLockWaitMs);
}

void keserrorlog::ReleaseLock() {
  lock_->Release();
}

void keserrorlog::AddLine(const std::string& message, int32_t code) {
  if (!TestLock()) return;
  if (!file_.IsOpen() && !file_.Create(path_)) {
    ReleaseLock();
    return;
  }
  try {
    std::string notes;
    double time = timer_->GetTime();
    if (time > kMaxTimeOfYear) {
      timer_->Restart();
      time = timer_->GetTime();
      notes += kReinitNote;
    }
    if (!(time >= kSmallestTime)) {
      // The new timer is made before the old one goes, so it never inherits the old one's
      // address and with it the name of a lock that someone may still hold.
      timer_ = std::make_unique<Ctimerclass>();
      time = timer_->GetTime();
      notes += kCpuTimeNote;
    }
    int32_t day, hour, minute;
    double seconds;
    SplitTimeOfYear(time, day, hour, minute, seconds);

    char* const end = line_ + kLineSize;
    char* at =
        line_ + std::snprintf(line_, kLineSize, "%06d  %03d:%02d:%02d:", code, day, hour, minute);
    at = PrintPaddedFixed(at, end, seconds, 9, 6);
    at = Append(at, end, "  ", 2);
    // A message too long for the buffer is cut so that the notes and the line end still fit.
    const size_t tail = notes.size() + std::strlen(kLineEnd);
    at = Append(at, end - tail, message.data(), message.size());
    at = Append(at, end, notes.data(), notes.size());
    at = Append(at, end, kLineEnd, std::strlen(kLineEnd));
    *at = '\0';
    file_.Write(line_, static_cast<size_t>(at - line_));
  } catch (...) {
    // A line that cannot be built or written is lost; the caller never hears of it.
  }
  ReleaseLock();
  if (has_observer_) observer_(line_);
}

keserrorlog& keserrorlog::CloseFile() {
  file_.Close();
  return *this;
}

keserrorlog* ProcessErrorLog() {
  return process_log.get();
}

bool BuildLogFileName(const char* base_name, const char* subdirectory, const char* fallback_name,
                      std::string& result) {
  result.clear();
  if (!base_name && !subdirectory && !fallback_name) return false;
  const std::string fallback = fallback_name ? fallback_name : "LogFile";
  const std::string extension = ".Log";
  if (subdirectory && *subdirectory) {
    const std::string directory = JoinPath(StartDirectory, subdirectory);
    if (platform::IsDirectory(directory)) {
      // Without a base name the fallback names the file, never a bare ".Log".
      result = JoinPath(directory, (base_name ? base_name : fallback) + extension);
      return true;
    }
  }
  result = fallback + extension;
  return true;
}

void SaveStartDirectory() {
  const std::string current = platform::CurrentDirectory();
  // A directory too long to record is not recorded cut: the log then follows the current one.
  const size_t length = current.size() < sizeof StartDirectory ? current.size() : 0;
  std::memcpy(StartDirectory, current.c_str(), length);
  StartDirectory[length] = '\0';
}

void ReturnToStartDirectory(const char* directory) {
  if (!directory) return;
  if (std::strlen(directory) > 2 && directory[1] == ':') {
    platform::SetCurrentDrive(std::toupper(static_cast<unsigned char>(directory[0])) - 'A' + 1);
  }
  platform::SetCurrentDirectory(directory);
}

void OpenErrorLog(bool is_library, const std::string& version, const char* base_name,
                  const char* subdirectory, const char* fallback_name) {
  SaveStartDirectory();
  std::string path;
  process_log.reset();
  if (BuildLogFileName(base_name, subdirectory, fallback_name, path)) {
    process_log = std::make_unique<keserrorlog>(path.c_str(), nullptr);
  }
  if (is_library) {
    LogLine("--------------------DLL START----------------------", 0);
    LogLine(("DLL Version " + version).c_str(), 0);
  } else {
    LogLine("------------------PROGRAM START--------------------", 0);
    LogLine(("Program Version " + version).c_str(), 0);
  }
  CreateProcessSpeaker();
}

void LogLine(const char* message, int32_t code) {
  ReturnToStartDirectory(StartDirectory);
  if (process_log) process_log->AddLine(message ? message : "", code);
}

void CloseErrorLog(bool is_library) {
  const char* end_line = is_library ? "--------------------DLL END----------------------"
                                    : "------------------PROGRAM END--------------------";
  DestroyProcessSpeaker();
  LogLine(end_line, 0);
  if (process_log) {
    process_log->CloseFile();
    process_log.reset();
  }
}
