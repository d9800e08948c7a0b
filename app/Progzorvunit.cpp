#include "app/Progzorvunit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <iterator>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/Ctimerclass.h"
#include "support/KesBorDialogsUnit.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

constexpr int32_t kBindingLogCode = 255;

template <typename Fn>
bool Resolve(platform::LibraryHandle library, const char* name, Fn& slot, std::string& missing) {
  void* symbol = platform::LibrarySymbol(library, name);
  if (!symbol) {
    missing = name;
    return false;
  }
  slot = reinterpret_cast<Fn>(symbol);
  return true;
}

// The one export the program can do without.
constexpr std::string_view kOptionalEntryPoint = "ZorvApiGetBitsyncFirmware";

// In the order of the list, so that a refusal names the first missing one.
bool ResolveAll(platform::LibraryHandle library, ZorvApiEntryPoints& api, std::string& missing) {
#define ZORV_RESOLVE(name, short_name)                                                    \
  if (#name == kOptionalEntryPoint) {                                                     \
    api.short_name = reinterpret_cast<name##Fn>(platform::LibrarySymbol(library, #name)); \
  } else if (!Resolve(library, #name, api.short_name, missing)) {                         \
    return false;                                                                         \
  }
  ZORVAPI_EXPORTS(ZORV_RESOLVE)
#undef ZORV_RESOLVE
  return true;
}

// The loader searches its own path list for a bare name; the name was checked in the current
// directory, so that is the file to load.
std::string LoadablePath(const std::string& path) {
  if (path.find_first_of("/\\:") != std::string::npos) return path;
  return platform::CurrentDirectory() + platform::PathSeparator() + path;
}

// The library beside the program, else the bare name that LoadDll looks up in the current
// directory.
std::string FirstLibraryPath(const DllLocations& locations) {
  for (const std::string* folder : {&locations.program_folder, &locations.installed_folder}) {
    if (folder->empty()) continue;
    const std::string path = *folder + platform::PathSeparator() + locations.file_name;
    if (FileExistsAtPath(path)) return path;
  }
  return locations.file_name;
}

bool Succeeded(int32_t result) {
  return result == kZorvApiSuccess;
}

// The simulate branch of the wrappers that invent nothing.
void Nothing() {}

// A flag that the simulation sets about half the time.
uint8_t SimulatedFlag() {
  return RandomMasked(50) > 25 ? 1 : 0;
}

bool IsBlank(char c) {
  return c == ' ';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

size_t SkipDigits(std::string_view text, size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

// The end of the number that starts the text: sign, digits with one optional point, and an
// exponent only when digits follow its letter (else the letter starts the unit). Zero when no
// digit was found.
size_t NumberEnd(std::string_view text) {
  size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const size_t integer_end = SkipDigits(text, at);
  size_t end = integer_end;
  bool has_digits = integer_end > at;
  if (end < text.size() && text[end] == '.') {
    const size_t fraction_end = SkipDigits(text, end + 1);
    has_digits = has_digits || fraction_end > end + 1;
    end = fraction_end;
  }
  if (!has_digits) return 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const size_t exponent_end = SkipDigits(text, exponent);
    if (exponent_end > exponent) end = exponent_end;
  }
  return end;
}

}  // namespace

DllLocations DefaultDllLocations() {
  const std::string file_name = platform::SharedLibraryFileName("ZORVDLL");
  const std::string program_folder = platform::ExecutableDirectory();
  const std::string separator(1, platform::PathSeparator());
  return {file_name, program_folder + separator + file_name, program_folder,
          program_folder + separator + ".." + separator + "lib"};
}

bool ParseValueText(std::string_view text, double& value) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  const size_t number_end = NumberEnd(text);
  if (number_end == 0) return false;
  size_t at = number_end;
  while (at < text.size() && IsBlank(text[at])) ++at;
  while (at < text.size() && IsLetter(text[at])) ++at;
  if (at != text.size()) return false;
  // from_chars takes no leading plus.
  const size_t start = text.front() == '+' ? 1 : 0;
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(text.data() + start, text.data() + number_end, parsed);
  if (error != std::errc() || end != text.data() + number_end) return false;
  value = parsed;
  return true;
}

