#include "platform/instance_guard.h"

#include <gtest/gtest.h>

#include <memory>
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

int ProbeInAnotherProcess() {
  const platform::ProgramRun run = platform::RunProgram(INSTANCE_GUARD_PROBE, {TestName()});
  EXPECT_TRUE(run.started);
  return run.exit_code;
}

TEST(InstanceGuard, SeenByALaterGuardInThisProcessUntilItEnds) {
  auto first = std::make_unique<platform::InstanceGuard>(TestName());
  EXPECT_FALSE(first->AlreadyRunning());
  EXPECT_TRUE(platform::InstanceGuard(TestName()).AlreadyRunning());
  first.reset();
  EXPECT_FALSE(platform::InstanceGuard(TestName()).AlreadyRunning());
}

TEST(InstanceGuard, SeenByAnotherProcess) {
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
  {
    const platform::InstanceGuard held(TestName());
    EXPECT_EQ(ProbeInAnotherProcess(), 1);
  }
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
}

TEST(InstanceGuard, ALaterGuardThatFoundAHolderDoesNotHideIt) {
  const platform::InstanceGuard first(TestName());
  { const platform::InstanceGuard second(TestName()); }
  EXPECT_EQ(ProbeInAnotherProcess(), 1);
}

}  // namespace
