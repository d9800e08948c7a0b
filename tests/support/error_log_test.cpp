#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "support/KesBorGenUnit.h"
#include "support/keserrorlog.h"

namespace {

namespace fs = std::filesystem;

// 1 March 2024 12:00:00.000: day 61 of a leap year.
constexpr platform::LocalTime kMarchFirst{2024, 3, 1, 12, 0, 0, 0, 5, 60};
constexpr char kStamp[] = "061:12:00:00.000000";

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Line(const std::string& code, const std::string& message,
                 const std::string& stamp = kStamp) {
  return code + "  " + stamp + "  " + message + "\r\n";
}

// Logging changes the process's current directory, so every test runs in a folder of its own
// and leaves the current directory and the process log as it found them.
class LogFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_directory_ = fs::current_path();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = fs::temp_directory_path() /
              ("zorv_log_" + name + "_" + std::to_string(platform::ProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::current_path(folder_);
  }

  void TearDown() override {
    if (ProcessErrorLog()) CloseErrorLog(false);
    std::memset(StartDirectory, 0, sizeof StartDirectory);
    fs::current_path(saved_directory_);
    fs::remove_all(folder_);
  }

  fs::path saved_directory_;
  fs::path folder_;
};

std::string observed_line;
void ObserveLine(const char* line) {
  observed_line = line;
}

TEST_F(LogFolder, LineLayoutForCodesMessagesAndStamps) {
  const struct {
    int32_t code;
    const char* message;
    int64_t elapsed_ns;
    std::string expected;
  } cases[] = {
      {0, "", 0, Line("000000", "")},
      {5000, "Abnormal Program Termination", 0, Line("005000", "Abnormal Program Termination")},
      {-5, "x", 0, Line("-00005", "x")},
      {1, "later", 1'234'567'000, Line("000001", "later", "061:12:00:01.234567")},
      {2, "next day", 86'400'000'000'000, Line("000002", "next day", "062:12:00:01.234567")},
  };
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  std::string expected_file;
  {
    keserrorlog log("layout.Log", ObserveLine);
    for (const auto& c : cases) {
      clock.Advance(c.elapsed_ns);
      log.AddLine(c.message, c.code);
      EXPECT_EQ(log.LastLine(), c.expected);
      EXPECT_EQ(observed_line, c.expected);
      expected_file += c.expected;
    }
    log.CloseFile();
  }
  EXPECT_EQ(ReadFile("layout.Log"), expected_file);
}

TEST_F(LogFolder, ProgramLogHasItsBannersInTheStartDirectory) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  LogLine("hello", 7);
  CloseErrorLog(false);
  EXPECT_EQ(ProcessErrorLog(), nullptr);
  EXPECT_EQ(ReadFile(folder_ / "ZorvApp.Log"),
            Line("000000", "------------------PROGRAM START--------------------") +
                Line("000000", "Program Version 3.32") + Line("000007", "hello") +
                Line("000000", "------------------PROGRAM END--------------------"));
}

TEST_F(LogFolder, LibraryLogGoesToItsSubdirectoryOnlyWhenItExists) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  const std::string banners =
      Line("000000", "--------------------DLL START----------------------") +
      Line("000000", "DLL Version 4.24") +
      Line("000000", "--------------------DLL END----------------------");
  OpenErrorLog(true, "4.24", "ZORVDLL", "Files\\ErLogs\\", "ZORVDLL");
  CloseErrorLog(true);
  EXPECT_EQ(ReadFile(folder_ / "ZORVDLL.Log"), banners);

  fs::remove(folder_ / "ZORVDLL.Log");
  fs::create_directories(folder_ / "Files" / "ErLogs");
  OpenErrorLog(true, "4.24", "ZORVDLL", "Files\\ErLogs\\", "ZORVDLL");
  CloseErrorLog(true);
  EXPECT_EQ(ReadFile(folder_ / "Files" / "ErLogs" / "ZORVDLL.Log"), banners);
  EXPECT_FALSE(fs::exists(folder_ / "ZORVDLL.Log"));
}

