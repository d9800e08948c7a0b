#include "platform/instance_guard.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/child_process.h"

namespace {

constexpr const char* kName = "Protect InstanceGuardTest";

int ProbeInAnotherProcess() {
  const platform::ProgramRun run = platform::RunProgram(INSTANCE_GUARD_PROBE, {kName});
  EXPECT_TRUE(run.started);
  return run.exit_code;
}

TEST(InstanceGuard, SeenByALaterGuardInThisProcessUntilItEnds) {
  auto first = std::make_unique<platform::InstanceGuard>(kName);
  EXPECT_FALSE(first->AlreadyRunning());
  EXPECT_TRUE(platform::InstanceGuard(kName).AlreadyRunning());
  first.reset();
  EXPECT_FALSE(platform::InstanceGuard(kName).AlreadyRunning());
}

TEST(InstanceGuard, SeenByAnotherProcess) {
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
  {
    const platform::InstanceGuard held(kName);
    EXPECT_EQ(ProbeInAnotherProcess(), 1);
  }
  EXPECT_EQ(ProbeInAnotherProcess(), 0);
}

TEST(InstanceGuard, ALaterGuardThatFoundAHolderDoesNotHideIt) {
  const platform::InstanceGuard first(kName);
  { const platform::InstanceGuard second(kName); }
  EXPECT_EQ(ProbeInAnotherProcess(), 1);
}

}  // namespace
