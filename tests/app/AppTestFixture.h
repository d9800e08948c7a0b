#pragma once
// Runs each test in a fresh temporary directory that is the current and start directory, on
// the virtual clock, with the operator program's log open there; everything is put back
// afterwards, since the log and the start directory are process-wide.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/keserrorlog.h"

class AppTestFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static int sequence = 0;
    directory_ =
        std::filesystem::temp_directory_path() /
        ("zorv_app_" + std::to_string(platform::ProcessId()) + "_" + std::to_string(++sequence));
    std::filesystem::create_directories(directory_);
    previous_directory_ = platform::CurrentDirectory();
    std::memcpy(previous_start_directory_, StartDirectory, sizeof StartDirectory);
    ASSERT_TRUE(platform::SetCurrentDirectory(directory_.string()));
    OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  }

  void TearDown() override {
    CloseErrorLog(false);
    platform::SetCurrentDirectory(previous_directory_);
    std::memcpy(StartDirectory, previous_start_directory_, sizeof StartDirectory);
    std::error_code ignored;
    // Write permission back first: POSIX removes nothing from a folder without it, Windows no
    // read-only file.
    std::filesystem::permissions(directory_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (const auto& entry : std::filesystem::directory_iterator(directory_, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(directory_, ignored);
  }

  std::string Path(const std::string& name) const { return (directory_ / name).string(); }

  static std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  static void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  // True when the log holds a line with this code and exactly this message.
  bool LogHas(int code, const std::string& message) const {
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, "%06d", code);
    // code, two blanks, the 19-character time stamp, two blanks, then the message
    constexpr size_t kMessageStart = 6 + 2 + 19 + 2;
    std::istringstream log(ReadText(Path("ZorvApp.Log")));
    std::string line;
    while (std::getline(log, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() >= kMessageStart && line.compare(0, 6, code_text) == 0 &&
          line.substr(kMessageStart) == message) {
        return true;
      }
    }
    return false;
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  std::filesystem::path directory_;

 private:
  std::string previous_directory_;
  char previous_start_directory_[sizeof StartDirectory] = {};
};
