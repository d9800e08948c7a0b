#include "platform/files.h"
#include "windows_api.h"

namespace platform {

std::string NativePath(const std::string& path) {
  return path;
}

std::optional<uint32_t> FileAttributes(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return static_cast<uint32_t>(attributes);
}

bool IsDirectory(const std::string& path) {
  const auto attributes = FileAttributes(path);
  return attributes && (*attributes & kAttributeDirectory);
}

std::optional<uint64_t> RegularFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    return std::nullopt;
  }
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool IsWriteDenied(const std::string& path) {
  const auto attributes = FileAttributes(path);
  return attributes && (*attributes & kAttributeReadOnly);
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool SetCurrentDirectory(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != 0;
}

bool SetCurrentDrive(int drive) {
  if (drive < 1 || drive > 26) return false;
  const char root[] = {static_cast<char>('A' + drive - 1), ':', '\0'};
  return ::SetCurrentDirectoryA(root) != 0;
}

char PathSeparator() {
  return '\\';
}

std::string UserRuntimeDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return "";
  std::string folder(buffer, length);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string ExecutableDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, length);
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? CurrentDirectory() : path.substr(0, slash);
}

WriteFile::~WriteFile() {
  Close();
}

bool WriteFile::Create(const std::string& path) {
  Close();
  HANDLE h =
      ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  handle_ = h == INVALID_HANDLE_VALUE ? kInvalid : reinterpret_cast<intptr_t>(h);
  return handle_ != kInvalid;
}

bool WriteFile::Write(const char* data, size_t size) {
  if (handle_ == kInvalid) return false;
  DWORD written = 0;
  return ::WriteFile(reinterpret_cast<HANDLE>(handle_), data, static_cast<DWORD>(size), &written,
                     nullptr) != 0 &&
         written == size;
}

void WriteFile::Close() {
  if (handle_ != kInvalid) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kInvalid;
}

}  // namespace platform
