#include "dll/Keltdllglobunit.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <string>

#include "dll/KesPlxDriverDevice.h"
#include "dll/Plxdiscoveryunit.h"
#include "dll/zorvclass.h"
#include "platform/clock.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"
#include "support/keserrorlog.h"
#include "zorv/ZorvApi.h"

namespace {

constexpr const char* kVersion = "4.24";
constexpr const char* kCardName = "ZORV";
constexpr uint32_t kVendorId = 0x10B5;
constexpr uint32_t kDeviceId9080 = 0x9080;
constexpr uint32_t kDeviceId9056 = 0x9056;
constexpr uint32_t kSubsystem = 0x0310D1A7;
// Cards of a test station carry another subsystem value.
constexpr uint32_t kTestSubsystem = 0x0610D1A7;
constexpr const char* kTestModeFile = "tiloma.txt";
constexpr const char* kRule = "===================================================================";
constexpr uint32_t kUnloadPauseMs = 50;
constexpr uint32_t kMaxCards = kZorvApiMaxCards;
constexpr int32_t kMaxInputSourceReadback = 11;
constexpr int32_t kMaxInputSourceOlder = 3;

// Library-wide state, written by the load and unload sequences only (the API-open flag
// aside). The table holds plain owning pointers that only the unload sequence deletes: static
// objects are destroyed in another order against the unload handler at a process exit than
// at an unload, and the cards must go while the log and the driver are still there.
bool attached = false;
bool dos_mode = false;
std::atomic<bool> api_open{false};
int32_t card_count = 0;
zorvclass* card_table[kMaxCards] = {};
PCI_CARD_INFO pci_cards[kMaxCards];

zorvclass* CreateCard(int32_t index) {
  try {
    return NewCardObject<zorvclass>(CardObjectKind::kCardObject, index, index, pci_cards[index])
        .release();
  } catch (const std::bad_alloc&) {
    LogCardFailure("Card Object Could Not Be Created For Card ", index, "not enough memory");
    return nullptr;
  }
}

void GlobalStartup() {
  dos_mode = false;
  card_count = 0;
  std::fill(std::begin(card_table), std::end(card_table), nullptr);

  const bool test_mode = FileExistsAtPath(kTestModeFile);
  if (test_mode) {
    NoticeBeep();
    ErrorBeep();
    NoticeBeep();
    LogLine(kRule, 0);
    LogLine(kRule, 0);
    LogLine("HAVE FAKE ZORV USING AN MARN..REMOVE THE FILE TILOMA.TXT FOR SHIPPING", 0);
  }
  const uint32_t subsystem = test_mode ? kTestSubsystem : kSubsystem;
  // Cards behind 9080 bridges come first in the table, then those behind 9056 bridges.
  std::array<uint8_t, kMaxCards> variants{};
  const uint32_t first =
      std::min(kMaxCards, CountInstalledCards(kCardName, kVendorId, kDeviceId9080, subsystem,
                                              dos_mode, variants.data(), kMaxCards, pci_cards));
  const uint32_t second =
      CountInstalledCards(kCardName, kVendorId, kDeviceId9056, subsystem, dos_mode,
                          variants.data() + first, kMaxCards - first, pci_cards + first);
  if (test_mode) {
    LogLine(kRule, 0);
    LogLine(kRule, 0);
  }
  card_count = static_cast<int32_t>(std::min(first + second, kMaxCards));
  if (dos_mode) return;
  for (int32_t i = 0; i < card_count; ++i) card_table[i] = CreateCard(i);
}

// The card flags an export needs, tested in this order.
enum class Needs { kIrig, kBitsync, kReadbackBitsync };

// The common check, then the flags. A table entry without a card object (memory ran out
// while creating it) counts as a card with every flag false.
int32_t CheckCard(int32_t index, Needs needs, zorvclass*& card) {
  if (dos_mode) return kZorvApiDosMode;
  if (!api_open.load()) return kZorvApiNotOpen;
  if (index < 0 || index >= card_count) return kZorvApiBadCardIndex;
  card = card_table[index];
  if (needs == Needs::kIrig) {
    return card != nullptr && card->IsIrigPresent() ? kZorvApiSuccess : kZorvApiNoIrig;
  }
  if (card == nullptr || !card->IsBitsyncPresent()) return kZorvApiNoBitsync;
  if (needs == Needs::kReadbackBitsync && !card->IsReadbackCapable()) {
    return kZorvApiNotReadbackCapable;
  }
  return kZorvApiSuccess;
}

// Whether every pointer an export was given for its record or its out-values is set.
template <typename... Pointee>
bool AllGiven(const Pointee*... pointers) {
  return ((pointers != nullptr) && ...);
}

template <typename Pointee, size_t N>
bool AllGiven(const std::array<Pointee*, N>& pointers) {
  return std::find(pointers.begin(), pointers.end(), nullptr) == pointers.end();
}

// For the exports that take no pointer.
constexpr bool kNoPointers = true;

// Runs an export: the checks, then the operation; `failure` when a pointer is missing (before
// any card I/O, so nothing is written through the others) or when the operation reports false
// (or memory ran out while it built a log line).
template <typename Operation>
int32_t CallCard(int32_t index, Needs needs, int32_t failure, bool pointers_given,
                 Operation&& operation) noexcept {
  try {
    zorvclass* card = nullptr;
    const int32_t checked = CheckCard(index, needs, card);
    if (checked != kZorvApiSuccess) return checked;
    if (!pointers_given) return failure;
    return operation(*card) ? kZorvApiSuccess : failure;
  } catch (...) {
    return failure;
  }
}

template <typename Operation>
int32_t CallReadbackBitsync(int32_t index, int32_t failure, bool pointers_given,
                            Operation&& operation) noexcept {
  return CallCard(index, Needs::kReadbackBitsync, failure, pointers_given,
                  [&](zorvclass& card) { return card.WithReadbackBitsync(operation); });
}

template <typename Operation>
int32_t CallFsp(int32_t index, bool pointers_given, Operation&& operation) noexcept {
  return CallCard(index, Needs::kReadbackBitsync, kZorvApiNoBitsync, pointers_given,
                  [&](zorvclass& card) { return card.WithBitsync(operation); });
}

// The module's text, with its terminating zero, reaches the caller's buffer only on success.
int32_t CallTextRead(int32_t index, int32_t failure, char* text,
                     bool (keltbitsyncclass2::*read)(std::string&)) noexcept {
  return CallReadbackBitsync(index, failure, AllGiven(text), [&](keltbitsyncclass2& bitsync) {
    std::string value;
    if (!(bitsync.*read)(value)) return false;
    std::memcpy(text, value.c_str(), value.size() + 1);
    return true;
  });
}

// Reads values the bitsync reports in an array of T into the caller's bytes, on success only.
// The array starts from the caller's values, so a read switched off leaves them as they were.
template <typename T, size_t N>
int32_t CallByteRead(int32_t index, int32_t failure, const std::array<uint8_t*, N>& out,
                     bool (*read)(keltbitsyncclass2&, std::array<T, N>&)) noexcept {
  return CallReadbackBitsync(index, failure, AllGiven(out), [&](keltbitsyncclass2& bitsync) {
    std::array<T, N> values{};
    for (size_t i = 0; i < N; ++i) values[i] = static_cast<T>(*out[i]);
    if (!read(bitsync, values)) return false;
    for (size_t i = 0; i < N; ++i) *out[i] = static_cast<uint8_t>(values[i]);
    return true;
  });
}

}  // namespace

