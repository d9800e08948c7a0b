#pragma once
// A strict reader of one JSON text, so that tests can check that zorvctl's output is JSON and
// read its values back.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
  enum class Kind { kNull, kBoolean, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool IsNull() const { return kind == Kind::kNull; }
  // The member; a test failure (and a null) when there is none.
  const JsonValue& operator[](const std::string& key) const;
};

// The value when the whole text is exactly one JSON value.
std::optional<JsonValue> ReadJson(std::string_view text);

// One value per non-empty line; nothing when any line is not JSON.
std::optional<std::vector<JsonValue>> ReadJsonLines(std::string_view text);
