#include "support/KesBorGenUnit.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/system_info.h"
#include "support/KesBorDialogsUnit.h"
#include "support/KesWinSpeakerUnit.h"
#include "support/keserrorlog.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr const char* kNibbleTexts[16] = {"0000", "0001", "0010", "0011", "0100", "0101",
                                          "0110", "0111", "1000", "1001", "1010", "1011",
                                          "1100", "1101", "1110", "1111"};
constexpr int kFixedPrecision = 18;
// Enough for the 309 integer digits of the largest double, sign and point.
constexpr size_t kFixedIntegerRoom = 320;

// The decimal exponent after the "e" of std::to_chars' scientific form ("e-04", "e+10").
int ScientificExponent(std::string_view text) {
  const size_t e = text.find('e');
  int magnitude = 0;
  std::from_chars(text.data() + e + 2, text.data() + text.size(), magnitude);
  return text[e + 1] == '-' ? -magnitude : magnitude;
}

// The value rounded to kFixedPrecision significant digits: sign, digits and decimal exponent.
struct Significant {
  bool negative;
  std::string digits;
  int exponent;
  std::string mantissa;  // d.ddd with its sign
};

Significant SignificantDigits(double x) {
  char text[64];
  const auto done = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific,
                                  kFixedPrecision - 1);
  const std::string_view all(text, static_cast<size_t>(done.ptr - text));
  const size_t e = all.find('e');
  Significant s{all[0] == '-', std::string(), ScientificExponent(all),
                std::string(all.substr(0, e))};
  for (char c : s.mantissa) {
    if (std::isdigit(static_cast<unsigned char>(c))) s.digits += c;
  }
  return s;
}

// Fixed-point digits where the decimals ask for more than kFixedPrecision significant places:
// the places beyond are zeros, as the system's fixed-point conversion prints them.
std::string FixedBeyondPrecision(const Significant& s, int decimals) {
  if (s.exponent + 1 > kFixedPrecision) {
    // Too many integer digits for the precision: the general scientific form, 1.5E20.
    std::string mantissa = s.mantissa;
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    if (mantissa.back() == '.') mantissa.pop_back();
    return mantissa + "E" + std::to_string(s.exponent);
  }
  std::string result = s.negative ? "-" : "";
  std::string fraction;
  if (s.exponent >= 0) {
    result += s.digits.substr(0, static_cast<size_t>(s.exponent) + 1);
    fraction = s.digits.substr(static_cast<size_t>(s.exponent) + 1);
  } else {
    result += "0";
    fraction = std::string(static_cast<size_t>(-s.exponent - 1), '0') + s.digits;
  }
  fraction.resize(static_cast<size_t>(decimals), '0');
  if (decimals > 0) result += "." + fraction;
  return result;
}

// A rounded value whose digits are all zero prints without a sign.
void DropSignOfZero(std::string& text) {
  if (!text.empty() && text[0] == '-' && text.find_first_of("123456789") == std::string::npos) {
    text.erase(0, 1);
  }
}

std::string FixedText(double x, int decimals) {
  if (decimals < 0) return std::string();
  std::vector<char> buffer(kFixedIntegerRoom + static_cast<size_t>(decimals));
  char* end = PrintPaddedFixed(buffer.data(), buffer.data() + buffer.size(), x, 0, decimals);
  return end ? std::string(buffer.data(), end) : std::string();
}

std::string PrefixedDigits(const char* prefix, bool with_prefix, int width, const char* format,
                           uint32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, format, value);
  return (with_prefix ? prefix : "") + PadOrCut(width, '0', digits);
}

std::string Cut(const std::string& s, int width) {
  return s.substr(0, static_cast<size_t>(std::max(width, 0)));
}

}  // namespace

