#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>

#include "platform/instance_guard.h"
#include "platform/process.h"

namespace platform {
namespace {

std::string LockFilePath(const std::string& name) {
  std::string file = "zorv-";
  for (const char c : name) file += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  const auto runtime = EnvironmentVariable("XDG_RUNTIME_DIR");
  return (runtime && !runtime->empty() ? *runtime : std::string("/tmp")) + "/" + file + ".lock";
}

}  // namespace

// Each holder keeps a shared lock on the file; a newcomer that cannot take it exclusively
// knows that someone holds it. A lock on a separate open file conflicts within one process too.
InstanceGuard::InstanceGuard(const std::string& name) {
  const int fd = ::open(LockFilePath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  handle_ = fd;
  already_running_ = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::flock(fd, LOCK_SH);
}

InstanceGuard::~InstanceGuard() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace platform