TEST_F(LogFolder, BuildLogFileNameJoinsWithExactlyOneSeparator) {
  fs::create_directories(folder_ / "Files" / "ErLogs");
  const std::string start = folder_.string();
  const std::string sep(1, platform::PathSeparator());
  const std::string in_subdirectory = start + sep + "Files\\ErLogs" + sep + "ZORVDLL.Log";
  const struct {
    std::string start;
    const char* base;
    const char* subdirectory;
    const char* fallback;
    bool ok;
    std::string expected;
  } cases[] = {
      {start, "ZORVDLL", "Files\\ErLogs\\", "ZORVDLL", true, in_subdirectory},
      {start + sep, "ZORVDLL", "Files\\ErLogs\\", "ZORVDLL", true, in_subdirectory},
      {start, "ZORVDLL", "\\Files\\ErLogs", "ZORVDLL", true, in_subdirectory},
      {start, nullptr, "Files\\ErLogs\\", "ZORVDLL", true, in_subdirectory},
      {start, "ZORVDLL", "Missing\\", "ZORVDLL", true, "ZORVDLL.Log"},
      {start, "ZORVDLL", "Missing\\", nullptr, true, "LogFile.Log"},
      {start, "ZorvApp", "", "ZorvApp", true, "ZorvApp.Log"},
      {start, nullptr, nullptr, nullptr, false, ""},
  };
  for (const auto& c : cases) {
    std::strcpy(StartDirectory, c.start.c_str());
    std::string result = "stale";
    EXPECT_EQ(BuildLogFileName(c.base, c.subdirectory, c.fallback, result), c.ok);
    EXPECT_EQ(result, c.expected) << c.start << " + " << (c.subdirectory ? c.subdirectory : "");
  }
}

TEST_F(LogFolder, EachRunStartsAnEmptyFile) {
  std::ofstream("run.Log") << "lines of the previous run\r\n";
  {
    keserrorlog log("run.Log", nullptr);
    EXPECT_EQ(fs::file_size("run.Log"), 0u);  // before any line is written
    log.AddLine("second run", 0);
    log.CloseFile();
  }
  EXPECT_EQ(ReadFile("run.Log").find("previous"), std::string::npos);
  EXPECT_NE(ReadFile("run.Log").find("second run"), std::string::npos);
}

TEST_F(LogFolder, TooLongMessageIsCutAndStillEndsTheLine) {
  keserrorlog log("long.Log", nullptr);
  log.AddLine(std::string(20000, 'x'), 0);
  log.CloseFile();
  const std::string line = log.LastLine();
  EXPECT_EQ(line.size(), keserrorlog::kLineSize - 1);
  EXPECT_EQ(line.substr(line.size() - 3), "x\r\n");
  EXPECT_EQ(ReadFile("long.Log"), line);
}

TEST_F(LogFolder, TooLongPathWritesNothingRatherThanAnotherFile) {
  std::string path;
  while (path.size() < 250) path += "./";
  path += "victim.Log";  // cut to 255 characters this would name the file "victi"
  keserrorlog log(path.c_str(), nullptr);
  log.AddLine("line", 0);
  log.CloseFile();
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(LogFolder, TimeOfYearPastTheYearRestartsTheTimer) {
  // 31 December of a leap year, day 366; a day later the timer reads past 367 days.
  platform::VirtualClock clock(platform::LocalTime{2024, 12, 31, 12, 0, 0, 0, 2, 365});
  platform::ScopedClock installed(clock);
  keserrorlog log("reinit.Log", nullptr);
  clock.Sleep(86'400'000);
  log.AddLine("new year", 0);
  log.CloseFile();
  EXPECT_EQ(std::string(log.LastLine()),
            "000000  001:12:00:00.000000  new year"
            "  >>>> HAD TO REINIT ErrorLog TIMER\r\n");
}

// Real time: the timer's lock is a real mutex with a 30 ms wait.
TEST_F(LogFolder, UnreadableTimerIsReplacedAndTheLineMarked) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  keserrorlog log("cpu.Log", nullptr);
  clock.Sleep(5000);
  platform::NamedMutex timer_lock(Ctimerclass::LockName(&log.Timer()));
  std::thread([&] { ASSERT_TRUE(timer_lock.Wait(0)); }).join();  // held by a thread now gone
  log.AddLine("stuck", 0);
  log.CloseFile();
  // The fresh timer reads the local clock anew: 5 s later than the first timer started.
  EXPECT_EQ(std::string(log.LastLine()),
            "000000  061:12:00:05.000000  stuck  >>>> HAD TO USE THE CPU TIME\r\n");
}