progzorvclass::progzorvclass() : progzorvclass(DefaultDllLocations()) {}

progzorvclass::progzorvclass(const DllLocations& locations) {
  Bind(locations);
  CountCards();
}

progzorvclass::~progzorvclass() {
  ReleaseLibrary();
}

void progzorvclass::Bind(const DllLocations& locations) {
  std::string error_text;
  if (LoadDll(FirstLibraryPath(locations), error_text)) return;
  error_text = "Normal Customer DLL Not Loaded..Attempting Debug Dll " + error_text;
  LogInfo(error_text, kBindingLogCode, false);
  if (LoadDll(locations.fallback_path, error_text)) return;
  ErrorBeep();
  platform::clock().Sleep(10);
  NoticeBeep();
  const std::string text = "ZORV DLL FAILED TO LOAD " + error_text;
  ShowMessage(text, "FATAL ERROR");
  LogInfo(text, kBindingLogCode, false);
}

void progzorvclass::ReleaseLibrary() {
  if (loaded_) CloseApi();
  platform::FreeLibraryHandle(library_);
  library_ = nullptr;
  api_ = {};
  loaded_ = false;
}

bool progzorvclass::LoadDll(const std::string& path, std::string& error_text) {
  ReleaseLibrary();
  if (!FileExistsAtPath(path)) {
    error_text = "The DLL " + path + " Does NOT exist.  Ensure It exists!!";
    return false;
  }
  platform::LibraryHandle library = platform::LoadLibraryByName(LoadablePath(path));
  if (!library) {
    error_text = "The DLL " + path + " didn't load. " + platform::LastLibraryError();
    return false;
  }
  ZorvApiEntryPoints api;
  std::string missing;
  if (!ResolveAll(library, api, missing)) {
    error_text = "Function " + missing + " for the DLL " + path + " didn't load";
    platform::FreeLibraryHandle(library);
    return false;
  }
  library_ = library;
  api_ = api;
  loaded_ = true;
  error_text = "NO ERROR";
  return true;
}

void progzorvclass::CountCards() {
  if (!DllLoaded()) return;
  uint8_t dos_mode = 0;
  int32_t count = 0;
  int32_t bitsync_counts[kZorvApiMaxCards] = {};
  int32_t reserved[kZorvApiMaxCards] = {};
  api_.Open(&dos_mode, &count, bitsync_counts, reserved);
  LogInfo("Found " + FormatFixed(2, 0, count) + " in the machine.", 0, false);
  cards_found = count;
  if (count > kMaxProgramCards) {
    count = kMaxProgramCards;
    LogInfo(" Can only handle the first " + FormatFixed(2, 0, kMaxProgramCards) + " cards.", 0,
            false);
  }
  card_count = count;
  if (card_count <= 0) {
    simulate = true;
    no_cards = true;
    card_count = kSimulatedCardCount;
    LogInfo("No cards found.  Setting to SIMULATE mode with Bitsyncs", 1, false);
  }
  for (int32_t card = 0; card < card_count; ++card) {
    int32_t max_input_source = 3;
    api_.GetBitsyncMaxInputSource(card, &max_input_source);
    cards[card].input_source_flag = max_input_source > 3 ? 1 : 0;
    cards[card].max_input_source = max_input_source;
    cards[card].bitsync_count = bitsync_counts[card];
  }
}

void progzorvclass::CloseApi() {
  if (loaded_) api_.Close();
}

bool progzorvclass::DllLoaded() {
  if (loaded_) return true;
  LogInfo("ZORV DLL not loaded", kBindingLogCode, false);
  return false;
}

bool progzorvclass::IsProgramCard(int32_t card) const {
  return card >= 0 && card < kMaxProgramCards;
}

bool progzorvclass::SimulatedValuesEnabled(int32_t card) const {
  return IsProgramCard(card) && cards[card].bitsync_setup.BerTestingEnabled != 0;
}

