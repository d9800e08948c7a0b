#include "tests/tools/JsonReader.h"

#include <gtest/gtest.h>

#include <charconv>

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document() {
    auto value = Value();
    SkipBlanks();
    if (!value || at_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }

  bool Take(char c) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  bool TakeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  std::optional<JsonValue> Value() {
    SkipBlanks();
    if (at_ >= text_.size()) return std::nullopt;
    JsonValue value;
    const char c = text_[at_];
    if (c == '{') return Object();
    if (c == '[') return Array();
    if (c == '"') {
      value.kind = JsonValue::Kind::kString;
      if (!String(value.text)) return std::nullopt;
      return value;
    }
    if (TakeWord("null")) return value;
    for (const bool word : {true, false}) {
      if (TakeWord(word ? "true" : "false")) {
        value.kind = JsonValue::Kind::kBoolean;
        value.boolean = word;
        return value;
      }
    }
    return Number();
  }

  std::optional<JsonValue> Number() {
    // JSON's grammar: no leading plus, no leading zeros, digits on both sides of a point.
    const size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else if (!Digits()) {
      return std::nullopt;
    }
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (!Digits()) return std::nullopt;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!Digits()) return std::nullopt;
    }
    JsonValue value;
    value.kind = JsonValue::Kind::kNumber;
    const auto [end, error] =
        std::from_chars(text_.data() + start, text_.data() + at_, value.number);
    if (error != std::errc() || end != text_.data() + at_) return std::nullopt;
    return value;
  }

  bool Digits() {
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char escaped = text_[at_++];
      switch (escaped) {
        case '"':
        case '\\':
        case '/':
          out += escaped;
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          unsigned code = 0;
          if (at_ + 4 > text_.size()) return false;
          const auto [end, error] =
              std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
          if (error != std::errc() || end != text_.data() + at_ + 4 || code > 0x7F) return false;
          out += static_cast<char>(code);
          at_ += 4;
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  std::optional<JsonValue> Array() {
    JsonValue value;
    value.kind = JsonValue::Kind::kArray;
    Take('[');
    if (Take(']')) return value;
    do {
      auto item = Value();
      if (!item) return std::nullopt;
      value.items.push_back(*item);
    } while (Take(','));
    if (!Take(']')) return std::nullopt;
    return value;
  }

  std::optional<JsonValue> Object() {
    JsonValue value;
    value.kind = JsonValue::Kind::kObject;
    Take('{');
    if (Take('}')) return value;
    do {
      SkipBlanks();
      std::string key;
      if (!String(key) || !Take(':')) return std::nullopt;
      auto member = Value();
      if (!member || value.members.count(key) != 0) return std::nullopt;
      value.members.emplace(key, *member);
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return value;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue null;
  const auto found = members.find(key);
  if (found == members.end()) {
    ADD_FAILURE() << "no member " << key;
    return null;
  }
  return found->second;
}

std::optional<JsonValue> ReadJson(std::string_view text) {
  return Reader(text).Document();
}

std::optional<std::vector<JsonValue>> ReadJsonLines(std::string_view text) {
  std::vector<JsonValue> values;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    auto value = ReadJson(line);
    if (!value) return std::nullopt;
    values.push_back(*value);
  }
  return values;
}
