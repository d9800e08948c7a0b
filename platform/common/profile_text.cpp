#include "profile_text.h"

namespace platform {

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
