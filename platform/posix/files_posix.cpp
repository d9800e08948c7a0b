#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/files.h"
#include "platform/process.h"

namespace platform {

std::string NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::optional<uint32_t> FileAttributes(const std::string& path) {
  const std::string native = NativePath(path);
  struct stat info {};
  if (native.empty() || ::stat(native.c_str(), &info) != 0) return std::nullopt;
  uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kAttributeDirectory;
  if (::access(native.c_str(), W_OK) != 0) attributes |= kAttributeReadOnly;
  const size_t slash = native.find_last_of('/');
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (!name.empty() && name[0] == '.' && name != "." && name != "..")
    attributes |= kAttributeHidden;
  return attributes == 0 ? kAttributeNormal : attributes;
}

bool IsDirectory(const std::string& path) {
  const auto attributes = FileAttributes(path);
  return attributes && (*attributes & kAttributeDirectory);
}

std::optional<uint64_t> RegularFileSize(const std::string& path) {
  struct stat info {};
  if (::stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

bool IsWriteDenied(const std::string& path) {
  const std::string native = NativePath(path);
  if (::access(native.c_str(), F_OK) != 0) return false;
  if (::access(native.c_str(), W_OK) != 0) return true;
  struct statvfs fs {};
  return ::statvfs(native.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY);
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool SetCurrentDirectory(const std::string& path) {
  return ::chdir(NativePath(path).c_str()) == 0;
}

bool SetCurrentDrive(int) {
  return true;
}

char PathSeparator() {
  return '/';
}

std::string UserRuntimeDirectory() {
  const auto runtime = EnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime && !runtime->empty()) return *runtime;
  const auto temporary = EnvironmentVariable("TMPDIR");
  const std::string folder = (temporary && !temporary->empty() ? *temporary : std::string("/tmp")) +
                             "/zorv-" + std::to_string(::getuid());
  ::mkdir(folder.c_str(), 0700);
  // Only a folder that no other user can have prepared is the user's own.
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
      (info.st_mode & 077) != 0) {
    return "";
  }
  return folder;
}

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return CurrentDirectory();
  std::string path(buffer, static_cast<size_t>(length));
  return path.substr(0, path.find_last_of('/'));
}

WriteFile::~WriteFile() {
  Close();
}

bool WriteFile::Create(const std::string& path) {
  Close();
  handle_ = ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return handle_ != kInvalid;
}

bool WriteFile::Write(const char* data, size_t size) {
  if (handle_ == kInvalid) return false;
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), data, size);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

void WriteFile::Close() {
  if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
  handle_ = kInvalid;
}

}  // namespace platform
