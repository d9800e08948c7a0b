#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/instance_guard.h"

namespace platform {
namespace {

// As the temporary folder itself: anyone may add a file, nobody may remove another's.
constexpr mode_t kSharedFolderMode = 01777;
constexpr mode_t kSharedFileMode = 0666;

std::string LockFilePath(const std::string& name, const std::string& folder) {
  std::string file = "zorv-";
  for (const char c : name) file += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return folder + "/" + file + ".lock";
}

// Opens the lock file for every user: created writable for all, opened read-only when another
// user made it without write permission for us (a lock needs no write access).
int OpenShared(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kSharedFileMode);
  if (fd >= 0) {
    // The process's umask took the others' bits away; a file of another user stays as it is.
    ::fchmod(fd, kSharedFileMode);
    return fd;
  }
  if (errno != EACCES) return -1;
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
}

}  // namespace

std::string MachineLockFolder() {
  return "/tmp/zorv-locks";
}

// Each holder keeps a shared lock on the file; a newcomer that cannot take it exclusively
// knows that someone holds it. A lock on a separate open file conflicts within one process too.
InstanceGuard::InstanceGuard(const std::string& name, const std::string& lock_folder) {
  if (::mkdir(lock_folder.c_str(), kSharedFolderMode) == 0) {
    ::chmod(lock_folder.c_str(), kSharedFolderMode);
  }
  const std::string path = LockFilePath(name, lock_folder);
  const int fd = OpenShared(path);
  if (fd < 0) {
    failure_ = path + ": " + std::strerror(errno);
    already_running_ = true;
    return;
  }
  handle_ = fd;
  already_running_ = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::flock(fd, LOCK_SH);
}

InstanceGuard::~InstanceGuard() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace platform
