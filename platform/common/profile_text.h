#pragma once
// Text rules of profile files that every platform's implementation shares.

#include <string_view>

namespace platform {

// The text without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view text);

// True when a section, key and value written to a profile file read back as written: no line
// break or NUL anywhere, a non-blank section without "]", a non-blank key without "=" that
// does not start like a comment or a section header.
bool IsStorableProfileEntry(std::string_view section, std::string_view key, std::string_view value);

}  // namespace platform
