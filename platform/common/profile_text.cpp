#include "profile_text.h"

#include <algorithm>

namespace platform {

bool SameProfileName(std::string_view a, std::string_view b) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

void AddFirstOfKey(std::vector<ProfileEntry>& entries, std::string_view key,
                   std::string_view value) {
  const bool known = std::any_of(entries.begin(), entries.end(), [&](const ProfileEntry& entry) {
    return SameProfileName(entry.key, key);
  });
  if (!known) entries.push_back({std::string(key), std::string(value)});
}

void AddFirstOfName(std::vector<std::string>& names, std::string_view name) {
  const bool known = std::any_of(names.begin(), names.end(), [&](const std::string& known) {
    return SameProfileName(known, name);
  });
  if (!known) names.emplace_back(name);
}

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsStorableProfileEntry(std::string_view section, std::string_view key,
                            std::string_view value) {
  constexpr std::string_view kLineBreaks("\r\n\0", 3);
  for (const std::string_view text : {section, key, value}) {
    if (text.find_first_of(kLineBreaks) != std::string_view::npos) return false;
  }
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  if (section.empty() || section.find(']') != std::string_view::npos) return false;
  return !key.empty() && key.find('=') == std::string_view::npos && key.front() != ';' &&
         key.front() != '[';
}

}  // namespace platform
