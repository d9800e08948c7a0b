#pragma once
// Asking the operator for an integer within a range, in binary, octal, decimal or hexadecimal.

#include <cstdint>
#include <string>

// The value in the radix (2, 8 or 16; decimal otherwise) without prefix or leading zeros:
// 255 gives FF, 377 or 11111111.
std::string FormatInRadix(int radix, int32_t value);

// A number in exponent notation: mantissa and exponent are the decimal numbers their leading
// characters form (0 when they form none), so 2.5e3 gives 2500 and FE gives 0. False when the
// text has no "e" or "E".
bool ParseScientificInt(const std::string& text, int32_t& value);

// Asks through the process's input box, captioned with the range, proposing the value in the
// radix. An answer beginning with "0x" is hexadecimal, one with an exponent is read as such,
// any other is read in the radix. An answer outside the bounds (either order) is clamped into
// them with a notice beep and still accepted. False, value unchanged, when the operator
// cancels or the answer does not parse.
bool PromptForInteger(const std::string& prompt, int32_t& value, int32_t first_bound, int radix,
                      int32_t second_bound);
