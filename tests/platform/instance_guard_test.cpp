#include "platform/instance_guard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/common/UnprivilegedRun.h"

namespace {

namespace fs = std::filesystem;

// A name of this test's own, so that tests running beside it (in other processes too) never
// hold it.
std::string TestName() {
  return "Protect InstanceGuardTest " + std::to_string(platform::ProcessId()) + " " +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// The lock files go to a folder of the test's own, so that the machine's lock folder does not
// gather a file for every test run; the probe processes are told the folder. On Windows the
// guard is a kernel object and makes no file.
class InstanceGuard : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string Folder() const { return folder_.string(); }

  int ProbeInAnotherProcess(const std::vector<std::string>& arguments) {
    const platform::ProgramRun run = platform::RunProgram(INSTANCE_GUARD_PROBE, arguments);
    EXPECT_TRUE(run.started);
    return run.exit_code;
  }
  int ProbeInAnotherProcess() { return ProbeInAnotherProcess({TestName(), Folder()}); }

 private:
  const fs::path folder_ =
      fs::temp_directory_path() / ("zorv_instance_guard_" + std::to_string(platform::ProcessId()));
};

TEST_F(InstanceGuard, SeenByALaterGuardInThisProcessUntilItEnds) {
  auto first = std::make_unique<platform::InstanceGuard>(TestName(), Folder());
  EXPECT_FALSE(first->AlreadyRunning());
  EXPECT_EQ(first->Failure(), "");
  EXPECT_TRUE(platform::InstanceGuard(TestName(), Folder()).AlreadyRunning());
  first.reset();
  EXPECT_FALSE(platform::InstanceGuard(TestName(), Folder()).AlreadyRunning());
}

TEST_F(InstanceGuard, SeenByAnotherProcess) {
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
  {
    const platform::InstanceGuard held(TestName(), Folder());
    EXPECT_EQ(ProbeInAnotherProcess(), 1);
  }
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
}

TEST_F(InstanceGuard, ALaterGuardThatFoundAHolderDoesNotHideIt) {
  const platform::InstanceGuard first(TestName(), Folder());
  { const platform::InstanceGuard second(TestName(), Folder()); }
  EXPECT_EQ(ProbeInAnotherProcess(), 1);
}

TEST_F(InstanceGuard, TheLockFolderAndFilesAreOpenToEveryUser) {
  if (platform::MachineLockFolder().empty()) GTEST_SKIP() << "the guard makes no file here";
  const platform::InstanceGuard held(TestName(), Folder());

  EXPECT_EQ(fs::status(Folder()).permissions(), fs::perms::all | fs::perms::sticky_bit);
  for (const fs::directory_entry& file : fs::directory_iterator(Folder())) {
    using fs::perms;
    EXPECT_EQ(file.status().permissions(), perms::owner_read | perms::owner_write |
                                               perms::group_read | perms::group_write |
                                               perms::others_read | perms::others_write)
        << file.path();
  }
}

// A lock file this user may not write (another user made it) still guards.
TEST_F(InstanceGuard, ALockFileThisUserMayNotWriteStillGuards) {
  { const platform::InstanceGuard creator(TestName(), Folder()); }
  if (!fs::exists(Folder())) GTEST_SKIP() << "the guard makes no file here";
  std::string lock_file;
  for (const fs::directory_entry& file : fs::directory_iterator(Folder())) {
    lock_file = file.path().string();
  }
  fs::permissions(lock_file,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  zorv_test::RunUnprivileged(Folder(), [&] {
    ASSERT_TRUE(platform::IsWriteDenied(lock_file));
    const platform::InstanceGuard held(TestName(), Folder());

    EXPECT_FALSE(held.AlreadyRunning()) << held.Failure();
    EXPECT_EQ(ProbeInAnotherProcess(), 1);
  });
}

// Two users' login sessions have runtime folders of their own; the lock is the machine's.
TEST_F(InstanceGuard, TheMachinesLockIsTheSameForEveryLoginSession) {
  const std::optional<std::string> saved = platform::EnvironmentVariable("XDG_RUNTIME_DIR");
  fs::create_directories(fs::path(Folder()) / "session_a");
  fs::create_directories(fs::path(Folder()) / "session_b");
  {
    platform::SetEnvironmentVariable("XDG_RUNTIME_DIR", Folder() + "/session_a");
    const platform::InstanceGuard held(TestName());
    platform::SetEnvironmentVariable("XDG_RUNTIME_DIR", Folder() + "/session_b");
    EXPECT_EQ(ProbeInAnotherProcess({TestName()}), 1);
  }
  platform::SetEnvironmentVariable("XDG_RUNTIME_DIR", saved.value_or(""));
  std::error_code ignored;
  for (const fs::directory_entry& file :
       fs::directory_iterator(platform::MachineLockFolder(), ignored)) {
    if (file.path().filename().string().find(std::to_string(platform::ProcessId())) !=
        std::string::npos) {
      fs::remove(file.path(), ignored);
    }
  }
}

}  // namespace
