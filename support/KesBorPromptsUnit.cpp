#include "support/KesBorPromptsUnit.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "support/Ctimerclass.h"
#include "support/KesBorDialogsUnit.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

// The decimal number that the text's leading characters form, after blanks and a plus sign;
// 0 when they form none.
double LeadingNumber(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  while (first != last && std::isspace(static_cast<unsigned char>(*first))) ++first;
  if (first != last && *first == '+') ++first;
  double number = 0;
  if (std::from_chars(first, last, number).ec != std::errc()) return 0;
  return number;
}

std::string RangeText(int radix, int32_t bound) {
  if (radix == 16) return FormatHex(static_cast<uint32_t>(bound), 8, true);
  return FormatFixed(16, 0, bound);
}

std::optional<int32_t> ParseAnswer(const std::string& answer, int radix) {
  int32_t value = 0;
  if (answer.rfind("0x", 0) == 0) {
    if (!ParseIntWhole(answer, value, 16)) return std::nullopt;
  } else if (!ParseScientificInt(answer, value) && !ParseIntWhole(answer, value, radix)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string FormatInRadix(int radix, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  std::string text;
  switch (radix) {
    case 2:
      text = FormatBinary(bits, 32);
      break;
    case 8:
      text = FormatOctal(bits, 32, true);
      break;
    case 16:
      text = FormatHex(bits, 32, true);
      break;
    default:
      text = FormatFixed(16, 0, value);
      break;
  }
  for (const char prefix : {'0', 'x', 'o', '0'}) text = StripLeadingChar(prefix, text);
  return text.empty() ? "0" : text;
}

bool ParseScientificInt(const std::string& text, int32_t& value) {
  auto marker = text.find('e');
  if (marker == std::string::npos) marker = text.find('E');
  if (marker == std::string::npos) return false;
  const double mantissa = LeadingNumber(text.substr(0, marker));
  const double exponent = LeadingNumber(text.substr(marker + 1));
  value = RoundToInt(mantissa * SafePow(10, exponent));
  return true;
}

bool PromptForInteger(const std::string& prompt, int32_t& value, int32_t first_bound, int radix,
                      int32_t second_bound) {
  const std::string current = FormatInRadix(radix, value);
  const std::optional<std::string> answer = ProcessDialogs().AskText(
      {"Input Range " + RangeText(radix, second_bound) + " - " + RangeText(radix, first_bound),
       prompt, current});
  if (!answer) return false;
  if (*answer != current) {
    const std::optional<int32_t> parsed = ParseAnswer(*answer, radix);
    if (!parsed) return false;
    value = *parsed;
  }
  if (!InRange(value, first_bound, second_bound)) {
    NoticeBeep();
    value = static_cast<int32_t>(MedianOf3(first_bound, second_bound, value));
  }
  return true;
}
