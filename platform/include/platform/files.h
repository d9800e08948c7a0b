#pragma once
// Files, attributes and the current directory. Paths are the system's own texts: on POSIX a
// "\" is read as "/", so the Windows-style names the system uses ("Files\ErLogs\") work there.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Windows attribute bits; POSIX reports the equivalent ones it has.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeSystem = 0x4;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kAttributeCompressed = 0x800;
constexpr uint32_t kAttributeOffline = 0x1000;

// The path as the OS takes it.
std::string NativePath(const std::string& path);
// The attributes of an existing file or directory; nothing when the path does not exist.
std::optional<uint32_t> FileAttributes(const std::string& path);
bool IsDirectory(const std::string& path);
// The size of a regular file; nothing when the path names nothing or something else (a folder,
// a device, a pipe).
std::optional<uint64_t> RegularFileSize(const std::string& path);
// True when the process may not write the existing file (read-only attribute or file system).
bool IsWriteDenied(const std::string& path);

std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& path);
// Drive 1 is A:. Systems without drive letters ignore it.
bool SetCurrentDrive(int drive);

char PathSeparator();
// A folder of this user's own for small files that programs keep between their runs, without a
// trailing separator: the login session's runtime folder, else one made for the user in the
// temporary folder (Windows: the user's temporary folder). Empty when there is none.
std::string UserRuntimeDirectory();
// The folder of the running program, without a trailing separator.
std::string ExecutableDirectory();

// A file handle for the log: created anew (truncated), shared for reading and writing.
class WriteFile {
 public:
  WriteFile() = default;
  ~WriteFile();
  WriteFile(const WriteFile&) = delete;
  WriteFile& operator=(const WriteFile&) = delete;

  bool Create(const std::string& path);
  bool Write(const char* data, size_t size);
  void Close();
  bool IsOpen() const { return handle_ != kInvalid; }

 private:
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;
};

}  // namespace platform
