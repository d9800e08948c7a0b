#pragma once
// Checks that depend on file permissions. A privileged user (root, as CI runs the suite)
// writes read-only files all the same, so there the check runs in a child process that has
// given up its privileges; elsewhere it runs in this process. Link zorv_test_common.

#include <filesystem>
#include <functional>

namespace zorv_test {

// Runs `check` as a user without privileges. As root: in a child process that first hands
// `folder` and everything in it to the unprivileged user (nobody, 65534), so that only the
// files' own permissions stand in the way, then drops to that user. The child's failures are
// printed by the child and fail the test here.
void RunUnprivileged(const std::filesystem::path& folder, const std::function<void()>& check);

}  // namespace zorv_test
