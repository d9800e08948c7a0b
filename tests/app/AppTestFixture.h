#pragma once
// Runs each test in a fresh temporary directory that is the current and start directory, on
// the virtual clock, with the operator program's log open there; everything is put back
// afterwards, since the log and the start directory are process-wide.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/keserrorlog.h"
#include "tests/common/ScratchFolder.h"

class AppTestFixture : public ::testing::Test {
 protected:
  void SetUp() override { OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp"); }

  void TearDown() override { CloseErrorLog(false); }

  std::string Path(const std::string& name) const { return folder_.Path(name); }
  static std::string ReadText(const std::string& path) { return Folder::ReadText(path); }
  static void WriteText(const std::string& path, const std::string& text) {
    Folder::WriteText(path, text);
  }

  // The messages of the log's lines with this code, in order.
  std::vector<std::string> LogMessages(int code) const {
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, "%06d", code);
    // code, two blanks, the 19-character time stamp, two blanks, then the message
    constexpr size_t kMessageStart = 6 + 2 + 19 + 2;
    std::istringstream log(ReadText(Path("ZorvApp.Log")));
    std::string line;
    std::vector<std::string> messages;
    while (std::getline(log, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() >= kMessageStart && line.compare(0, 6, code_text) == 0) {
        messages.push_back(line.substr(kMessageStart));
      }
    }
    return messages;
  }

  // True when the log holds a line with this code and exactly this message.
  bool LogHas(int code, const std::string& message) const {
    const std::vector<std::string> messages = LogMessages(code);
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};

 private:
  using Folder = zorv_test::ScratchFolder;
  Folder folder_{"zorv_app"};
};