// Real time: the log's lock is a real mutex with a 100 ms wait.
TEST_F(LogFolder, LineIsLostWhileTheLogLockIsHeldPastItsWait) {
  keserrorlog log("locked.Log", nullptr);
  std::atomic<bool> held{false}, done{false};
  std::thread holder([&] {
    held = log.Lock().Wait(0);
    while (!done) std::this_thread::yield();
    log.Lock().Release();
  });
  while (!held) std::this_thread::yield();
  log.AddLine("lost", 0);
  done = true;
  holder.join();
  log.AddLine("kept", 0);
  log.CloseFile();
  const std::string text = ReadFile("locked.Log");
  EXPECT_EQ(text.find("lost"), std::string::npos);
  EXPECT_NE(text.find("kept"), std::string::npos);
}

TEST_F(LogFolder, TwoThreadsLoggingLoseAndTearNoLine) {
  constexpr int kLines = 10000;
  OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  auto writer = [](int thread) {
    for (int n = 0; n < kLines; ++n) {
      LogLine(("thread " + std::to_string(thread) + " line " + std::to_string(n)).c_str(), thread);
    }
  };
  std::thread first(writer, 0), second(writer, 1);
  first.join();
  second.join();
  CloseErrorLog(false);

  std::istringstream text(ReadFile(folder_ / "ZorvApp.Log"));
  const std::regex layout(
      R"(^00000([01])  \d{3}:\d{2}:\d{2}:\d{2}\.\d{6}  thread \1 line (\d+)\r$)");
  std::set<std::pair<int, int>> seen;
  std::string line;
  int others = 0;
  while (std::getline(text, line)) {
    std::smatch match;
    if (std::regex_match(line, match, layout)) {
      EXPECT_TRUE(seen.emplace(std::stoi(match[1]), std::stoi(match[2])).second) << line;
    } else {
      ++others;  // the three banner lines
    }
  }
  EXPECT_EQ(seen.size(), 2u * kLines);
  EXPECT_EQ(others, 3);
}

TEST_F(LogFolder, LoggingReturnsToTheStartDirectory) {
  OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  fs::create_directories(folder_ / "elsewhere");
  fs::current_path(folder_ / "elsewhere");
  LogLine("back home", 0);
  EXPECT_EQ(fs::current_path(), folder_);
  CloseErrorLog(false);
  fs::current_path(folder_ / "elsewhere");
  LogLine("no log", 0);  // after close only the directory changes
  EXPECT_EQ(fs::current_path(), folder_);
  EXPECT_EQ(ReadFile(folder_ / "ZorvApp.Log").find("no log"), std::string::npos);
}

TEST_F(LogFolder, MessageBoxesOnlyWithAnOpenLogForInfo) {
  ::testing::internal::CaptureStderr();
  LogInfo("nobody listens", 0, true);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_empty(folder_));

  OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  ::testing::internal::CaptureStderr();
  LogInfo("card found", 3, true);
  LogError("card failed", 1, true);
  const std::string boxes = ::testing::internal::GetCapturedStderr();
  CloseErrorLog(false);
  EXPECT_NE(boxes.find("INFO: card found"), std::string::npos);
  EXPECT_NE(boxes.find("ERROR: card failed"), std::string::npos);
  const std::string text = ReadFile(folder_ / "ZorvApp.Log");
  EXPECT_NE(text.find("000003  "), std::string::npos);
  EXPECT_NE(text.find("  card failed\r\n"), std::string::npos);
}

}  // namespace
