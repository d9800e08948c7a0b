#pragma once
// A folder of the fuzzing process's own for the files a target writes, removed at exit, and
// the checks that stop a run with a message (libFuzzer keeps the input that got there).

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace zorv_fuzz {

inline constexpr std::string_view kScratchPrefix = "zorv-fuzz-";

// libFuzzer often ends a process without running exit handlers: the folders of processes that
// are gone are removed by the next one.
inline void RemoveFoldersOfEndedProcesses(const std::filesystem::path& base) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kScratchPrefix)) continue;
    const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + kScratchPrefix.size()));
    if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
      std::filesystem::remove_all(entry.path(), error);
    }
  }
}

// /dev/shm where there is one: every run writes files, and memory is faster than a disk.
inline const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path folder = [] {
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
    RemoveFoldersOfEndedProcesses(base);
    std::filesystem::path made = base / (std::string(kScratchPrefix) + std::to_string(::getpid()));
    std::filesystem::create_directories(made);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return made;
  }();
  return folder;
}

inline std::string ScratchPath(const std::string& name) {
  return (ScratchFolder() / name).string();
}

inline void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Stops the run: libFuzzer reports the abort and saves the input.
[[noreturn]] inline void Fail(std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

inline void Check(bool holds, std::string_view what) {
  if (!holds) Fail(what);
}

}  // namespace zorv_fuzz
