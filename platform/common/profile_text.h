#pragma once
// Text rules of profile files that every platform's implementation shares.

#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace platform {

// Section and key names match whatever their letter case.
bool SameProfileName(std::string_view a, std::string_view b);

// Adds the key unless the list has it already: the first of duplicate keys counts.
void AddFirstOfKey(std::vector<ProfileEntry>& entries, std::string_view key,
                   std::string_view value);
// Adds the name unless the list has it already.
void AddFirstOfName(std::vector<std::string>& names, std::string_view name);

// The text without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view text);

// True when a section, key and value written to a profile file read back as written: no line
// break or NUL anywhere, a non-blank section without "]", a non-blank key without "=" that
// does not start like a comment or a section header.
bool IsStorableProfileEntry(std::string_view section, std::string_view key, std::string_view value);

}  // namespace platform
