#pragma once
// A fresh folder under the temporary directory, the current directory for the object's
// lifetime. The current directory and the process's start directory (which opening a log
// records) are process-wide, so both are put back afterwards; then the folder goes.

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process.h"
#include "support/keserrorlog.h"

namespace zorv_test {

class ScratchFolder {
 public:
  // The folder is named prefix_pid_serial: the process id keeps suites run at once from several
  // build folders apart.
  explicit ScratchFolder(const std::string& prefix)
      : previous_directory_(std::filesystem::current_path()), path_(NewPath(prefix)) {
    std::memcpy(previous_start_directory_, StartDirectory, sizeof StartDirectory);
    Remove(path_);  // a folder an earlier process of the same id left behind
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_directory_, ignored);
    std::memcpy(StartDirectory, previous_start_directory_, sizeof StartDirectory);
    Remove(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  // Creates an empty file in the folder (a presence file such as tiloma.txt).
  void Touch(const std::string& name) const { std::ofstream(path_ / name).flush(); }

  static std::string ReadText(const std::filesystem::path& file_path) {
    std::ifstream file(file_path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  static void WriteText(const std::filesystem::path& file_path, const std::string& text) {
    std::ofstream(file_path, std::ios::binary) << text;
  }

  // Removes a folder and what it holds, giving write permission back first: POSIX removes
  // nothing from a folder without it, Windows no read-only file.
  static void Remove(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(folder, ignored);
  }

 private:
  static std::filesystem::path NewPath(const std::string& prefix) {
    static std::atomic<int> serial{0};
    return std::filesystem::temp_directory_path() /
           (prefix + "_" + std::to_string(platform::ProcessId()) + "_" +
            std::to_string(serial.fetch_add(1)));
  }

  std::filesystem::path previous_directory_;
  std::filesystem::path path_;
  char previous_start_directory_[sizeof StartDirectory] = {};
};

}  // namespace zorv_test
