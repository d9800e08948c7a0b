#include "../common/profile_text.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "windows_api.h"

namespace platform {
namespace {

// The profile functions look a relative name up in the Windows folder; the system's relative
// names mean the current directory, as on every other platform.
std::string AbsolutePath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  char buffer[kProfileValueLimit + 1] = {};
  const DWORD length =
      ::GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer,
                                 sizeof buffer, AbsolutePath(file).c_str());
  return std::string(buffer, length);
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
  const std::string path = AbsolutePath(file);
  if (section.empty() && key.empty() && value.empty()) {
    // The commit call: absent pointers are the documented way to flush the cache, and that
    // call reports FALSE by design.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    return true;
  }
  if (!IsStorableProfileEntry(section, key, value)) return false;
  // Windows refuses to write a read-only file; a Windows-compatible system run by a privileged
  // account (Wine as root) would write it, and the system relies on the refusal.
  if (IsWriteDenied(path)) return false;
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         0;
}

}  // namespace platform
