#include "app/ZorvSetupFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "app/BitsyncLimits.h"
#include "dll/keltnametables.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "support/KesBorFilesUnit.h"
#include "support/keserrorlog.h"

namespace {

using NameTable = std::span<const char* const>;

constexpr const char* kCommonSection = "CommonArea";
constexpr const char* kLastSetupFileKey = "LastSetupFile";

std::string Section(const char* prefix, size_t card) {
  return prefix + std::to_string(card);
}

// The row's name; no text for a number without a row, which reads back as row 0.
std::string NameOf(NameTable table, int32_t row) {
  if (row < 0 || static_cast<size_t>(row) >= table.size()) return "";
  return table[static_cast<size_t>(row)];
}

// The row whose name equals the text exactly; 0 when none does.
int32_t RowOf(NameTable table, const std::string& text) {
  const auto found = std::find(table.begin(), table.end(), text);
  return found == table.end() ? 0 : static_cast<int32_t>(found - table.begin());
}

bool IsNormalModel(int32_t model) {
  return model == 0 || model == 1 || model == 4 || model == 5;
}
bool IsAlternateModel(int32_t model) {
  return model == 2 || model == 3;
}

// Models 0, 1, 4 and 5 keep two codes outside their table, 8 and -1; models 2 and 3 use the
// finer table; any other model has no loop bandwidth in the file.
std::optional<std::string> LoopBandwidthText(const BitsyncSetup& setup) {
  if (IsAlternateModel(setup.Model)) return NameOf(kLoopBandwidth17Names, setup.LoopBandwidth);
  if (!IsNormalModel(setup.Model)) return std::nullopt;
  if (setup.LoopBandwidth == 8) return "8";
  if (setup.LoopBandwidth < 0 || setup.LoopBandwidth >= static_cast<int32_t>(kLoopBandwidthCount))
    return "-1";
  return NameOf(kLoopBandwidthNames, setup.LoopBandwidth);
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

  void Text(const std::string& section, const char* key, const std::string& value) {
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

// Reads one section's keys; a missing key leaves its field as it was.
class SectionReader {
 public:
  SectionReader(const std::string& path, std::string section)
      : path_(path), section_(std::move(section)) {}

  std::optional<std::string> Text(const char* key) const {
    std::string value;
    if (!ReadSettingText(path_, section_, key, value)) return std::nullopt;
    return value;
  }
  void Name(const char* key, NameTable table, int32_t& field) const {
    if (const auto text = Text(key)) field = RowOf(table, *text);
  }
  bool Flag(const char* key, uint8_t& field) const {
    bool value = false;
    if (!ReadSettingBool(path_, section_, key, value)) return false;
    field = value ? 1 : 0;
    return true;
  }
  std::optional<int32_t> Integer(const char* key) const {
    int32_t value = 0;
    if (!ReadSettingInt(path_, section_, key, 10, value)) return std::nullopt;
    return value;
  }

 private:
  const std::string& path_;
  std::string section_;
};

void ReadLoopBandwidth(const SectionReader& section, BitsyncSetup& setup) {
  const auto text = section.Text("LoopBandwidth");
  if (!text) return;
  if (IsAlternateModel(setup.Model)) {
    setup.LoopBandwidth = RowOf(kLoopBandwidth17Names, *text);
  } else if (IsNormalModel(setup.Model)) {
    setup.LoopBandwidth = *text == "8" ? 8 : *text == "-1" ? -1 : RowOf(kLoopBandwidthNames, *text);
  }
}

// A bit rate the operator could not have set for the model and input code just read (the
// module cannot run it) is not taken.
void ReadBitRate(const SectionReader& section, BitsyncSetup& setup) {
  const auto bit_rate = section.Integer("BitRate");
  if (!bit_rate || *bit_rate < static_cast<int32_t>(kMinimumBitRate)) return;
  const auto value = static_cast<uint32_t>(*bit_rate);
  if (value <= MaximumBitRate(setup.Model, setup.InputCode)) setup.BitRate = value;
}

void ReadBitsyncSection(const SectionReader& section, CardData& card) {
  BitsyncSetup& setup = card.bitsync_setup;
  section.Name("Model", kModelNames, setup.Model);
  section.Name("InputSource", kInputSourceNames, setup.InputSource);
  section.Name("InputCode", kInputCodeNames, setup.InputCode);
  section.Name("OutputCode", kOutputCodeNames, setup.OutputCode);
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
  // No bit error test runs because a file said so.
  setup.BerTestingEnabled = 0;
  section.Flag("ExtBerMode", setup.ExtBerMode);
  section.Flag("KnownErrorMode", setup.KnownErrorMode);
  if (section.Flag("QuickReactMode", setup.QuickReactMode)) {
    card.quick_react_mode = setup.QuickReactMode;
  }
  section.Flag("Do90DegClkOut", setup.Do90DegClkOut);
}

void ReadIrigSection(const SectionReader& section, IrigSetup& setup) {
  section.Name("SourceFormat", kIrigCodeNames, setup.SourceFormat);
  section.Flag("SourceExternal", setup.SourceExternal);
  section.Flag("FlywheelEnabled", setup.FlywheelEnabled);
  section.Name("GeneratorFormat", kIrigCodeNames, setup.GeneratorFormat);
}

}  // namespace

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

bool WriteSetupFile(const std::string& path, const std::string& configuration_path,
                    const std::string& last_setup_file, std::span<const CardData> cards) {
  BackupFile(path);
  // Deleting is allowed where the folder is writable even if the file is not; a protected file
  // must refuse the writes instead.
  if (!IsFileWriteProtected(path)) std::remove(platform::NativePath(path).c_str());
  FileWriter file(path);
  if (path == configuration_path) file.Text(kCommonSection, kLastSetupFileKey, last_setup_file);
  for (size_t n = 0; n < cards.size(); ++n) {
    WriteBitsyncSection(file, Section("BITSYNC_", n), cards[n]);
  }
  for (size_t n = 0; n < cards.size(); ++n) {
    WriteIrigSection(file, Section("IRIG_", n), cards[n].irig_setup);
  }
  return file.ok();
}

bool ReadSetupFile(const std::string& path, const std::string& configuration_path,
                   std::string& last_setup_file, std::span<CardData> cards) {
  if (!FileExistsAtPath(path)) return false;
  if (path == configuration_path) {
    std::string last;
    if (ReadSettingText(path, kCommonSection, kLastSetupFileKey, last) && FileExistsAtPath(last)) {
      last_setup_file = last;
    }
  }
  for (size_t n = 0; n < cards.size(); ++n) {
    ReadBitsyncSection(SectionReader(path, Section("BITSYNC_", n)), cards[n]);
  }
  for (size_t n = 0; n < cards.size(); ++n) {
    ReadIrigSection(SectionReader(path, Section("IRIG_", n)), cards[n].irig_setup);
  }
  return true;
}
