#pragma once
// progzorvclass: the operator program's only way to the cards. It binds ZorvDll by file name at
// run time, opens it, counts the cards, falls back to simulated data when there is none, and
// owns the per-card data that every window shares. Each wrapper answers true or false, so the
// windows never see the library's result codes. There is no lock: the user-interface thread
// and the card windows' polling threads call it, each thread filling its own fields.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "zorv/BitsyncSetup.h"
#include "zorv/IrigSetup.h"
#include "zorv/ZorvApi.h"

// The most cards the program uses, whatever the library finds.
inline constexpr int32_t kMaxProgramCards = 4;
// Cards offered with simulated data when the library found none.
inline constexpr int32_t kSimulatedCardCount = 3;
// Room for the library's measurement texts, prefilled with blanks (a terminator follows).
inline constexpr size_t kValueTextLength = 17;

// What the polling thread last read from a card's bit synchronizer.
struct BitsyncStatusData {
  uint8_t option_20_mbit = 0;
  // The card window offers the built-in test tab, and polls at all, only while it is set.
  uint8_t option_ber_test = 1;
  uint8_t operational_status[4] = {0, 0, 0, 0};
  uint8_t built_in_test[5] = {0, 0, 0, 0, 0};
  uint32_t programmed_bit_rate = 0;
  uint32_t bit_count = 0;
  uint32_t error_count = 0;
  // Error count / bit count, 0 while the bit count is 0.
  double bit_error_rate = 0.0;
  double offset_frequency = 0.0;  // Hz
  double signal_voltage = 0.0;    // V
  double es_no = 0.0;             // dB
  // PRN correlator locked, PRN correlator history, error count overflow.
  uint8_t link_analysis_status[3] = {0, 1, 0};
};

// The frame-sync-pattern signal-quality mode of a card.
struct FspSettings {
  uint8_t option_present = 0;
  uint8_t mode_on = 0;
  // F1 to F5 as ZorvApiEnableBsFspSigQualMode takes them; F4 and F5 are the two halves of the
  // standard frame sync pattern FE6B2840.
  int32_t parameters[5] = {0x800, 0x20, 0x1, 0xFE6B, 0x2840};
  uint16_t count = 0;
};

// The setup a card starts with: 1024000 bit/s on input 2 with the loop bandwidth that bit rate
// allows, quick react on (the model is below 2).
inline constexpr BitsyncSetup kDefaultBitsyncSetup{.Model = 0,
                                                   .InputSource = 1,
                                                   .InputCode = 0,
                                                   .OutputCode = 0,
                                                   .LoopBandwidth = 2,
                                                   .BitRate = 1024000,
                                                   .BitDecisionDetector = 1,
                                                   .QuickReactMode = 1,
                                                   .StartupAutoTestEnabled = 1,
                                                   .Pattern15Bit = 1,
                                                   .NrzlDcOutputDisabledAtSymbolUnlock = 0,
                                                   .NrzlDcOutputDisabledAtEsNo5Db = 0,
                                                   .PcmEncoderOutputDisabledAtSymbolUnlock = 0,
                                                   .PcmEncoderOutputDisabledAtEsNo5Db = 0,
                                                   .BerTestingEnabled = 0,
                                                   .ExtBerMode = 0,
                                                   .KnownErrorMode = 0,
                                                   .Do90DegClkOut = 0};

// IRIG B from the internal clock with the flywheel on.
inline constexpr IrigSetup kDefaultIrigSetup{
    .SourceFormat = 0, .SourceExternal = 0, .FlywheelEnabled = 1, .GeneratorFormat = 0};

struct CardData {
  BitsyncSetup bitsync_setup = kDefaultBitsyncSetup;
  // Sent with ZorvApiSetBitsyncQuickReactMode after every setup load; the setup record's own
  // QuickReactMode is only reported.
  uint8_t quick_react_mode = 0;
  BitsyncStatusData status;
  // The bit synchronizer has more than four input sources: the card window polls it and the
  // panel offers the extra sources only then.
  uint8_t input_source_flag = 0;
  // As the library reported them when the cards were counted: bit synchronizers on the card
  // (0 or 1) and the highest input source (3 when the card did not answer).
  int32_t bitsync_count = 0;
  int32_t max_input_source = 3;
  IrigSetup irig_setup = kDefaultIrigSetup;
  // [0] is the IRIG track rate the IRIG panel shows.
  int32_t irig_words[2] = {0, 0};
  FspSettings fsp;
};

// Where the library is looked for: the file name in the program's folder, then in an installed
// tree's library folder, else the bare file name in the current directory (as the Windows
// loader searches); when that does not bind, the fallback path.
struct DllLocations {
  std::string file_name;
  std::string fallback_path;
  // None when empty.
  std::string program_folder{};
  // None when empty.
  std::string installed_folder{};
};

