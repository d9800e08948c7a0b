#include "tests/common/UnprivilegedRun.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace zorv_test {
namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

bool HandOver(const std::filesystem::path& folder) {
  if (::chown(folder.c_str(), kNobody, kNoGroup) != 0) return false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (::lchown(entry.path().c_str(), kNobody, kNoGroup) != 0) return false;
  }
  return true;
}

bool DropPrivileges() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNoGroup) == 0 && ::setuid(kNobody) == 0 &&
         ::setuid(0) != 0;  // for good
}

}  // namespace

void RunUnprivileged(const std::filesystem::path& folder, const std::function<void()>& check) {
  if (::geteuid() != 0) {
    check();
    return;
  }
  const pid_t child = ::fork();
  ASSERT_NE(child, -1) << std::strerror(errno);
  if (child == 0) {
    if (!HandOver(folder) || !DropPrivileges()) {
      ADD_FAILURE() << "cannot become an unprivileged user: " << std::strerror(errno);
      std::fflush(nullptr);
      ::_exit(2);
    }
    check();
    const bool failed = ::testing::Test::HasFailure();
    std::fflush(nullptr);  // what GoogleTest printed, before the exit that skips it
    ::_exit(failed ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the check as an unprivileged user failed (see above); status " << status;
}

}  // namespace zorv_test