template <typename Simulated, typename Call>
bool progzorvclass::Run(Simulated simulated, Call call) {
  if (!DllLoaded()) return false;
  if (simulate) {
    simulated();
    return true;
  }
  return call();
}

template <typename Simulated>
bool progzorvclass::RunValueReader(int32_t card, ZorvApiGetSignalVoltageFn entry,
                                   const char* failure_line, double& value, Simulated simulated) {
  return Run(
      [&] {
        if (SimulatedValuesEnabled(card)) value = simulated();
      },
      [&] {
        char text[kValueTextLength + 1];
        std::memset(text, ' ', kValueTextLength);
        text[kValueTextLength] = '\0';
        if (!Succeeded(entry(card, text))) return false;
        const auto length = static_cast<size_t>(std::find(text, std::end(text), '\0') - text);
        if (!ParseValueText(std::string_view(text, length), value)) {
          LogInfo(failure_line, 0, false);
          return false;
        }
        return true;
      });
}

bool progzorvclass::RunFspCall(int32_t result, const char* failure_line, int32_t card) {
  if (Succeeded(result)) return true;
  LogInfo(failure_line, card + 1, false);
  return false;
}

bool progzorvclass::GetIrigStatus(int32_t card, int32_t& status) {
  return Run([&] { status = 1; }, [&] { return Succeeded(api_.GetIrigStatus(card, &status)); });
}

bool progzorvclass::GetIrigNowtime(int32_t card, double& seconds) {
  return Run([&] { seconds = TimeOfYearSeconds(); },
             [&] { return Succeeded(api_.GetIrigNowtime(card, &seconds)); });
}

bool progzorvclass::LoadIrigSetup(int32_t card, const IrigSetup& setup) {
  return Run(Nothing, [&] { return Succeeded(api_.LoadIrigSetup(card, &setup)); });
}

bool progzorvclass::GetBitsyncStatus(int32_t card, int32_t& status) {
  return Run([&] { status = RandomMasked(50) <= 10 ? 1 : 2; },
             [&] {
               // The cache has a slot for the program's cards only.
               if (!IsProgramCard(card)) return false;
               status = status_cache_[card];
               const int32_t result = api_.GetBitsyncStatus(card, &status);
               status_cache_[card] = status;
               return Succeeded(result);
             });
}

bool progzorvclass::LoadBitsyncSetup(int32_t card, const BitsyncSetup& setup) {
  return Run(Nothing, [&] { return Succeeded(api_.LoadBitsyncSetup(card, &setup)); });
}

bool progzorvclass::SetBitsyncQuickReactMode(int32_t card, uint8_t on) {
  return Run(Nothing, [&] { return Succeeded(api_.SetBitsyncQuickReactMode(card, on)); });
}

bool progzorvclass::GetBitsyncOptions(int32_t card, BitsyncStatusData& status) {
  return Run(Nothing, [&] {
    return Succeeded(api_.GetBitsyncOptions(card, &status.option_20_mbit, &status.option_ber_test));
  });
}

bool progzorvclass::GetBitsyncProgrammedBitRate(int32_t card, BitsyncStatusData& status) {
  return Run(Nothing, [&] {
    return Succeeded(api_.GetBitsyncProgrammedBitRate(card, &status.programmed_bit_rate));
  });
}

bool progzorvclass::GetBitSyncOperationalStatus(int32_t card, BitsyncStatusData& status) {
  uint8_t* flags = status.operational_status;
  return Run(
      [&] {
        if (!SimulatedValuesEnabled(card)) return;
        for (int i = 0; i < 4; ++i) flags[i] = SimulatedFlag();
      },
      [&] {
        return Succeeded(
            api_.GetBitSyncOperationalStatus(card, &flags[0], &flags[1], &flags[2], &flags[3]));
      });
}