char* PrintPaddedFixed(char* first, char* last, double x, int width, int decimals) {
  if (!std::isfinite(x) || decimals < 0 || first >= last) return nullptr;
  const auto done = std::to_chars(first, last, x, std::chars_format::fixed, decimals);
  if (done.ec != std::errc()) return nullptr;
  const ptrdiff_t length = done.ptr - first;
  if (length >= width) return done.ptr;
  if (last - first < width) return nullptr;
  // Zeros go between the sign and the digits, as printf's 0 flag puts them.
  char* digits = first + (*first == '-' ? 1 : 0);
  const ptrdiff_t pad = width - length;
  std::move_backward(digits, done.ptr, done.ptr + pad);
  std::fill(digits, digits + pad, '0');
  return first + width;
}

std::string YesNoText(bool value) {
  return value ? "YES" : "NO";
}

std::string FormatFixed(int max_length, int decimals, double x) {
  try {
    if (!std::isfinite(x)) return "Nan";
    decimals = std::clamp(decimals, 0, kFixedPrecision);
    const Significant significant = SignificantDigits(x);
    // Within the precision one rounding of the exact value gives the digits.
    std::string text = x == 0.0 || significant.exponent + 1 + decimals <= kFixedPrecision
                           ? FixedText(x, decimals)
                           : FixedBeyondPrecision(significant, decimals);
    DropSignOfZero(text);
    return Cut(text, max_length);
  } catch (...) {
    return "Nan";
  }
}

std::string FormatExponent(int precision, int digits, double x) {
  try {
    if (!std::isfinite(x)) return "NaN";
    precision = std::clamp(precision, 1, kFixedPrecision);
    digits = std::clamp(digits, 0, 4);
    if (x == 0.0) x = 0.0;  // no sign on a negative zero
    char text[64];
    const auto done =
        std::to_chars(text, text + sizeof text, x, std::chars_format::scientific, precision - 1);
    const std::string_view all(text, static_cast<size_t>(done.ptr - text));
    const size_t e = all.find('e');
    const int exponent = ScientificExponent(all);
    std::string power = std::to_string(std::abs(exponent));
    if (power.size() < static_cast<size_t>(digits)) power.insert(0, digits - power.size(), '0');
    return std::string(all.substr(0, e)) + "E" + (exponent < 0 ? "-" : "+") + power;
  } catch (...) {
    return "NaN";
  }
}

// The total width only adds blanks, and every blank is removed.
std::string FormatNumberText(double x, [[maybe_unused]] int total, int decimals) {
  try {
    std::string text = FixedText(x, decimals);
    return text.empty() ? "INVALID" : text;
  } catch (...) {
    return "INVALID";
  }
}

std::string FormatHex(uint32_t value, int width, bool prefix) {
  return PrefixedDigits("0x", prefix, width, "%X", value);
}

std::string FormatOctal(uint32_t value, int width, bool prefix) {
  return PrefixedDigits("o", prefix, width, "%o", value);
}

std::string FormatHex64(long double x, int width, bool prefix) {
  // Also refuses a value that is not a number, which no comparison admits.
  if (!(x >= -0x1p63L && x < 0x1p64L)) return "OVERFLOW";
  const uint64_t v =
      x >= 0x1p63L ? static_cast<uint64_t>(x) : static_cast<uint64_t>(static_cast<int64_t>(x));
  char digits[24];
  if (v <= 0xFFFFFFFFu) {
    std::snprintf(digits, sizeof digits, "%08X", static_cast<uint32_t>(v));
  } else {
    std::snprintf(digits, sizeof digits, "%08X%08X", static_cast<uint32_t>(v >> 32),
                  static_cast<uint32_t>(v));
  }
  return (prefix ? "0x" : "") + PadOrCut(width, '0', digits);
}

std::string NibbleBits(char c) {
  const char* found = std::strchr(kHexDigits, c);
  return found && c != '\0' ? kNibbleTexts[found - kHexDigits] : "0000";
}

std::string FormatBinary(uint32_t value, int bit_count) {
  const std::string hex = FormatHex(value, (bit_count + 3) / 4, false);
  std::string bits;
  for (char c : hex) bits += NibbleBits(c);
  if (static_cast<int>(bits.size()) > bit_count) bits = Cut(StripLeadingChar('0', bits), bit_count);
  if (static_cast<int>(bits.size()) < bit_count) bits = PadOrCut(bit_count, '0', bits);
  return bits;
}

