#pragma once
// One JSON object on one line, built member by member, for scripts that read zorvctl's output.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zorvctl {

class JsonObject {
 public:
  JsonObject& Integer(std::string_view key, int64_t value);
  // A value that is not finite has no JSON form and is written as null.
  JsonObject& Number(std::string_view key, double value);
  JsonObject& Boolean(std::string_view key, bool value);
  JsonObject& Text(std::string_view key, std::string_view value);
  JsonObject& Null(std::string_view key);
  JsonObject& Bytes(std::string_view key, std::span<const uint8_t> values);

  // The object, without a line end.
  std::string str() const { return "{" + members_ + "}"; }

 private:
  JsonObject& Member(std::string_view key, const std::string& value);

  std::string members_;
};

// A text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

// A measurement at the digits it means, so that JSON does not pretend to more: rounded to
// `decimals` places after the point, or to `digits` significant digits. A value that is not
// finite stays as it is.
double RoundedToDecimals(double value, int decimals);
double RoundedToSignificantDigits(double value, int digits);

}  // namespace zorvctl
