#include <windows.h>

#include "../common/profile_text.h"
#include "platform/profile.h"

namespace platform {

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  char buffer[kProfileValueLimit + 1] = {};
  const DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(),
                                                  buffer, sizeof buffer, file.c_str());
  return std::string(buffer, length);
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
  if (section.empty() && key.empty() && value.empty()) {
    // The commit call: absent pointers are the documented way to flush the cache, and that
    // call reports FALSE by design.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    return true;
  }
  if (!IsStorableProfileEntry(section, key, value)) return false;
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         0;
}

}  // namespace platform
