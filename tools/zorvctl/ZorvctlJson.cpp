#include "tools/zorvctl/ZorvctlJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zorvctl {

std::string JsonString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

double RoundedToDecimals(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

double RoundedToSignificantDigits(double value, int digits) {
  if (!std::isfinite(value) || value == 0.0) return value;
  // Through the decimal text, whatever the process locale.
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits - 1);
  double rounded = value;
  std::from_chars(text, written.ptr, rounded);
  return rounded;
}

JsonObject& JsonObject::Member(std::string_view key, const std::string& value) {
  if (!members_.empty()) members_ += ",";
  members_ += JsonString(key) + ":" + value;
  return *this;
}

JsonObject& JsonObject::Integer(std::string_view key, int64_t value) {
  return Member(key, std::to_string(value));
}

JsonObject& JsonObject::Number(std::string_view key, double value) {
  if (!std::isfinite(value)) return Null(key);
  // The shortest text that reads back as the same number, whatever the process locale.
  char text[32];
  const auto done = std::to_chars(text, text + sizeof text, value);
  return Member(key, std::string(text, done.ptr));
}

JsonObject& JsonObject::Boolean(std::string_view key, bool value) {
  return Member(key, value ? "true" : "false");
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value) {
  return Member(key, JsonString(value));
}

JsonObject& JsonObject::Null(std::string_view key) {
  return Member(key, "null");
}

JsonObject& JsonObject::Bytes(std::string_view key, std::span<const uint8_t> values) {
  std::string list = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) list += ",";
    list += std::to_string(values[i]);
  }
  return Member(key, list + "]");
}

}  // namespace zorvctl
