#include "platform/message_text.h"

namespace platform {

std::string ControlCharactersEscaped(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHexDigits[byte >> 4];
      shown += kHexDigits[byte & 0x0F];
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace platform
