#include "app/ZorvSetupFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "app/BitsyncLimits.h"
#include "dll/keltnametables.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorGenUnit.h"
#include "support/keserrorlog.h"

namespace {

using NameTable = std::span<const char* const>;

constexpr const char* kCommonSection = "CommonArea";
constexpr const char* kLastSetupFileKey = "LastSetupFile";
constexpr const char* kBitsyncPrefix = "BITSYNC_";
constexpr const char* kIrigPrefix = "IRIG_";
// Section names carry the card index as one digit.
constexpr size_t kSectionCardIndices = 10;
// The profile reader reads nothing of a larger file.
constexpr uint64_t kLargestSetupFile = 64u << 20;
constexpr int32_t kReplacedValueLogCode = 1;

// How a file's names find their table rows: exactly as the table spells them (the operator
// program's Recall), or in any letter case and, where the table has one, also in the plain form
// the panels and zorvctl show.
enum class NameMatching { kExact, kTolerant };

std::string Section(const char* prefix, size_t card) {
  return prefix + std::to_string(card);
}

// The row's name; no text for a number without a row, which reads back as row 0.
std::string NameOf(NameTable table, int32_t row) {
  if (row < 0 || static_cast<size_t>(row) >= table.size()) return "";
  return table[static_cast<size_t>(row)];
}

bool SameName(std::string_view a, std::string_view b, NameMatching matching) {
  if (matching == NameMatching::kExact) return a == b;
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::optional<int32_t> RowOf(NameTable table, const std::string& text, NameMatching matching) {
  const auto found = std::find_if(table.begin(), table.end(),
                                  [&](const char* name) { return SameName(name, text, matching); });
  if (found == table.end()) return std::nullopt;
  return static_cast<int32_t>(found - table.begin());
}

// A name key's table, what its names are called in a problem's text, and the plain form of its
// names where the panels show another one.
struct NameList {
  NameTable names;
  std::string noun;
  NameTable plain_names = {};
};

bool IsNormalModel(int32_t model) {
  return model == 0 || model == 1 || model == 4 || model == 5;
}
bool IsAlternateModel(int32_t model) {
  return model == 2 || model == 3;
}

// Codes without a name are written as IRIG B.
std::string IrigCodeText(int32_t code) {
  const std::string name = NameOf(kIrigCodeNames, code);
  return name.empty() ? kIrigCodeNames[0] : name;
}

// Collects the result of a series of writes: false once any was refused.
class FileWriter {
 public:
  explicit FileWriter(const std::string& path) : path_(path) {}

  void Text(const std::string& section, const std::string& key, const std::string& value) {
    ok_ = WriteSettingText(path_, section, key, value) && ok_;
  }
  void Flag(const std::string& section, const char* key, uint8_t value) {
    ok_ = WriteSettingBool(path_, section, key, value != 0) && ok_;
  }
  void Commit() { ok_ = CommitSettings(path_) && ok_; }
  bool ok() const { return ok_; }

 private:
  const std::string& path_;
  bool ok_ = true;
};

void WriteBitsyncSection(FileWriter& file, const std::string& section, const CardData& card) {
  const BitsyncSetup& setup = card.bitsync_setup;
  file.Text(section, "Model", NameOf(kModelNames, setup.Model));
  file.Text(section, "InputSource", NameOf(kInputSourceNames, setup.InputSource));
  file.Text(section, "InputCode", NameOf(kInputCodeNames, setup.InputCode));
  file.Text(section, "OutputCode", NameOf(kOutputCodeNames, setup.OutputCode));
  if (const auto loop_bandwidth = LoopBandwidthText(setup)) {
    file.Text(section, "LoopBandwidth", *loop_bandwidth);
  }
  file.Text(section, "BitRate", std::to_string(setup.BitRate));
  file.Flag(section, "BitDecisionDetector", setup.BitDecisionDetector);
  file.Flag(section, "StartupAutoTestEnabled", setup.StartupAutoTestEnabled);
  file.Flag(section, "Pattern15Bit", setup.Pattern15Bit);
  file.Flag(section, "NrzlDcOutputDisabledAtSymbolUnlock",
            setup.NrzlDcOutputDisabledAtSymbolUnlock);
  file.Flag(section, "NrzlDcOutputDisabledAtEsNo5Db", setup.NrzlDcOutputDisabledAtEsNo5Db);
  file.Flag(section, "PcmEncoderOutputDisabledAtSymbolUnlock",
            setup.PcmEncoderOutputDisabledAtSymbolUnlock);
  file.Flag(section, "PcmEncoderOutputDisabledAtEsNo5Db", setup.PcmEncoderOutputDisabledAtEsNo5Db);
  file.Flag(section, "BerTestingEnabled", setup.BerTestingEnabled);
  file.Flag(section, "ExtBerMode", setup.ExtBerMode);
  file.Flag(section, "KnownErrorMode", setup.KnownErrorMode);
  file.Flag(section, "QuickReactMode", setup.QuickReactMode);
  file.Flag(section, "Do90DegClkOut", setup.Do90DegClkOut);
  file.Commit();
  // The card's own quick react byte is what the card is programmed with; it replaces the
  // record's in place.
  file.Flag(section, "QuickReactMode", card.quick_react_mode);
}

void WriteIrigSection(FileWriter& file, const std::string& section, const IrigSetup& setup) {
  file.Text(section, "SourceFormat", IrigCodeText(setup.SourceFormat));
  file.Flag(section, "SourceExternal", setup.SourceExternal);
  file.Flag(section, "FlywheelEnabled", setup.FlywheelEnabled);
  file.Text(section, "GeneratorFormat", IrigCodeText(setup.GeneratorFormat));
}

// A section of a card index the program does not hold, as an old file has it.
struct KeptSection {
  std::string name;
  std::vector<platform::ProfileEntry> entries;
};

std::vector<KeptSection> SectionsBeyond(const std::string& path, const char* prefix,
                                        size_t card_count) {
  std::vector<KeptSection> kept;
  for (size_t n = card_count; n < kSectionCardIndices; ++n) {
    KeptSection section{Section(prefix, n), platform::ReadProfileSection(path, Section(prefix, n))};
    if (!section.entries.empty()) kept.push_back(std::move(section));
  }
  return kept;
}

void WriteKeptSections(FileWriter& file, const std::vector<KeptSection>& sections) {
  for (const KeptSection& section : sections) {
    for (const platform::ProfileEntry& entry : section.entries) {
      file.Text(section.name, entry.key, entry.value);
    }
  }
}

// Reads one section's keys into a card's fields as the program takes them. Notes each key it
// asks for, and each value it does not take as written with what it took instead.
class SectionReader {
 public:
  // A value taken otherwise than written: "[BITSYNC_0] InputCode=FOO: not an input code" and
  // "read as NRZL".
  struct Replaced {
    std::string problem;
    std::string taken;
  };

  SectionReader(const std::string& path, std::string section, NameMatching matching)
      : path_(path), section_(std::move(section)), matching_(matching) {}

  const std::string& Name() const { return section_; }
  NameMatching Matching() const { return matching_; }
  const std::vector<std::string>& AskedKeys() const { return asked_; }
  const std::vector<Replaced>& Replacements() const { return replaced_; }

  std::optional<std::string> Text(const char* key) {
    asked_.emplace_back(key);
    std::string value;
    if (!ReadSettingText(path_, section_, key, value)) return std::nullopt;
    return value;
  }

  // A name without a row gives row 0.
  void NameKey(const char* key, const NameList& list, int32_t& field) {
    const auto text = Text(key);
    if (!text) return;
    std::optional<int32_t> row = RowOf(list.names, *text, matching_);
    if (!row && matching_ == NameMatching::kTolerant)
      row = RowOf(list.plain_names, *text, matching_);
    field = row.value_or(0);
    if (!row) Replace(key, *text, "not " + list.noun, "read as " + NameOf(list.names, 0));
  }

  // "YES" is on, anything else off. False when the key is missing.
  bool Flag(const char* key, uint8_t& field) {
    const auto text = Text(key);
    if (!text) return false;
    field = *text == "YES" ? 1 : 0;
    if (*text != "YES" && *text != "NO") Replace(key, *text, "neither YES nor NO", "read as NO");
    return true;
  }

  void Replace(const char* key, const std::string& value, const std::string& reason,
               const std::string& taken) {
    replaced_.push_back({"[" + section_ + "] " + key + "=" + value + ": " + reason, taken});
  }

 private:
  const std::string& path_;
  std::string section_;
  NameMatching matching_;
  std::vector<std::string> asked_;
  std::vector<Replaced> replaced_;
};

std::string ModelAndCodeText(const BitsyncSetup& setup) {
  return NameOf(kModelNames, setup.Model) + " with " + NameOf(kInputCodeNames, setup.InputCode);
}

void ReadLoopBandwidth(SectionReader& section, BitsyncSetup& setup) {
  const auto text = section.Text("LoopBandwidth");
  if (!text) return;
  if (IsNormalModel(setup.Model) && (*text == "8" || *text == "-1")) {
    setup.LoopBandwidth = *text == "8" ? 8 : -1;
    return;
  }
  if (!IsNormalModel(setup.Model) && !IsAlternateModel(setup.Model)) return;
  const NameTable table = IsAlternateModel(setup.Model) ? NameTable(kLoopBandwidth17Names)
                                                        : NameTable(kLoopBandwidthNames);
  const std::optional<int32_t> row = RowOf(table, *text, section.Matching());
  setup.LoopBandwidth = row.value_or(0);
  if (!row) {
    section.Replace("LoopBandwidth", *text,
                    "not a loop bandwidth of " + NameOf(kModelNames, setup.Model),
                    "read as " + NameOf(table, 0));
  }
}

// A bit rate the operator could not have set for the model and input code just read (the
// module cannot run it) is not taken.
void ReadBitRate(SectionReader& section, BitsyncSetup& setup) {
  const auto text = section.Text("BitRate");
  if (!text) return;
  const std::string kept = "kept " + std::to_string(setup.BitRate);
  int32_t value = 0;
  if (text->empty() || !ParseIntWhole(*text, value, 10)) {
    section.Replace("BitRate", *text, "not a whole number of bits per second", kept);
    return;
  }
  const uint32_t maximum = MaximumBitRate(setup.Model, setup.InputCode);
  if (value < static_cast<int32_t>(kMinimumBitRate) || static_cast<uint32_t>(value) > maximum) {
    section.Replace("BitRate", *text,
                    "outside " + std::to_string(kMinimumBitRate) + " to " +
                        std::to_string(maximum) + " bit/s for " + ModelAndCodeText(setup),
                    kept);
    return;
  }
  setup.BitRate = static_cast<uint32_t>(value);
}

void ReadBitsyncSection(SectionReader& section, CardData& card) {
  BitsyncSetup& setup = card.bitsync_setup;
  section.NameKey("Model", {kModelNames, "a model"}, setup.Model);
  section.NameKey("InputSource",
                  {kInputSourceNames, "an input source", NameTable(kInputSourcePlainNames)},
                  setup.InputSource);
  section.NameKey("InputCode", {kInputCodeNames, "an input code"}, setup.InputCode);
  section.NameKey("OutputCode", {kOutputCodeNames, "an output code"}, setup.OutputCode);
  ReadLoopBandwidth(section, setup);
  ReadBitRate(section, setup);
  section.Flag("BitDecisionDetector", setup.BitDecisionDetector);
  section.Flag("StartupAutoTestEnabled", setup.StartupAutoTestEnabled);
  section.Flag("Pattern15Bit", setup.Pattern15Bit);
  section.Flag("NrzlDcOutputDisabledAtSymbolUnlock", setup.NrzlDcOutputDisabledAtSymbolUnlock);
  section.Flag("NrzlDcOutputDisabledAtEsNo5Db", setup.NrzlDcOutputDisabledAtEsNo5Db);
  section.Flag("PcmEncoderOutputDisabledAtSymbolUnlock",
               setup.PcmEncoderOutputDisabledAtSymbolUnlock);
  section.Flag("PcmEncoderOutputDisabledAtEsNo5Db", setup.PcmEncoderOutputDisabledAtEsNo5Db);
  // Checked like every flag, then ignored: no bit error test runs because a file said so.
  section.Flag("BerTestingEnabled", setup.BerTestingEnabled);
  setup.BerTestingEnabled = 0;
  section.Flag("ExtBerMode", setup.ExtBerMode);
  section.Flag("KnownErrorMode", setup.KnownErrorMode);
  if (section.Flag("QuickReactMode", setup.QuickReactMode)) {
    card.quick_react_mode = setup.QuickReactMode;
  }
  section.Flag("Do90DegClkOut", setup.Do90DegClkOut);
}

void ReadIrigSection(SectionReader& section, IrigSetup& setup) {
  const NameList codes{kIrigCodeNames, "an IRIG code"};
  section.NameKey("SourceFormat", codes, setup.SourceFormat);
  section.Flag("SourceExternal", setup.SourceExternal);
  section.Flag("FlywheelEnabled", setup.FlywheelEnabled);
  section.NameKey("GeneratorFormat", codes, setup.GeneratorFormat);
}

void LogReplacements(const std::string& path, const SectionReader& section) {
  for (const SectionReader::Replaced& replaced : section.Replacements()) {
    LogInfo(path + " " + replaced.problem + "; " + replaced.taken, kReplacedValueLogCode, false);
  }
}

bool ReadSetupFileMatching(const std::string& path, const std::string& configuration_path,
                           std::string& last_setup_file, std::span<CardData> cards,
                           NameMatching matching) {
  if (!FileExistsAtPath(path)) return false;
  if (path == configuration_path) {
    std::string last;
    if (ReadSettingText(path, kCommonSection, kLastSetupFileKey, last) && FileExistsAtPath(last)) {
      last_setup_file = last;
    }
  }
  for (size_t n = 0; n < cards.size(); ++n) {
    SectionReader section(path, Section(kBitsyncPrefix, n), matching);
    ReadBitsyncSection(section, cards[n]);
    LogReplacements(path, section);
  }
  for (size_t n = 0; n < cards.size(); ++n) {
    SectionReader section(path, Section(kIrigPrefix, n), matching);
    ReadIrigSection(section, cards[n].irig_setup);
    LogReplacements(path, section);
  }
  return true;
}

// What makes the whole file unfit to be read as a setup file; nothing when it is a text file
// the profile reader takes line by line.
std::vector<std::string> WholeFileProblems(const std::string& path) {
  const std::optional<uint64_t> size = platform::RegularFileSize(path);
  if (!size) {
    return {platform::IsDirectory(path) ? "is a folder, not a setup file" : "is not a file"};
  }
  if (*size > kLargestSetupFile) return {"is larger than 64 MiB: not a setup file"};
  std::ifstream in(platform::NativePath(path), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return {"cannot be read"};
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    return {"is UTF-16 text; setup files are 8-bit text"};
  }
  std::vector<std::string> problems;
  const auto is_control = [](unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
  };
  if (std::any_of(bytes.begin(), bytes.end(), is_control)) {
    problems.push_back("holds control bytes: not a text file");
  }
  for (size_t at = bytes.find('\r'); at != std::string::npos; at = bytes.find('\r', at + 1)) {
    if (at + 1 < bytes.size() && bytes[at + 1] != '\n') {
      problems.push_back("has line ends of CR alone, which read as one line");
      break;
    }
  }
  return problems;
}

// The card index of a "BITSYNC_n" or "IRIG_n" section name in any letter case.
std::optional<size_t> CardIndexOf(const std::string& section, const char* prefix) {
  const std::string_view name(section);
  const std::string_view wanted(prefix);
  if (name.size() != wanted.size() + 1 ||
      !SameName(name.substr(0, wanted.size()), wanted, NameMatching::kTolerant) ||
      !std::isdigit(static_cast<unsigned char>(name.back()))) {
    return std::nullopt;
  }
  return static_cast<size_t>(name.back() - '0');
}

// The section's keys that no value of it is read from.
void AddUnknownKeys(const std::string& path, const SectionReader& section,
                    std::vector<std::string>& problems) {
  for (const platform::ProfileEntry& entry : platform::ReadProfileSection(path, section.Name())) {
    const auto& asked = section.AskedKeys();
    if (std::none_of(asked.begin(), asked.end(), [&](const std::string& key) {
          return SameName(key, entry.key, NameMatching::kTolerant);
        })) {
      problems.push_back("[" + section.Name() + "] " + entry.key + "=" + entry.value +
                         ": no such key");
    }
  }
}

void AddReplacements(const SectionReader& section, std::vector<std::string>& problems) {
  for (const SectionReader::Replaced& replaced : section.Replacements()) {
    problems.push_back(replaced.problem);
  }
}

}  // namespace

std::optional<std::string> LoopBandwidthText(const BitsyncSetup& setup) {
  if (IsAlternateModel(setup.Model)) return NameOf(kLoopBandwidth17Names, setup.LoopBandwidth);
  if (!IsNormalModel(setup.Model)) return std::nullopt;
  if (setup.LoopBandwidth == 8) return "8";
  if (setup.LoopBandwidth < 0 || setup.LoopBandwidth >= static_cast<int32_t>(kLoopBandwidthCount))
    return "-1";
  return NameOf(kLoopBandwidthNames, setup.LoopBandwidth);
}

std::string ConfigurationFilePath() {
  return std::string(StartDirectory) + platform::PathSeparator() + "ZORVCFG.CFG";
}

std::string SetupFilePathAsKept(const std::string& chosen) {
  if (platform::FileNamesAreCaseSensitive()) return chosen;
  std::string kept = chosen;
  std::transform(kept.begin(), kept.end(), kept.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return kept;
}

bool IsSetupFilePlace(const std::string& path) {
  return !FileExistsAtPath(path) || platform::RegularFileSize(path).has_value();
}

bool WriteSetupFile(const std::string& path, const std::string& configuration_path,
                    const std::string& last_setup_file, std::span<const CardData> cards) {
  // Removing a folder's path would remove an empty folder, and a backup of it is an empty file.
  if (!IsSetupFilePlace(path)) return false;
  const std::vector<KeptSection> kept_bitsync = SectionsBeyond(path, kBitsyncPrefix, cards.size());
  const std::vector<KeptSection> kept_irig = SectionsBeyond(path, kIrigPrefix, cards.size());
  BackupFile(path);
  // Deleting is allowed where the folder is writable even if the file is not; a protected file
  // must refuse the writes instead.
  if (!IsFileWriteProtected(path)) std::remove(platform::NativePath(path).c_str());
  FileWriter file(path);
  if (path == configuration_path) file.Text(kCommonSection, kLastSetupFileKey, last_setup_file);
  for (size_t n = 0; n < cards.size(); ++n) {
    WriteBitsyncSection(file, Section(kBitsyncPrefix, n), cards[n]);
  }
  WriteKeptSections(file, kept_bitsync);
  for (size_t n = 0; n < cards.size(); ++n) {
    WriteIrigSection(file, Section(kIrigPrefix, n), cards[n].irig_setup);
  }
  WriteKeptSections(file, kept_irig);
  return file.ok();
}

bool ReadSetupFile(const std::string& path, const std::string& configuration_path,
                   std::string& last_setup_file, std::span<CardData> cards) {
  return ReadSetupFileMatching(path, configuration_path, last_setup_file, cards,
                               NameMatching::kExact);
}

bool ReadCheckedSetupFile(const std::string& path, const std::string& configuration_path,
                          std::string& last_setup_file, std::span<CardData> cards) {
  return ReadSetupFileMatching(path, configuration_path, last_setup_file, cards,
                               NameMatching::kTolerant);
}

bool HasBitsyncSection(const std::string& path, size_t card) {
  return !platform::ReadProfileSection(path, Section(kBitsyncPrefix, card)).empty();
}

std::vector<std::string> CheckSetupFile(const std::string& path, std::span<const CardData> cards) {
  std::vector<std::string> problems = WholeFileProblems(path);
  if (!problems.empty()) return problems;
  bool has_card_section = false;
  for (const std::string& name : platform::ReadProfileSectionNames(path)) {
    const std::optional<size_t> bitsync = CardIndexOf(name, kBitsyncPrefix);
    const std::optional<size_t> irig = CardIndexOf(name, kIrigPrefix);
    if (!bitsync && !irig) continue;
    has_card_section = true;
    const size_t n = bitsync ? *bitsync : *irig;
    CardData card = n < cards.size() ? cards[n] : CardData{};
    SectionReader section(path, Section(bitsync ? kBitsyncPrefix : kIrigPrefix, n),
                          NameMatching::kTolerant);
    if (bitsync) {
      ReadBitsyncSection(section, card);
    } else {
      ReadIrigSection(section, card.irig_setup);
    }
    AddReplacements(section, problems);
    AddUnknownKeys(path, section, problems);
  }
  if (!has_card_section) problems.push_back("holds no BITSYNC_n or IRIG_n section");
  return problems;
}
