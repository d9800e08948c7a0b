#include "emulator/CardStateFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "emulator/VirtualPciBus.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace emulator {
namespace {

// A value the profile reader never returns (values hold no line feed): the key is absent.
const char kAbsent[] = "\n";
constexpr size_t kLongestSetup = 64;
constexpr int64_t kMicrosecondsPerDay = 86'400'000'000;
// The PC's local time of year: day 1 to 366.
constexpr int64_t kLongestTimeOfYear = 367 * kMicrosecondsPerDay;
// An IRIG counter runs on past the end of its year while the card stays powered, but not for a
// century; a larger one is damage, and would overflow the time arithmetic of the reader.
constexpr int64_t kLongestIrigCounter = 36'525 * kMicrosecondsPerDay;

std::string HexBytes(const uint8_t* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

// Bytes as HexBytes writes them; nothing when the text is not such a list.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t at = 0; at < text.size();) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    uint8_t byte = 0;
    const auto [end, error] =
        std::from_chars(text.data() + at, text.data() + text.size(), byte, 16);
    if (error != std::errc()) return std::nullopt;
    bytes.push_back(byte);
    at = static_cast<size_t>(end - text.data());
  }
  return bytes;
}

std::optional<int64_t> ParseNumber(const std::string& text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// FNV-1a: the same digest for the same path in every run and build.
std::string PathDigest(const std::string& path) {
  uint64_t digest = 14695981039346656037ull;
  for (const unsigned char c : path) {
    digest ^= c;
    digest *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
  return text;
}

std::string StateFileName(const std::string& emulate_value) {
  const bool count =
      !emulate_value.empty() && std::all_of(emulate_value.begin(), emulate_value.end(),
                                            [](unsigned char c) { return std::isdigit(c) != 0; });
  if (count) return "zorv-emulated-" + emulate_value + ".state";
  const std::filesystem::path scenario =
      std::filesystem::absolute(platform::NativePath(emulate_value)).lexically_normal();
  std::string name = scenario.filename().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  }
  return "zorv-emulated-" + name + "-" + PathDigest(scenario.string()) + ".state";
}

class StateReader {
 public:
  StateReader(const std::string& path, std::string section)
      : path_(path), section_(std::move(section)) {}

  std::optional<std::string> Text(const char* key) const {
    const std::string text = platform::ReadProfileString(path_, section_, key, kAbsent);
    if (text == kAbsent) return std::nullopt;
    return text;
  }
  std::optional<int64_t> Number(const char* key) const {
    const auto text = Text(key);
    return text ? ParseNumber(*text) : std::nullopt;
  }
  std::optional<bool> Flag(const char* key) const {
    const auto text = Text(key);
    if (!text || (*text != "YES" && *text != "NO")) return std::nullopt;
    return *text == "YES";
  }
  std::optional<std::vector<uint8_t>> Bytes(const char* key) const {
    const auto text = Text(key);
    return text ? ParseHexBytes(*text) : std::nullopt;
  }

 private:
  const std::string& path_;
  std::string section_;
};

std::optional<BitsyncKeptState> ReadBitsyncState(const StateReader& card) {
  const auto control = card.Number("BitsyncControl");
  const auto setup = card.Bytes("BitsyncSetup");
  const auto quick_react = card.Flag("QuickReact");
  const auto fsp = card.Bytes("Fsp");
  // Only a whole setup is taken, as the host sent it.
  const bool whole_setup =
      setup && (setup->empty() || (setup->size() <= kLongestSetup && setup->front() == 0x00 &&
                                   setup->back() == 0x0A));
  if (!control || *control < 0 || *control > 0xFF || !whole_setup || !quick_react || !fsp ||
      (!fsp->empty() && fsp->size() != 12)) {
    return std::nullopt;
  }
  BitsyncKeptState kept{static_cast<uint8_t>(*control), *setup, *quick_react, std::nullopt};
  if (!fsp->empty()) {
    kept.fsp_parameters.emplace();
    std::copy(fsp->begin(), fsp->end(), kept.fsp_parameters->begin());
  }
  return kept;
}

std::optional<IrigKeptState> ReadIrigState(const StateReader& card) {
  const auto control = card.Number("IrigControl");
  const auto decoded = card.Flag("IrigDecoded");
  const auto counter = card.Number("IrigCounter");
  const auto pc_time = card.Number("PcTime");
  if (!control || *control < 0 || *control > 0x07 || !decoded || !counter || *counter < 0 ||
      *counter > kLongestIrigCounter || !pc_time || *pc_time < 0 ||
      *pc_time >= kLongestTimeOfYear) {
    return std::nullopt;
  }
  return IrigKeptState{static_cast<uint8_t>(*control), *decoded, *counter, *pc_time};
}

}  // namespace

bool EmulatedCardsStartFresh() {
  return platform::EnvironmentVariable(kFreshVariable).value_or("") == "1";
}

std::string CardStateFilePath(const std::string& emulate_value) {
  const std::string folder = platform::UserRuntimeDirectory();
  if (folder.empty()) return "";
  return folder + platform::PathSeparator() + StateFileName(emulate_value);
}

void RestoreCardStates(VirtualPciBus& bus, const std::string& path) {
  for (size_t i = 0; i < bus.CardCount(); ++i) {
    const StateReader card(path, "Card" + std::to_string(i));
    if (const auto bitsync = ReadBitsyncState(card)) bus.Card(i).bitsync().Restore(*bitsync);
    if (const auto irig = ReadIrigState(card)) bus.Card(i).irig().Restore(*irig);
  }
}

bool KeepCardStates(VirtualPciBus& bus, const std::string& path) {
  // Start empty, so that no card of an earlier bus survives.
  platform::WriteFile file;
  if (!file.Create(path)) return false;
  file.Close();
  bool written = true;
  const auto write = [&](const std::string& section, const char* key, const std::string& value) {
    written = written && platform::WriteProfileString(path, section, key, value);
  };
  for (size_t i = 0; i < bus.CardCount(); ++i) {
    const std::string section = "Card" + std::to_string(i);
    const BitsyncKeptState bitsync = bus.Card(i).bitsync().Kept();
    write(section, "BitsyncControl", std::to_string(bitsync.control));
    write(section, "BitsyncSetup", HexBytes(bitsync.setup.data(), bitsync.setup.size()));
    write(section, "QuickReact", bitsync.quick_react_mode ? "YES" : "NO");
    write(section, "Fsp",
          bitsync.fsp_parameters ? HexBytes(bitsync.fsp_parameters->data(), 12) : std::string());
    const IrigKeptState irig = bus.Card(i).irig().Kept();
    write(section, "IrigControl", std::to_string(irig.control));
    write(section, "IrigDecoded", irig.decoded ? "YES" : "NO");
    write(section, "IrigCounter", std::to_string(irig.counter_microseconds));
    write(section, "PcTime", std::to_string(irig.pc_microseconds));
  }
  return written;
}

}  // namespace emulator
