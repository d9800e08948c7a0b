#pragma once
// Messages that quote text from outside the program (a command-line word, a file name, a value
// in a file) must stay one line, whatever bytes that text holds.

#include <string>
#include <string_view>

namespace platform {

// The text with each control character (line breaks, tabs, escape sequences' ESC) written as
// "\xHH"; every other byte as it is.
std::string ControlCharactersEscaped(std::string_view text);

}  // namespace platform
