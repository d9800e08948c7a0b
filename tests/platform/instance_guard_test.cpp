#include "platform/instance_guard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/child_process.h"
#include "platform/process.h"

namespace {

// A name of this test's own, so that tests running beside it (in other processes too) never
// hold it.
std::string TestName() {
  return "Protect InstanceGuardTest " + std::to_string(platform::ProcessId()) + " " +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Outside a login session the lock files go to the machine's temporary folder, which should not
// gather a file for every test run: they go to a folder of the test's own instead, which the
// probe processes inherit. On Windows the guard is a kernel object and makes no file.
class InstanceGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_);
    platform::SetEnvironmentVariable("XDG_RUNTIME_DIR", folder_.string());
  }
  void TearDown() override {
    platform::SetEnvironmentVariable("XDG_RUNTIME_DIR", saved_.value_or(""));
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  const std::optional<std::string> saved_ = platform::EnvironmentVariable("XDG_RUNTIME_DIR");
  const std::filesystem::path folder_ =
      std::filesystem::temp_directory_path() /
      ("zorv_instance_guard_" + std::to_string(platform::ProcessId()));
};

int ProbeInAnotherProcess() {
  const platform::ProgramRun run = platform::RunProgram(INSTANCE_GUARD_PROBE, {TestName()});
  EXPECT_TRUE(run.started);
  return run.exit_code;
}

TEST_F(InstanceGuard, SeenByALaterGuardInThisProcessUntilItEnds) {
  auto first = std::make_unique<platform::InstanceGuard>(TestName());
  EXPECT_FALSE(first->AlreadyRunning());
  EXPECT_TRUE(platform::InstanceGuard(TestName()).AlreadyRunning());
  first.reset();
  EXPECT_FALSE(platform::InstanceGuard(TestName()).AlreadyRunning());
}

TEST_F(InstanceGuard, SeenByAnotherProcess) {
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
  {
    const platform::InstanceGuard held(TestName());
    EXPECT_EQ(ProbeInAnotherProcess(), 1);
  }
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
}

TEST_F(InstanceGuard, ALaterGuardThatFoundAHolderDoesNotHideIt) {
  const platform::InstanceGuard first(TestName());
  { const platform::InstanceGuard second(TestName()); }
  EXPECT_EQ(ProbeInAnotherProcess(), 1);
}

}  // namespace
