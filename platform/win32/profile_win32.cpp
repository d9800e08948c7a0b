#include <string_view>

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

// The strings of a list that Windows fills ("one\0two\0\0"), read with a buffer that grows
// until the list fits; nothing when the file or section is missing.
template <typename Fill>
std::vector<std::string> ReadStringList(Fill fill) {
  constexpr DWORD kLargest = 64u << 20;
  for (DWORD size = 4096; size <= kLargest; size *= 2) {
    std::string buffer(size, '\0');
    const DWORD length = fill(buffer.data(), size);
    // A list that does not fit is cut and reported as size - 2 characters long.
    if (length + 2 >= size) continue;
    std::vector<std::string> strings;
    for (size_t at = 0; at < length;) {
      const size_t end = buffer.find('\0', at);
      strings.push_back(buffer.substr(at, end - at));
      at = end + 1;
    }
    return strings;
  }
  return {};
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

std::vector<std::string> ReadProfileSectionNames(const std::string& file) {
  const std::string path = AbsolutePath(file);
  std::vector<std::string> names;
  for (const std::string& name : ReadStringList([&](char*buffer, DWORD size) {
         return ::GetPrivateProfileSectionNamesA(buffer, size, path.c_str());
       })) {
    if (!TrimBlanks(name).empty()) AddFirstOfName(names, TrimBlanks(name));
  }
  return names;
}

std::vector<ProfileEntry> ReadProfileSection(const std::string& file, const std::string& section) {
  const std::string path = AbsolutePath(file);
  std::vector<ProfileEntry> entries;
  for (const std::string& line : ReadStringList([&](char*buffer, DWORD size) {
         return ::GetPrivateProfileSectionA(section.c_str(), buffer, size, path.c_str());
       })) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string_view key = TrimBlanks(std::string_view(line).substr(0, equals));
    if (key.empty() || key.front() == ';') continue;
    AddFirstOfKey(entries, key, TrimBlanks(std::string_view(line).substr(equals + 1)));
  }
  return entries;
}

}  // namespace platform