bool progzorvclass::GetBIT(int32_t card, BitsyncStatusData& status) {
  uint8_t* bytes = status.built_in_test;
  return Run(
      [&] {
        if (!SimulatedValuesEnabled(card)) return;
        bytes[0] = static_cast<uint8_t>(RandomMasked(255) | 0x22);
        bytes[1] = static_cast<uint8_t>(RandomMasked(255) | 0xE1);
        bytes[2] = 0xFF;
        bytes[3] = static_cast<uint8_t>(RandomMasked(255) | 0xA1);
        bytes[4] = static_cast<uint8_t>(RandomMasked(255) | 0xC0);
      },
      [&] {
        return Succeeded(api_.GetBIT(card, &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4]));
      });
}

bool progzorvclass::GetLinkAnalysisBitCount(int32_t card, BitsyncStatusData& status) {
  return Run(Nothing,
             [&] { return Succeeded(api_.GetLinkAnalysisBitCount(card, &status.bit_count)); });
}

bool progzorvclass::GetLinkAnalysisErrorCount(int32_t card, BitsyncStatusData& status) {
  return Run(Nothing,
             [&] { return Succeeded(api_.GetLinkAnalysisErrorCount(card, &status.error_count)); });
}

bool progzorvclass::GetGetOffsetFrequency(int32_t card, BitsyncStatusData& status) {
  return RunValueReader(card, api_.GetGetOffsetFrequency,
                        "progzorvunit.GetGetOffsetFrequency  failed", status.offset_frequency,
                        [] { return RandomMasked(5) + 200000.0; });
}

bool progzorvclass::GetSignalVoltage(int32_t card, BitsyncStatusData& status) {
  return RunValueReader(card, api_.GetSignalVoltage, "progzorvunit.GetSignalVoltage  failed",
                        status.signal_voltage, [] { return static_cast<double>(RandomMasked(5)); });
}

bool progzorvclass::GetEstimatedEsNo(int32_t card, BitsyncStatusData& status) {
  return RunValueReader(card, api_.GetEstimatedEsNo, "progzorvunit.GetEstimatedEsNo  failed",
                        status.es_no, [] { return static_cast<double>(RandomMasked(25)); });
}

bool progzorvclass::GetLinkAnalysisOperationalStatus(int32_t card, BitsyncStatusData& status) {
  uint8_t* flags = status.link_analysis_status;
  return Run(
      [&] {
        if (!SimulatedValuesEnabled(card)) return;
        for (int i = 0; i < 3; ++i) flags[i] = SimulatedFlag();
      },
      [&] {
        return Succeeded(
            api_.GetLinkAnalysisOperationalStatus(card, &flags[0], &flags[1], &flags[2]));
      });
}

bool progzorvclass::EnableBitsyncFspMode(int32_t card, int32_t p1, int32_t p2, int32_t p3,
                                         int32_t p4, int32_t p5) {
  if (!DllLoaded()) return false;
  return RunFspCall(api_.EnableBsFspSigQualMode(card, p1, p2, p3, p4, p5),
                    "Enable Bitsync FSP Mode Failed For Card ", card);
}

bool progzorvclass::DisableBitsyncFspMode(int32_t card) {
  if (!DllLoaded()) return false;
  return RunFspCall(api_.DisableBsFspSigQualMode(card), "Disable Bitsync FSP Mode Failed For Card ",
                    card);
}

bool progzorvclass::GetBsEnableFspOption(int32_t card, FspSettings& fsp) {
  return Run(Nothing,
             [&] { return Succeeded(api_.GetBsEnableFspOption(card, &fsp.option_present)); });
}

bool progzorvclass::GetBitsyncFspCount(int32_t card, uint16_t& count) {
  if (!DllLoaded()) return false;
  return RunFspCall(api_.GetBsFspCount(card, &count),
                    "Get Bitsync FSP Mode Fsp Count Failed For Card ", card);
}

bool progzorvclass::GetBitsyncFirmware(int32_t card, int32_t& version_high, int32_t& version_low) {
  return Run(Nothing, [&] {
    return api_.GetBitsyncFirmware &&
           Succeeded(api_.GetBitsyncFirmware(card, &version_high, &version_low));
  });
}