void ZorvDllProcessAttach() noexcept {
  if (attached) return;
  attached = true;
  try {
    OpenErrorLog(true, kVersion, "ZORVDLL", "Files\\ErLogs\\", "ZORVDLL");
    DriverDevice::AnnounceEmulationAgain();
    GlobalStartup();
  } catch (...) {
    // The load never fails: the library goes on with the cards it opened so far.
  }
}

void ZorvDllProcessDetach() noexcept {
  if (!attached) return;
  attached = false;
  try {
    platform::clock().Sleep(kUnloadPauseMs);
    for (int32_t i = 0; i < card_count; ++i) {
      delete card_table[i];
      card_table[i] = nullptr;
    }
    card_count = 0;
    dos_mode = false;
    api_open.store(false);
    CloseErrorLog(true);
  } catch (...) {
    // Nothing may escape the unload handler.
  }
}

extern "C" {

int32_t ZORVAPI_CALL ZorvApiOpen(uint8_t* dos_mode_out, int32_t* card_count_out,
                                 int32_t* bitsync_counts, int32_t* reserved) {
  if (!AllGiven(dos_mode_out, card_count_out, bitsync_counts, reserved)) {
    return dos_mode ? kZorvApiDosMode : kZorvApiNotOpen;
  }
  *dos_mode_out = dos_mode ? 1 : 0;
  *card_count_out = card_count;
  for (int32_t i = 0; i < card_count; ++i) {
    const zorvclass* card = card_table[i];
    bitsync_counts[i] = card != nullptr ? card->BitsyncCount() : 0;
    reserved[i] = card != nullptr ? card->SecondCount() : 0;
  }
  if (dos_mode) {
    try {
      LogLine(
          "An ZORV card was found in dos mode, You must REBOOT the machine in order for the "
          "change to take place",
          1);
    } catch (const std::bad_alloc&) {
    }
    return kZorvApiDosMode;
  }
  api_open.store(true);
  return kZorvApiSuccess;
}

void ZORVAPI_CALL ZorvApiClose(void) {
  api_open.store(false);
}

int32_t ZORVAPI_CALL ZorvApiGetIrigStatus(int32_t card, int32_t* status) {
  return CallCard(
      card, Needs::kIrig, kZorvApiIrigStatusFailed, AllGiven(status), [&](zorvclass& c) {
        return c.WithIrig([&](marnirigclass& irig) { return irig.GetIrigStatus(*status); });
      });
}

int32_t ZORVAPI_CALL ZorvApiGetIrigNowtime(int32_t card, double* seconds) {
  return CallCard(
      card, Needs::kIrig, kZorvApiIrigNowtimeFailed, AllGiven(seconds), [&](zorvclass& c) {
        return c.WithIrig([&](marnirigclass& irig) { return irig.GetIrigNowtime(*seconds); });
      });
}

int32_t ZORVAPI_CALL ZorvApiLoadIrigSetup(int32_t card, const IrigSetup* setup) {
  return CallCard(card, Needs::kIrig, kZorvApiIrigSetupFailed, AllGiven(setup), [&](zorvclass& c) {
    std::string error_text;
    if (c.WithIrig([&](marnirigclass& irig) { return irig.LoadIrigSetup(*setup, error_text); })) {
      return true;
    }
    LogInfo(error_text, 1, false);
    return false;
  });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncStatus(int32_t card, int32_t* status) {
  return CallCard(card, Needs::kBitsync, kZorvApiBitsyncStatusFailed, AllGiven(status),
                  [&](zorvclass& c) { return c.BitsyncStatus(*status); });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncMaxInputSource(int32_t card, int32_t* max_input_source) {
  return CallCard(
      card, Needs::kBitsync, kZorvApiNoBitsync, AllGiven(max_input_source), [&](zorvclass& c) {
        *max_input_source = c.IsReadbackCapable() ? kMaxInputSourceReadback : kMaxInputSourceOlder;
        return true;
      });
}

int32_t ZORVAPI_CALL ZorvApiLoadBitsyncSetup(int32_t card, const BitsyncSetup* setup) {
  return CallCard(card, Needs::kBitsync, kZorvApiBitsyncSetupFailed, AllGiven(setup),
                  [&](zorvclass& c) {
                    std::string error_text;
                    if (c.LoadBitsyncSetup(*setup, error_text)) return true;
                    LogInfo(error_text, 1, false);
                    return false;
                  });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncOptions(int32_t card, uint8_t* option_20_mbit,
                                              uint8_t* option_ber_test) {
  return CallReadbackBitsync(card, kZorvApiOptionsFailed, AllGiven(option_20_mbit, option_ber_test),
                             [&](keltbitsyncclass2& bitsync) {
                               uint32_t version_high = 0;
                               uint32_t version_low = 0;
                               return bitsync.ReadBitsyncConfiguration(
                                   *option_20_mbit, *option_ber_test, version_high, version_low);
                             });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncFirmware(int32_t card, int32_t* version_high,
                                               int32_t* version_low) {
  return CallReadbackBitsync(card, kZorvApiOptionsFailed, AllGiven(version_high, version_low),
                             [&](keltbitsyncclass2& bitsync) {
                               uint8_t option_20_mbit = 0;
                               uint8_t option_ber_test = 0;
                               // The caller's signed values are written through their unsigned
                               // type, as the bitsync reports them.
                               return bitsync.ReadBitsyncConfiguration(
                                   option_20_mbit, option_ber_test,
                                   reinterpret_cast<uint32_t&>(*version_high),
                                   reinterpret_cast<uint32_t&>(*version_low));
                             });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedBitRate(int32_t card, uint32_t* bit_rate) {
  return CallReadbackBitsync(
      card, kZorvApiProgrammedBitRateFailed, AllGiven(bit_rate),
      [&](keltbitsyncclass2& b) { return b.GetBitsyncProgrammedBitRate(*bit_rate); });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedInputCode(int32_t card, int32_t* input_code) {
  return CallReadbackBitsync(
      card, kZorvApiProgrammedInputCodeFailed, AllGiven(input_code),
      [&](keltbitsyncclass2& b) { return b.GetBitsyncProgrammedInputCode(*input_code); });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedOutputCode(int32_t card, int32_t* output_code) {
  return CallReadbackBitsync(
      card, kZorvApiProgrammedOutputCodeFailed, AllGiven(output_code),
      [&](keltbitsyncclass2& b) { return b.GetBitsyncProgrammedOutputCode(*output_code); });
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedLoopBw(int32_t card, uint8_t* loop_bandwidth) {
  return CallReadbackBitsync(
      card, kZorvApiProgrammedLoopBwFailed, AllGiven(loop_bandwidth),
      [&](keltbitsyncclass2& b) { return b.GetBitsyncProgrammedLoopBw(*loop_bandwidth); });
}

int32_t ZORVAPI_CALL ZorvApiGetBitSyncOperationalStatus(int32_t card, uint8_t* status1,
                                                        uint8_t* status2, uint8_t* status3,
                                                        uint8_t* status4) {
  // The module reports eight values; the interface passes on the first four.
  return CallByteRead<bool, 4>(card, kZorvApiOperationalStatusFailed,
                               {status1, status2, status3, status4},
                               [](keltbitsyncclass2& bitsync, std::array<bool, 4>& first_four) {
                                 std::array<bool, 8> status{};
                                 std::copy(first_four.begin(), first_four.end(), status.begin());
                                 if (!bitsync.GetBitsyncOperationalStatus(status)) return false;
                                 std::copy_n(status.begin(), 4, first_four.begin());
                                 return true;
                               });
}

int32_t ZORVAPI_CALL ZorvApiGetBIT(int32_t card, uint8_t* bit1, uint8_t* bit2, uint8_t* bit3,
                                   uint8_t* bit4, uint8_t* bit5) {
  return CallByteRead<uint8_t, 5>(card, kZorvApiBitFailed, {bit1, bit2, bit3, bit4, bit5},
                                  [](keltbitsyncclass2& bitsync, std::array<uint8_t, 5>& results) {
                                    return bitsync.GetBitsyncBIT(results);
                                  });
}

int32_t ZORVAPI_CALL ZorvApiGetLinkAnalysisBitCount(int32_t card, uint32_t* bit_count) {
  return CallReadbackBitsync(
      card, kZorvApiBitCountFailed, AllGiven(bit_count),
      [&](keltbitsyncclass2& b) { return b.GetLinkAnalysisBitCount(*bit_count); });
}

int32_t ZORVAPI_CALL ZorvApiGetLinkAnalysisErrorCount(int32_t card, uint32_t* error_count) {
  return CallReadbackBitsync(
      card, kZorvApiErrorCountFailed, AllGiven(error_count),
      [&](keltbitsyncclass2& b) { return b.GetLinkAnalysisErrorCount(*error_count); });
}

int32_t ZORVAPI_CALL ZorvApiGetLinkAnalysisOperationalStatus(int32_t card, uint8_t* status1,
                                                             uint8_t* status2, uint8_t* status3) {
  return CallByteRead<bool, 3>(card, kZorvApiLinkAnalysisStatusFailed, {status1, status2, status3},
                               [](keltbitsyncclass2& bitsync, std::array<bool, 3>& flags) {
                                 return bitsync.GetLinkAnalysisOperationalStatus(flags[0], flags[1],
                                                                                 flags[2]);
                               });
}

int32_t ZORVAPI_CALL ZorvApiGetGetOffsetFrequency(int32_t card, char* text) {
  return CallTextRead(card, kZorvApiOffsetFrequencyFailed, text,
                      &keltbitsyncclass2::GetOffsetFrequency);
}

int32_t ZORVAPI_CALL ZorvApiGetSignalVoltage(int32_t card, char* text) {
  return CallTextRead(card, kZorvApiSignalVoltageFailed, text,
                      &keltbitsyncclass2::GetSignalVoltage);
}

int32_t ZORVAPI_CALL ZorvApiGetEstimatedEsNo(int32_t card, char* text) {
  return CallTextRead(card, kZorvApiEsNoFailed, text, &keltbitsyncclass2::GetEstimatedEsNo);
}

int32_t ZORVAPI_CALL ZorvApiSetBitsyncQuickReactMode(int32_t card, int32_t mode) {
  return CallCard(card, Needs::kReadbackBitsync, kZorvApiQuickReactFailed, kNoPointers,
                  [&](zorvclass& c) {
                    std::string error_text;
                    return c.SetQuickReactMode(mode, error_text);
                  });
}

int32_t ZORVAPI_CALL ZorvApiGetBsEnableFspOption(int32_t card, uint8_t* fsp_option) {
  if (fsp_option != nullptr) *fsp_option = 0;
  return CallFsp(card, AllGiven(fsp_option),
                 [&](keltbitsyncclass2& b) { return b.GetBsEnableFspOption(*fsp_option); });
}

int32_t ZORVAPI_CALL ZorvApiEnableBsFspSigQualMode(int32_t card, int32_t f1, int32_t f2, int32_t f3,
                                                   int32_t f4, int32_t f5) {
  return CallFsp(card, kNoPointers, [&](keltbitsyncclass2& b) {
    return b.EnableBsFspSigQualMode(f1, f2, f3, f4, f5);
  });
}

int32_t ZORVAPI_CALL ZorvApiDisableBsFspSigQualMode(int32_t card) {
  return CallFsp(card, kNoPointers,
                 [](keltbitsyncclass2& b) { return b.DisableBsFspSigQualMode(); });
}

int32_t ZORVAPI_CALL ZorvApiGetBsFspCount(int32_t card, uint16_t* fsp_count) {
  return CallFsp(card, AllGiven(fsp_count),
                 [&](keltbitsyncclass2& b) { return b.GetBsFspCount(*fsp_count); });
}

}  // extern "C"