std::string PadOrCut(int width, char fill, const std::string& s) {
  const int length = static_cast<int>(s.size());
  if (length < width) return std::string(static_cast<size_t>(width - length), fill) + s;
  if (length > width) return Cut(s, width);
  return s;
}

void TrimTrailingChar(std::string& s, char c) {
  const size_t keep = s.find_last_not_of(c);
  s.erase(keep == std::string::npos ? 0 : keep + 1);
}

void ReplaceChar(std::string& s, char from, char to, bool trim_first) {
  if (trim_first) TrimTrailingChar(s, from);
  std::replace(s.begin(), s.end(), from, to);
}

std::string StripLeadingChar(char c, const std::string& s) {
  const size_t first = s.find_first_not_of(c);
  return first == std::string::npos ? std::string() : s.substr(first);
}

std::string RemoveAllChar(char c, const std::string& s) {
  std::string result = s;
  result.erase(std::remove(result.begin(), result.end(), c), result.end());
  return result;
}

std::string TextBefore(const std::string& s, const std::string& marker) {
  const size_t at = marker.empty() ? std::string::npos : s.find(marker);
  return at == std::string::npos ? std::string() : s.substr(0, at);
}

std::string TextAfter(const std::string& s, const std::string& marker) {
  const size_t at = marker.empty() ? std::string::npos : s.find(marker);
  return at == std::string::npos ? std::string() : s.substr(at + marker.size());
}

bool ParseIntWhole(const std::string& s, int32_t& value, int base) {
  value = 0;
  if (base != 0 && (base < 2 || base > 36)) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(s.c_str(), &end, base);
  // A number outside 32 bits is a failure here, whatever the width of long.
  if (errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  if (end != s.c_str() + s.size()) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseDoubleWhole(const std::string& s, double& value) {
  value = 0;
  if (s.empty()) return true;  // nothing converted and nothing follows, as strtod sees it
  // strtod's leading blanks and sign, then the C-locale number whatever the process locale.
  const char* first = s.data();
  const char* last = s.data() + s.size();
  while (first != last && std::isspace(static_cast<unsigned char>(*first))) ++first;
  if (first != last && *first == '+') ++first;
  double parsed = 0;
  const auto done = std::from_chars(first, last, parsed);
  if (done.ec != std::errc() || done.ptr != last) return false;
  value = parsed;
  return true;
}

bool IsBitSet(uint32_t value, int bit) {
  return (value >> (bit & 31)) & 1u;
}

uint32_t SetBit(uint32_t value, int bit) {
  return value | (1u << (bit & 31));
}

uint32_t ClearBit(uint32_t value, int bit) {
  return value & ~(1u << (bit & 31));
}

uint32_t RandomMasked(uint32_t mask) {
  // The 15-bit range of the C library the system was written for.
  return (static_cast<uint32_t>(std::rand()) & 0x7FFFu) & mask;
}

double MedianOf3(double a, double b, double c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

bool InRange(double x, double a, double b) {
  return std::min(a, b) <= x && x <= std::max(a, b);
}

double SafePow(double x, double y) {
  const double result = std::pow(x, y);
  return std::isfinite(result) ? result : 0.0;
}

std::string SystemErrorText(uint32_t error_number) {
  try {
    return platform::SystemErrorMessage(error_number);
  } catch (...) {
    return std::string();
  }
}

void LogInfo(const std::string& message, int32_t code, bool show_box) {
  ReturnToStartDirectory(StartDirectory);
  keserrorlog* log = ProcessErrorLog();
  if (!log) return;
  log->AddLine(message, code);
  if (show_box) ShowMessage(message, "INFO", MessageButtons::kOk, MessageIcon::kInformation);
}

void LogError(const std::string& message, int32_t code, bool show_box) {
  ErrorBeep();
  LogInfo(message, code, false);
  if (show_box) ShowMessage(message, "ERROR", MessageButtons::kOk, MessageIcon::kError);
}