// The platform's library file name ("ZORVDLL.DLL", "libZORVDLL.so") beside the running program,
// where the build puts it, or in the lib folder beside the program's bin folder, where an
// installed package puts it; the fallback is the file beside the program.
DllLocations DefaultDllLocations();

// A measurement text of the library as a number: after trimming blanks, one number,
// optionally followed by blanks and a unit made of letters ("12.3 dB").
bool ParseValueText(std::string_view text, double& value);

// The resolved entry points, one per export, named without the ZorvApi prefix. Of those the
// program binds, GetBitsyncProgrammedInputCode, GetBitsyncProgrammedOutputCode,
// GetBitsyncProgrammedLoopBw and GetBsEnableFspOption are resolved so that a library without
// them is refused, never called. GetBitsyncFirmware is bound when present, never required:
// only the command-line tool reports it.
struct ZorvApiEntryPoints {
#define ZORV_ENTRY_POINT(name, short_name) name##Fn short_name = nullptr;
  ZORVAPI_EXPORTS(ZORV_ENTRY_POINT)
#undef ZORV_ENTRY_POINT
};

class progzorvclass {
 public:
  // Binds the library (where DllLocations says) and counts the cards. Never fails
  // outward: without a library every wrapper fails and the card count stays 0.
  progzorvclass();
  explicit progzorvclass(const DllLocations& locations);
  // Closes the API and frees the library.
  ~progzorvclass();
  progzorvclass(const progzorvclass&) = delete;
  progzorvclass& operator=(const progzorvclass&) = delete;

  // Binds one library file and all 26 entry points; `error_text` says why not.
  bool LoadDll(const std::string& path, std::string& error_text);
  // Opens the API, keeps at most four cards, and enters simulate mode when there is none.
  void CountCards();
  void CloseApi();
  // False, with a log line, when no library is bound.
  bool DllLoaded();

  bool GetIrigStatus(int32_t card, int32_t& status);
  bool GetIrigNowtime(int32_t card, double& seconds);
  bool LoadIrigSetup(int32_t card, const IrigSetup& setup);
  bool GetBitsyncStatus(int32_t card, int32_t& status);
  bool LoadBitsyncSetup(int32_t card, const BitsyncSetup& setup);
  bool SetBitsyncQuickReactMode(int32_t card, uint8_t on);
  bool GetBitsyncOptions(int32_t card, BitsyncStatusData& status);
  bool GetBitsyncProgrammedBitRate(int32_t card, BitsyncStatusData& status);
  bool GetBitSyncOperationalStatus(int32_t card, BitsyncStatusData& status);
  bool GetBIT(int32_t card, BitsyncStatusData& status);
  bool GetLinkAnalysisBitCount(int32_t card, BitsyncStatusData& status);
  bool GetLinkAnalysisErrorCount(int32_t card, BitsyncStatusData& status);
  bool GetGetOffsetFrequency(int32_t card, BitsyncStatusData& status);
  bool GetSignalVoltage(int32_t card, BitsyncStatusData& status);
  bool GetEstimatedEsNo(int32_t card, BitsyncStatusData& status);
  bool GetLinkAnalysisOperationalStatus(int32_t card, BitsyncStatusData& status);
  // Whether the card has the FSP option (FspSettings::option_present).
  bool GetBsEnableFspOption(int32_t card, FspSettings& fsp);
  // The FSP calls reach the library in simulate mode too.
  bool EnableBitsyncFspMode(int32_t card, int32_t p1, int32_t p2, int32_t p3, int32_t p4,
                            int32_t p5);
  bool DisableBitsyncFspMode(int32_t card);
  bool GetBitsyncFspCount(int32_t card, uint16_t& count);
  // False also when the library does not export the firmware function.
  bool GetBitsyncFirmware(int32_t card, int32_t& version_high, int32_t& version_low);

  CardData cards[kMaxProgramCards];
  // Cards in use: 0 to 4, or 3 in simulate mode without cards.
  int32_t card_count = 0;
  // As the library reported them when the cards were last counted, before the limit of four.
  int32_t cards_found = 0;
  // Windows show invented values instead of calling the library.
  bool simulate = false;
  // The library found no card, so the operator may not leave simulate mode.
  bool no_cards = false;

 private:
  void Bind(const DllLocations& locations);
  void ReleaseLibrary();
  bool IsProgramCard(int32_t card) const;
  // Simulated measurements are invented only while the card's bit error test is on.
  bool SimulatedValuesEnabled(int32_t card) const;
  template <typename Simulated, typename Call>
  bool Run(Simulated simulated, Call call);
  template <typename Simulated>
  bool RunValueReader(int32_t card, ZorvApiGetSignalVoltageFn entry, const char* failure_line,
                      double& value, Simulated simulated);
  bool RunFspCall(int32_t result, const char* failure_line, int32_t card);

  bool loaded_ = false;
  platform::LibraryHandle library_ = nullptr;
  ZorvApiEntryPoints api_;
  int32_t status_cache_[kMaxProgramCards] = {0, 0, 0, 0};
};
