#include "emulator/Scenario.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/files.h"
#include "platform/message_text.h"
#include "platform/profile.h"

namespace emulator {

namespace {

// A value the profile reader never returns (values hold no line feed): the key is absent.
const char kAbsent[] = "\n";

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const std::string other(b);
  return a.size() == other.size() &&
         std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool ParseInteger(const std::string& text, int64_t& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [last, error] = std::from_chars(begin, end, value);
  return error == std::errc() && last == end && begin != end;
}

// Hexadecimal with or without the 0x prefix.
bool ParseHex(const std::string& text, uint32_t max, uint32_t& value) {
  const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* begin = text.data() + (prefixed ? 2 : 0);
  const char* end = text.data() + text.size();
  uint64_t parsed = 0;
  const auto [last, error] = std::from_chars(begin, end, parsed, 16);
  if (error != std::errc() || last != end || begin == end || parsed > max) return false;
  value = static_cast<uint32_t>(parsed);
  return true;
}

bool ParseNumber(const std::string& text, double& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [last, error] = std::from_chars(begin, end, value);
  return error == std::errc() && last == end && begin != end && std::isfinite(value);
}

bool ParseYesNo(const std::string& text, bool& value) {
  if (EqualsIgnoringCase(text, "YES")) {
    value = true;
  } else if (EqualsIgnoringCase(text, "NO")) {
    value = false;
  } else {
    return false;
  }
  return true;
}

template <typename Enum, size_t N>
bool ParseChoice(const std::string& text, const std::pair<const char*, Enum> (&choices)[N],
                 Enum& value) {
  for (const auto& [name, choice] : choices) {
    if (EqualsIgnoringCase(text, name)) {
      value = choice;
      return true;
    }
  }
  return false;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseConfiguration(const std::string& text, std::array<uint8_t, 6>& bytes) {
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const size_t comma = text.find(',', start);
    const bool last = i + 1 == bytes.size();
    if (last != (comma == std::string::npos)) return false;
    uint32_t value = 0;
    if (!ParseHex(Trimmed(text.substr(start, comma - start)), 0xFF, value)) return false;
    bytes[i] = static_cast<uint8_t>(value);
    start = comma + 1;
  }
  return true;
}

bool ParseEepromWord(const std::string& text, CardScenario& card, size_t index) {
  uint32_t value = 0;
  if (!ParseHex(text, 0xFFFF, value)) return false;
  card.eeprom_abc[index] = static_cast<uint16_t>(value);
  return true;
}

constexpr double kScheduleStepMinSeconds = 0.001;
constexpr double kScheduleStepMaxSeconds = 1'000'000;

// "on 5" or "off 2.5".
bool ParseSignalStep(const std::string& item, SignalStep& step) {
  const size_t blank = item.find_first_of(" \t");
  if (blank == std::string::npos) return false;
  const std::string state = item.substr(0, blank);
  double seconds = 0;
  if (!ParseNumber(Trimmed(item.substr(blank)), seconds) || seconds < kScheduleStepMinSeconds ||
      seconds > kScheduleStepMaxSeconds) {
    return false;
  }
  if (!EqualsIgnoringCase(state, "on") && !EqualsIgnoringCase(state, "off")) return false;
  step.on = EqualsIgnoringCase(state, "on");
  step.nanoseconds = std::llround(seconds * 1e9);
  return true;
}

struct CardKey {
  const char* key;
  const char* expected;
  bool (*parse)(const std::string& text, CardScenario& card);
};

const CardKey kCardKeys[] = {
    {"Bridge", "9080 or 9056",
     [](const std::string& text, CardScenario& card) {
       static const std::pair<const char*, BridgeType> kChoices[] = {{"9080", BridgeType::k9080},
                                                                     {"9056", BridgeType::k9056}};
       return ParseChoice(text, kChoices, card.bridge);
     }},
    {"Subsystem", "a hexadecimal 32-bit value",
     [](const std::string& text, CardScenario& card) {
       return ParseHex(text, 0xFFFFFFFF, card.subsystem);
     }},
    {"EepromA", "a hexadecimal 16-bit word",
     [](const std::string& text, CardScenario& card) { return ParseEepromWord(text, card, 0); }},
    {"EepromB", "a hexadecimal 16-bit word",
     [](const std::string& text, CardScenario& card) { return ParseEepromWord(text, card, 1); }},
    {"EepromC", "a hexadecimal 16-bit word",
     [](const std::string& text, CardScenario& card) { return ParseEepromWord(text, card, 2); }},
    {"Usable", "YES, NO or SCANONLY",
     [](const std::string& text, CardScenario& card) {
       static const std::pair<const char*, Usable> kChoices[] = {
           {"YES", Usable::kYes}, {"NO", Usable::kNo}, {"SCANONLY", Usable::kScanOnly}};
       return ParseChoice(text, kChoices, card.usable);
     }},
    {"Module", "present, absent, stuckbusy, silent or hangsafterconfiguration",
     [](const std::string& text, CardScenario& card) {
       static const std::pair<const char*, ModuleState> kChoices[] = {
           {"present", ModuleState::kPresent},
           {"absent", ModuleState::kAbsent},
           {"stuckbusy", ModuleState::kStuckBusy},
           {"silent", ModuleState::kSilent},
           {"hangsafterconfiguration", ModuleState::kHangsAfterConfiguration}};
       return ParseChoice(text, kChoices, card.module);
     }},
    {"Readback", "YES or NO",
     [](const std::string& text, CardScenario& card) { return ParseYesNo(text, card.readback); }},
    {"Configuration", "six comma-separated hexadecimal bytes",
     [](const std::string& text, CardScenario& card) {
       return ParseConfiguration(text, card.configuration);
     }},
    {"SignalSource", "an input source 0 to 11, or -1",
     [](const std::string& text, CardScenario& card) {
       int64_t value = 0;
       if (!ParseInteger(text, value) || value < -1 || value > 11) return false;
       card.signal_source = static_cast<int>(value);
       return true;
     }},
    {"SignalBitRate", "a bit rate above 0",
     [](const std::string& text, CardScenario& card) {
       return ParseNumber(text, card.signal_bit_rate) && card.signal_bit_rate > 0;
     }},
    {"SignalEsNo", "a number of dB",
     [](const std::string& text, CardScenario& card) {
       return ParseNumber(text, card.signal_es_no);
     }},
    {"SignalVoltage", "a number of volts, 0 or more",
     [](const std::string& text, CardScenario& card) {
       return ParseNumber(text, card.signal_voltage) && card.signal_voltage >= 0;
     }},
    {"SignalBer", "a probability 0 to 1",
     [](const std::string& text, CardScenario& card) {
       return ParseNumber(text, card.signal_ber) && card.signal_ber >= 0 && card.signal_ber <= 1;
     }},
    {"SignalSchedule", "steps such as on 5, off 2 (on or off, seconds 0.001 to 1000000)",
     [](const std::string& text, CardScenario& card) {
       return ParseSignalSchedule(text, card.signal_schedule);
     }},
    {"IrigSignal", "YES or NO",
     [](const std::string& text, CardScenario& card) {
       return ParseYesNo(text, card.irig_signal);
     }},
};

// The card index of a "[CardN]" section name in any letter case.
std::optional<int64_t> CardSectionIndex(const std::string& section) {
  constexpr std::string_view kPrefix = "Card";
  int64_t index = 0;
  if (section.size() <= kPrefix.size() ||
      !EqualsIgnoringCase(section.substr(0, kPrefix.size()), "Card") ||
      !std::isdigit(static_cast<unsigned char>(section[kPrefix.size()])) ||
      !ParseInteger(section.substr(kPrefix.size()), index)) {
    return std::nullopt;
  }
  return index;
}

bool IsCardKey(const std::string& key) {
  return std::any_of(std::begin(kCardKeys), std::end(kCardKeys),
                     [&](const CardKey& known) { return EqualsIgnoringCase(key, known.key); });
}

std::optional<Scenario> ParseScenarioFile(const std::string& path,
                                          std::vector<std::string>& problems) {
  // A problem quotes the path and the file's names and values, which may hold control
  // characters (a CR stays in a value); it must stay one line.
  const auto report = [&](const std::string& problem) {
    problems.push_back(platform::ControlCharactersEscaped(path + ": " + problem));
  };
  if (!platform::FileAttributes(path) || platform::IsDirectory(path)) {
    report("the scenario file cannot be read");
    return std::nullopt;
  }
  bool well_formed = true;
  const auto read = [&](const std::string& section, const char* key,
                        std::optional<std::string>& value) {
    const std::string text = platform::ReadProfileString(path, section, key, kAbsent);
    value.reset();
    if (text != kAbsent) value = text;
  };
  const auto refuse = [&](const std::string& problem) {
    report(problem);
    well_formed = false;
  };
  const auto malformed = [&](const std::string& section, const std::string& key,
                             const std::string& value, const char* expected) {
    refuse("[" + section + "] " + key + "=" + value + ": expected " + expected);
  };

  std::optional<std::string> cards_text;
  read("Bus", "Cards", cards_text);
  int64_t card_count = 0;
  if (!cards_text) {
    report("[Bus] Cards: missing");
    return std::nullopt;
  }
  if (!ParseInteger(*cards_text, card_count) || card_count < 0 || card_count > kMaxEmulatedCards) {
    malformed("Bus", "Cards", *cards_text, "a card count 0 to 16");
    return std::nullopt;
  }

  // A misspelt name would otherwise leave its card at the defaults without a word.
  for (const std::string& section : platform::ReadProfileSectionNames(path)) {
    const bool bus = EqualsIgnoringCase(section, "Bus");
    const std::optional<int64_t> card = CardSectionIndex(section);
    if (!bus && !card) {
      refuse("[" + section + "]: not a section of a scenario ([Bus], [Card0] ...)");
      continue;
    }
    if (card && *card >= card_count) {
      refuse("[" + section + "]: beyond Cards=" + std::to_string(card_count));
      continue;
    }
    for (const platform::ProfileEntry& entry : platform::ReadProfileSection(path, section)) {
      if (bus ? !EqualsIgnoringCase(entry.key, "Cards") : !IsCardKey(entry.key)) {
        refuse("[" + section + "] " + entry.key + "=" + entry.value + ": no such key");
      }
    }
  }

  Scenario scenario;
  scenario.cards.resize(static_cast<size_t>(card_count));
  for (size_t i = 0; i < scenario.cards.size(); ++i) {
    const std::string section = "Card" + std::to_string(i);
    for (const CardKey& key : kCardKeys) {
      std::optional<std::string> value;
      read(section, key.key, value);
      if (value && !key.parse(*value, scenario.cards[i])) {
        malformed(section, key.key, *value, key.expected);
      }
    }
  }
  if (!well_formed) return std::nullopt;
  return scenario;
}

}  // namespace

bool ParseSignalSchedule(const std::string& text, SignalSchedule& schedule) {
  SignalSchedule parsed;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    SignalStep step;
    if (!ParseSignalStep(Trimmed(text.substr(start, comma - start)), step)) return false;
    parsed.steps.push_back(step);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  schedule = std::move(parsed);
  return true;
}

namespace {

int64_t CycleNanoseconds(const std::vector<SignalStep>& steps) {
  int64_t cycle = 0;
  for (const SignalStep& step : steps) cycle += step.nanoseconds;
  return cycle;
}

// The step that `now` falls in, and when that step ends.
std::pair<size_t, int64_t> StepAt(const std::vector<SignalStep>& steps, int64_t now) {
  const int64_t cycle = CycleNanoseconds(steps);
  const int64_t into = (now % cycle + cycle) % cycle;
  int64_t end = now - into;
  for (size_t i = 0;; ++i) {
    end += steps[i].nanoseconds;
    if (end > now) return {i, end};
  }
}

}  // namespace

bool SignalSchedule::On(int64_t now) const {
  return steps.empty() || steps[StepAt(steps, now).first].on;
}

int64_t SignalSchedule::NextChange(int64_t now) const {
  const bool changes = std::any_of(steps.begin(), steps.end(),
                                   [&](const SignalStep& step) { return step.on != steps[0].on; });
  if (!changes) return std::numeric_limits<int64_t>::max();
  auto [i, end] = StepAt(steps, now);
  // Steps of the same state run on into each other, across the end of the cycle too.
  for (size_t next = (i + 1) % steps.size(); steps[next].on == steps[i].on;
       next = (next + 1) % steps.size()) {
    end += steps[next].nanoseconds;
  }
  return end;
}

std::optional<Scenario> ParseScenario(const std::string& emulate_value,
                                      std::vector<std::string>& problems) {
  int64_t count = 0;
  if (ParseInteger(emulate_value, count)) {
    if (count < 0 || count > kMaxEmulatedCards) {
      problems.push_back(emulate_value + ": a card count must be 0 to 16");
      return std::nullopt;
    }
    Scenario scenario;
    scenario.cards.resize(static_cast<size_t>(count));
    return scenario;
  }
  if (emulate_value.empty()) {
    problems.push_back("(empty): neither a card count nor a scenario file");
    return std::nullopt;
  }
  return ParseScenarioFile(emulate_value, problems);
}

}  // namespace emulator
