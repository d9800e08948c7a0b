#include "dll/keltbitsyncclass2.h"

#include <bit>

#include "dll/keltnametables.h"
#include "platform/clock.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"
#include "support/keserrorlog.h"

namespace {

constexpr uint32_t kAddressSpace = 3;

constexpr std::string_view kBitsyncPrefix = "Bitsync for card ";
constexpr std::string_view kFspEnablePrefix = "FSP Enable -> Daughtercard for card ";
constexpr std::string_view kFspDisablePrefix = "FSP Disable -> Daughtercard for card ";
constexpr const char* kRule = "------------------------------------------";
constexpr const char* kEqualsRule =
    "===================================================================";
constexpr const char* kBertDisabled = "----------BERT FUNCTION DISABLED------";

constexpr int kReadyPolls = 1000;
constexpr int kReadyFastPolls = 100;
constexpr uint32_t kReadySlowPollMs = 28;
constexpr int kBusyTests = 1000;
constexpr int kNotInUseSleeps = 60;
constexpr uint32_t kNotInUseSleepMs = 5;
constexpr uint32_t kRegisterPauseMs = 2;
constexpr uint32_t kTestPauseMs = 5;
constexpr uint32_t kResendPauseMs = 10;
constexpr int kPendingReadClears = 32;
constexpr int kPeTestFailures = 6;
constexpr uint32_t kPeRetestMs = 28;
// A reply is at most 11 bytes; a module that keeps PE set beyond this has stopped
// answering sensibly.
constexpr int kMaxReplyBytes = 256;
constexpr int kSetupAttempts = 2;
constexpr int kSpecialAttempts = 5;
constexpr int kSourceBusyReadings = 10;
constexpr uint32_t kSourceBusySleepMs = 10;
constexpr int kConfigurationAttempts = 5;
constexpr uint32_t kDumpPauseMs = 10;
constexpr uint32_t kFirmwareWithRnrz9 = 146;
constexpr uint32_t kBModeAfterDate = 0x07070D;

constexpr const char* kSpecialStatusFile = "KELTDOSPECIAL.CFG";
constexpr const char* kSpecialStatusSection = "SPECIAL STATUS COMMANDS";
constexpr const char* kDebugFile = "debugkelt.dbg";
constexpr const char* kDisableBertFile = "disablebert.txt";

// Loop bandwidth command per row of the eight-entry table; the same codes read back.
constexpr std::array<uint8_t, 8> kLoopBandwidthCommands = {0x8B, 0x88, 0x85, 0x82,
                                                           0x81, 0x8F, 0x8E, 0x8D};
constexpr uint8_t kDefaultLoopBandwidthCommand = 0x82;

// One enable flag per special status command 0xE0 to 0xEC, shared by every bitsync of the
// process; written only while a bitsync is constructed.
struct SpecialStatusEnables {
  std::array<std::atomic<bool>, keltbitsyncclass2::kSpecialStatusEnableCount> flags;
  SpecialStatusEnables() {
    for (auto& flag : flags) flag.store(true);
  }
};

SpecialStatusEnables& Enables() {
  static SpecialStatusEnables enables;
  return enables;
}

}  // namespace

keltbitsyncclass2::keltbitsyncclass2() {
  LoadSpecialStatusConfig();
  debug_ = FileExistsAtPath(kDebugFile);
}

keltbitsyncclass2::~keltbitsyncclass2() {
  // A transaction cut short by the shutdown may have left reply bytes in the module.
  if (handle_ != nullptr && mother_card_ && readback_.load() && in_progress_.load()) {
    try {
      ClearPendingReads();
    } catch (...) {
      // A log line that cannot be built must not end the process during its shutdown.
    }
  }
}

// --- Helpers -----------------------------------------------------------------------------------

std::string keltbitsyncclass2::CardNumber() const {
  return FormatFixed(1, 0, card_index_ + 1);
}

void keltbitsyncclass2::Log(const std::string& message, int32_t code) const {
  LogInfo(message, code, false);
}

void keltbitsyncclass2::DebugLog(const std::string& message, int32_t code) const {
  if (debug_) Log(message, code);
}

// --- Registers and waits -----------------------------------------------------------------------

void keltbitsyncclass2::WriteBitsyncRegister(uint8_t offset, uint8_t value) {
  if (handle_ == nullptr) return;
  P9080_WriteByte(handle_, kAddressSpace, offset, value);
  write_shadow_[offset % kShadowSize] = value;
  platform::clock().Sleep(kRegisterPauseMs);
  DebugLog("      Bitsync Register Write ---  Reg : " + FormatHex(offset, 2, true) +
               " , Data : " + FormatHex(value, 2, true),
           5);
}

uint8_t keltbitsyncclass2::ReadBitsyncRegister(uint8_t offset) {
  if (handle_ == nullptr) return 0xFF;
  const uint8_t value = P9080_ReadByte(handle_, kAddressSpace, offset);
  read_shadow_[offset % kShadowSize] = value;
  platform::clock().Sleep(kRegisterPauseMs);
  return value;
}

bool keltbitsyncclass2::BusyTest() {
  const uint8_t status = ReadBitsyncRegister(kStatusRegister);
  platform::clock().Sleep(kTestPauseMs);
  return IsBitSet(status, kStatusBusyBit);
}

bool keltbitsyncclass2::PeTest() {
  const uint8_t status = ReadBitsyncRegister(kStatusRegister);
  platform::clock().Sleep(kTestPauseMs);
  return IsBitSet(status, kStatusPeBit);
}

bool keltbitsyncclass2::WaitBitsyncReady() {
  if (!valid_.load()) return false;
  for (int i = 0; i < kReadyPolls; ++i) {
    if (!IsBitSet(ReadBitsyncRegister(kStatusRegister), kStatusBusyBit)) return true;
    platform::clock().Yield();
    // The first polls are quick; a module still busy after them is given time.
    if (i > kReadyFastPolls) platform::clock().Sleep(kReadySlowPollMs);
  }
  return false;
}

bool keltbitsyncclass2::WaitWhileBusy() {
  for (int i = 0; i < kBusyTests; ++i) {
    if (!BusyTest()) return true;
  }
  return false;
}

bool keltbitsyncclass2::WaitNotInUse() {
  // Test and set in one step: two threads can never both see the flag clear and take it.
  for (int sleeps = 0;; ++sleeps) {
    bool expected = false;
    if (in_progress_.compare_exchange_strong(expected, true)) return true;
    if (sleeps == kNotInUseSleeps) return false;
    platform::clock().Sleep(kNotInUseSleepMs);
  }
}

bool keltbitsyncclass2::ReadStatusInTransaction(uint8_t& status) {
  Transaction transaction(*this);
  if (!transaction.Held()) return false;
  status = ReadBitsyncRegister(kStatusRegister);
  return true;
}

// --- Strobe, resend loop and replies -----------------------------------------------------------

bool keltbitsyncclass2::StrobeBitsyncCommand(uint8_t command) {
  if (!valid_.load()) return false;
  DebugLog("           strobe command", command);
  const uint8_t control = write_shadow_[kControlRegister];
  if (!WaitBitsyncReady()) {
    Log(std::string(kBitsyncPrefix) + CardNumber() + " StrobeBitsyncCommand Failed", 1);
    return false;
  }
  WriteBitsyncRegister(kCommandRegister, command);
  WriteBitsyncRegister(kControlRegister, control & ~kStrobeLine);
  WriteBitsyncRegister(kControlRegister, control | kStrobeLine);
  // The next strobe waits again; this wait only paces the module.
  WaitBitsyncReady();
  return true;
}

void keltbitsyncclass2::GiveUp(std::string_view prefix) {
  Log(std::string(prefix) + CardNumber() +
          " No communication with the bitsync, setting the bitsync invalid",
      1);
  valid_.store(false);
}

bool keltbitsyncclass2::SendWithResends(std::span<const uint8_t> commands, int attempts,
                                        std::string_view prefix, bool trace_each,
                                        size_t& failed_at) {
  const std::string lead = std::string(prefix) + CardNumber();
  for (size_t k = 0; k < commands.size(); ++k) {
    const auto code = static_cast<int32_t>(k);
    if (trace_each) DebugLog("Strobe In Command " + FormatHex(commands[k], 2, true), code);
    bool sent = false;
    for (int attempt = 0; attempt < attempts && !sent; ++attempt) {
      sent = StrobeBitsyncCommand(commands[k]);
      if (!sent) {
        platform::clock().Sleep(kResendPauseMs);
        Log(lead + " Invalid bitsync strobe command..resending", code);
      }
    }
    if (!sent) {
      Log(lead + " Invalid bitsync strobe command..NO MORE RESENDS", code);
      GiveUp(prefix);
      failed_at = k;
      return false;
    }
  }
  return true;
}

uint8_t keltbitsyncclass2::ReadResponseByte() {
  if (!IsBitSet(ReadBitsyncRegister(kStatusRegister), kStatusPeBit)) return 0;
  const uint8_t data = ReadBitsyncRegister(kCommandRegister);
  const uint8_t control = write_shadow_[kControlRegister];
  WriteBitsyncRegister(kControlRegister, control & ~kStrobeLine);
  WriteBitsyncRegister(kControlRegister, control | kStrobeLine);
  return data;
}

keltbitsyncclass2::Reply keltbitsyncclass2::RequestReply(uint8_t command, int capacity,
                                                         uint8_t* buffer) {
  if (!valid_.load()) {
    Log("RequestSpecialStatus Special Status card invalid", 255);
    return Reply::kFailed;
  }
  if (!special_commands_.load()) {
    Log("RequestSpecialStatus Special Status card cannot handle special commands", 255);
    return Reply::kFailed;
  }
  Transaction transaction(*this);
  if (!transaction.Held()) return Reply::kBusy;

  const std::array<uint8_t, 2> request = {command, kEndOfCommands};
  size_t failed_at = 0;
  if (!SendWithResends(request, kSpecialAttempts, kBitsyncPrefix, false, failed_at)) {
    return Reply::kFailed;
  }
  if (!WaitWhileBusy()) {
    GiveUp(kBitsyncPrefix);
    return Reply::kFailed;
  }
  for (int failures = 0; !PeTest();) {
    if (++failures == kPeTestFailures) {
      Log("Bitsync Not Ready To Receive Data. ERROR, disabled the special commands set.", 1);
      return Reply::kFailed;
    }
    platform::clock().Sleep(kPeRetestMs);
  }
  for (int j = 0;; ++j) {
    if (j == kMaxReplyBytes || !WaitWhileBusy()) {
      GiveUp(kBitsyncPrefix);
      return Reply::kFailed;
    }
    if (!PeTest()) break;
    const uint8_t byte = ReadResponseByte();
    // Bytes beyond the caller's room are still acknowledged, so the module is left idle.
    if (j < capacity) buffer[j] = byte;
    if (!WaitWhileBusy()) {
      GiveUp(kBitsyncPrefix);
      return Reply::kFailed;
    }
  }
  return Reply::kDone;
}

bool keltbitsyncclass2::RequestSpecialStatus(uint8_t command, int capacity, uint8_t* buffer) {
  return RequestReply(command, capacity, buffer) == Reply::kDone;
}

// --- Initialisation ----------------------------------------------------------------------------

void keltbitsyncclass2::ClearPendingReads() {
  // Control value 0 pulsed low then high: one acknowledge per stale reply byte.
  constexpr uint8_t kControl = 0x00;
  for (int attempt = 0; attempt < kPendingReadClears && PeTest(); ++attempt) {
    WriteBitsyncRegister(kControlRegister, kControl & ~kStrobeLine);
    WriteBitsyncRegister(kControlRegister, kControl | kStrobeLine);
    Log("pebit is set at init bitsync, clearing any pending read commands ", attempt);
  }
}

void keltbitsyncclass2::CheckReadback() {
  // Only the newer mother card reads its command register back.
  Log("...Checking for old/new decom type card for bitsync...");
  Log("   PeBitSet is " + YesNoText(PeTest()));
  Log("   Writing " + FormatHex(kEndOfCommands, 2, false) + " To Command Reg ");
  WriteBitsyncRegister(kCommandRegister, kEndOfCommands);
  BusyTest();
  const uint8_t read = ReadBitsyncRegister(kCommandRegister);
  Log("   Read " + FormatHex(read, 2, false) + " From Command Reg ");
  readback_.store(read == kEndOfCommands);
  Log("   Is Newer Decom Card is " + YesNoText(readback_.load()));
}

bool keltbitsyncclass2::InitBitsync(int32_t card_index, bool mother_card, P9080_HANDLE handle,
                                    std::string& error_text) {
  card_index_ = card_index;
  error_text_.clear();
  handle_ = handle;
  mother_card_ = mother_card;
  valid_.store(handle != nullptr);
  if (handle == nullptr) {
    error_text_ = "Invalid card driver";
  } else {
    uint8_t status = 0;
    if (!ReadStatusInTransaction(status) || IsBitSet(status, kStatusNoModuleBit)) {
      valid_.store(false);
      error_text_ = "Status Indicates NO KELTTF BITSYNC PRESENT";
    }
    // Runs without a module too: the log then shows what the empty slot answers.
    const uint8_t saved_command = ReadBitsyncRegister(kCommandRegister);
    ClearPendingReads();
    CheckReadback();
    WriteBitsyncRegister(kCommandRegister, saved_command);
    Log("...Done Checking for old/new decom type card for bitsync...");
  }
  error_text = error_text_;
  return valid_.load();
}

// --- Setup programming -------------------------------------------------------------------------

bool keltbitsyncclass2::SetBitsyncInputSource(const BitsyncSetup& setup) {
  if (!valid_.load()) return false;
  const uint8_t control = (write_shadow_[kControlRegister] & 0xCC) | 0x0C;
  int32_t source = setup.InputSource;
  if (!readback_.load() && source > 3) source = 3;
  uint8_t low = 0;
  uint8_t high = 0;
  if (source >= 1 && source <= 11) {
    low = static_cast<uint8_t>(source % 4);
    high = static_cast<uint8_t>(source / 4);
  }
  WriteBitsyncRegister(kControlRegister, control | (high << 4) | low);
  for (int reading = 0; reading < kSourceBusyReadings; ++reading) {
    if (!IsBitSet(ReadBitsyncRegister(kStatusRegister), kStatusBusyBit)) return true;
    platform::clock().Sleep(kSourceBusySleepMs);
  }
  return false;
}

void keltbitsyncclass2::AppendCommand(uint8_t command) {
  if (command_count_ < kCommandArraySize) commands_[command_count_++] = command;
}

void keltbitsyncclass2::AppendQuickReact(uint8_t quick_react_mode) {
  if (quick_react_mode != 0) {
    AppendCommand(0x0E);
    Log("Quick React Mode Set");
  } else {
    AppendCommand(0x04);
    Log("Quick React Mode NOT Set");
  }
}

bool keltbitsyncclass2::FillInCommandAry(const BitsyncSetup& setup, uint32_t firmware_version_low,
                                         uint8_t quick_react_mode) {
  if (!valid_.load()) return false;
  const bool has_rnrz9 = firmware_version_low >= kFirmwareWithRnrz9;
  command_count_ = 0;
  AppendCommand(0x00);
  if (has_rnrz9) AppendCommand(0x02);

  // Eight decimal digits, most significant first, each tagged with its position.
  constexpr std::array<uint8_t, 8> kDigitTags = {0x90, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
  uint32_t divisor = 10'000'000;
  for (size_t i = 0; i < kDigitTags.size(); ++i, divisor /= 10) {
    const uint32_t digit = i == 0 ? setup.BitRate / divisor : setup.BitRate / divisor % 10;
    AppendCommand(static_cast<uint8_t>(kDigitTags[i] + digit));
  }

  const int32_t loop = setup.LoopBandwidth;
  AppendCommand(loop >= 0 && loop < 8 ? kLoopBandwidthCommands[loop]
                                      : kDefaultLoopBandwidthCommand);

  // RNRZ-9 is the RNRZ23 (or INV_RNRZ23) code byte announced by 0x07.
  const int32_t input = setup.InputCode;
  if (input >= 0 && input <= 15) {
    AppendCommand(static_cast<uint8_t>(0xA0 + input));
  } else if (input >= 16 && input <= 29) {
    AppendCommand(static_cast<uint8_t>(0xD0 + (input - 16)));
  } else if (input == 30 && has_rnrz9) {
    AppendCommand(0x07);
    AppendCommand(0xD1);
    Log("RNRZ-9 Input Code Set");
  } else if (input == 31 && has_rnrz9) {
    AppendCommand(0x07);
    AppendCommand(0xDD);
    Log("INV_RNRZ-9 Input Code Set");
  }

  const int32_t output = setup.OutputCode;
  if (output >= 0 && output <= 15) {
    AppendCommand(static_cast<uint8_t>(0xB0 + output));
  } else if (output == 16) {
    AppendCommand(0xDE);
  } else if (output == 17) {
    AppendCommand(0xDF);
  } else if (output == 18 && has_rnrz9) {
    AppendCommand(0x07);
    AppendCommand(0xDF);
    Log("RNRZ-9 Output Code Set");
  }

  AppendQuickReact(quick_react_mode);
  AppendCommand(setup.BitDecisionDetector != 0 ? 0x09 : 0x08);
  if (setup.Do90DegClkOut != 0) {
    AppendCommand(0x01);
    Log("90 Deg Output Clock Set");
  } else {
    AppendCommand(0x00);
    Log("0 Deg Output Clock Set");
  }

  if (special_commands_.load()) {
    AppendCommand(setup.StartupAutoTestEnabled != 0 ? 0xC1 : 0xC0);
    AppendCommand(setup.Pattern15Bit != 0 ? 0xC3 : 0xC2);
    AppendCommand(0xC8);
    if (setup.NrzlDcOutputDisabledAtSymbolUnlock != 0) AppendCommand(0xC4);
    if (setup.NrzlDcOutputDisabledAtEsNo5Db != 0) AppendCommand(0xC5);
    if (setup.PcmEncoderOutputDisabledAtSymbolUnlock != 0) AppendCommand(0xC6);
    if (setup.PcmEncoderOutputDisabledAtEsNo5Db != 0) AppendCommand(0xC7);
    if (setup.BerTestingEnabled == 0) {
      AppendCommand(0xCD);
    } else {
      AppendCommand(setup.ExtBerMode != 0 ? 0xCA : 0xCE);
    }
    AppendCommand(setup.KnownErrorMode != 0 ? 0xCC : 0xCB);
  }
  AppendCommand(kEndOfCommands);
  return true;
}

bool keltbitsyncclass2::FillInCommandAryQuickReact(uint8_t quick_react_mode) {
  if (!valid_.load()) return false;
  commands_.fill(0);
  command_count_ = 0;
  AppendQuickReact(quick_react_mode);
  AppendCommand(kEndOfCommands);
  return true;
}

bool keltbitsyncclass2::SendSetupCommands(std::string& error_text) {
  size_t failed_at = 0;
  if (SendWithResends(Commands(), kSetupAttempts, kBitsyncPrefix, true, failed_at)) return true;
  error_text = std::string(kBitsyncPrefix) + CardNumber() + " refused command " +
               FormatHex(commands_[failed_at], 2, true) + " at position " +
               std::to_string(failed_at) + "; the bitsync is now invalid";
  return false;
}

std::string keltbitsyncclass2::RefusalText(std::string_view reason) const {
  return std::string(kBitsyncPrefix) + CardNumber() + " " + std::string(reason) +
         ", setup not sent";
}

bool keltbitsyncclass2::SendCompleteBitsyncSetup(const BitsyncSetup& setup,
                                                 uint8_t quick_react_mode,
                                                 std::string& error_text) {
  if (!valid_.load()) {
    error_text = RefusalText("is invalid (no answer from the module)");
    return false;
  }
  // The leading digit has no room above 9: a higher rate would program a wrong one.
  if (setup.BitRate > kMaxBitRate) {
    error_text = RefusalText("bit rate " + std::to_string(setup.BitRate) +
                             " is out of range (at most 99999999)");
    return false;
  }
  {
    Transaction transaction(*this);
    if (!transaction.Held()) {
      error_text = RefusalText("is busy with another transaction");
      return false;
    }
    DebugLog(kRule);
    DebugLog(" KELT SendCompleteBitsyncSetup Routine START");
    if (debug_) PrintBitsyncSetup(setup);
    DebugLog("SetBitsyncInputSource()....");
    if (!SetBitsyncInputSource(setup)) {
      error_text = std::string(kBitsyncPrefix) + CardNumber() + " Invalid bitsync source command.";
      Log(error_text, 1);
      GiveUp(kBitsyncPrefix);
      return false;
    }
    DebugLog("FillInCommandAry()....");
    FillInCommandAry(setup, firmware_low_.load(), quick_react_mode);
    DebugLog("Strobe In Commands....");
    if (!SendSetupCommands(error_text)) return false;
    DebugLog(kRule);
    DebugLog(" KELT SendCompleteBitsyncSetup Routine END");
  }
  if (debug_) LogBitsyncStatusReads();
  return true;
}

bool keltbitsyncclass2::SendBitsyncSetupQuickReactMode(uint8_t quick_react_mode,
                                                       std::string& error_text) {
  if (!valid_.load()) {
    error_text = RefusalText("is invalid (no answer from the module)");
    return false;
  }
  Transaction transaction(*this);
  if (!transaction.Held()) {
    error_text = RefusalText("is busy with another transaction");
    return false;
  }
  DebugLog(kRule);
  DebugLog(" KELT SendBitsyncSetupQuickReactMode Routine START");
  DebugLog("FillInCommandAryQuickReact()....");
  FillInCommandAryQuickReact(quick_react_mode);
  DebugLog("Strobe In Commands....");
  if (!SendSetupCommands(error_text)) return false;
  DebugLog(kRule);
  DebugLog(" KELT SendBitsyncSetupQuickReactMode Routine END");
  return true;
}

// --- Status, options and special status --------------------------------------------------------

void keltbitsyncclass2::LoadSpecialStatusConfig() {
  const std::string path = std::string(StartDirectory) + "\\" + kSpecialStatusFile;
  if (!FileExistsAtPath(path)) return;
  for (int i = 0; i < kSpecialStatusEnableCount; ++i) {
    const std::string key = "DoE" + FormatHex(static_cast<uint32_t>(i), 1, false);
    bool enabled = false;
    if (ReadSettingBool(path, kSpecialStatusSection, key, enabled)) {
      Enables().flags[i].store(enabled);
    }
  }
}

bool keltbitsyncclass2::SpecialStatusEnabled(uint8_t command) {
  const int index = command - kOperationalStatus;
  return index < 0 || index >= kSpecialStatusEnableCount || Enables().flags[index].load();
}

keltbitsyncclass2::Reply keltbitsyncclass2::ReadEnabled(uint8_t command, int capacity,
                                                        uint8_t* buffer) {
  if (!SpecialStatusEnabled(command)) return Reply::kSkipped;
  return RequestReply(command, capacity, buffer);
}

bool keltbitsyncclass2::Succeeded(Reply reply) {
  return reply == Reply::kDone || reply == Reply::kSkipped;
}

bool keltbitsyncclass2::GetBitsyncStatus(int32_t& code) {
  if (!valid_.load()) {
    code = 5;
    return false;
  }
  uint8_t status = 0;
  if (!ReadStatusInTransaction(status)) {
    code = 3;
    return true;
  }
  if (IsBitSet(status, kStatusNoModuleBit)) {
    code = 5;
    return true;
  }
  if (IsBitSet(status, kStatusBusyBit)) {
    code = 4;
    return true;
  }
  if (b_mode_.load()) {
    // This module reports lock through its operational status, read on every fourth poll.
    int32_t counter = poll_counter_.load() + 1;
    if (counter > 3) counter = 0;
    poll_counter_.store(counter);
    if (counter != 0) return true;
    std::array<bool, 8> operational{};
    switch (ReadOperationalStatus(operational)) {
      case Reply::kBusy:
        code = 3;
        return true;
      case Reply::kFailed:
        code = 4;
        return false;
      case Reply::kSkipped:
        return true;
      case Reply::kDone:
        break;
    }
    // While the BER test runs, lock also needs the test pattern's correlator.
    const bool locked = operational[4] ? operational[1] && operational[5] : operational[1];
    code = locked ? 2 : 1;
    return true;
  }
  if (!IsBitSet(status, kStatusSignalBit)) {
    code = 0;
  } else {
    code = IsBitSet(status, kStatusLockedBit) ? 2 : 1;
  }
  return true;
}

bool keltbitsyncclass2::ReadBitsyncConfiguration(uint8_t& option_20mbit, uint8_t& option_bert,
                                                 uint32_t& firmware_version_high,
                                                 uint32_t& firmware_version_low) {
  special_commands_.store(true);
  std::array<uint8_t, 6> bytes{};
  bool read = false;
  for (int attempt = 0; attempt < kConfigurationAttempts && !read; ++attempt) {
    read = RequestSpecialStatus(kConfiguration, static_cast<int>(bytes.size()), bytes.data());
    if (!read) {
      Log("RequestSpecialStatus() failed", attempt);
      NoticeBeep();
    }
  }
  if (!read) {
    firmware_version_high = 0;
    firmware_version_low = 0;
    option_20mbit = 1;
    option_bert = 0;
    special_commands_.store(false);
    Log("RequestSpecialStatus() failed 5 times", 255);
    NoticeBeep();
    return false;
  }

  std::string line =
      "Bitsync Configuation bytes for Bitsync # " + FormatFixed(2, 0, card_index_ + 1) + " = ";
  for (const uint8_t byte : bytes) line += FormatHex(byte, 2, true) + " ";
  Log(line, card_index_);

  // The older modules write '1' or '2' here and pack their date into bytes 3 and 4.
  const bool older = bytes[2] == '1' || bytes[2] == '2';
  newer_format_.store(!older);
  uint32_t date = 0;
  if (older) {
    const uint32_t year = ((bytes[4] >> 4) + (bytes[3] >> 5) - 9) & 0xFF;
    date = year << 16 | static_cast<uint32_t>(bytes[4] & 0x0F) << 8 | (bytes[3] & 0x1F);
    firmware_version_high = static_cast<uint32_t>(bytes[4]) << 8 | bytes[3];
  } else {
    date = static_cast<uint32_t>(bytes[3]) << 16 | static_cast<uint32_t>(bytes[4]) << 8 | bytes[5];
    firmware_version_high = static_cast<uint32_t>(bytes[3]) << 8 | bytes[4];
  }
  date_code_.store(date);
  firmware_version_low = bytes[5];
  Log("FIRMWARE VERSION " + FormatHex(firmware_version_high, 4, false) + " : " +
      FormatFixed(3, 0, firmware_version_low));
  option_20mbit = IsBitSet(bytes[2], 0) ? 0 : 1;
  firmware_low_.store(firmware_version_low);
  option_bert = 1;
  b_mode_.store(date > kBModeAfterDate);
  if (b_mode_.load()) Log("Bitsync (b mode) in use", card_index_);

  if (FileExistsAtPath(kDisableBertFile)) {
    option_bert = 0;
    Log(kEqualsRule);
    Log(kBertDisabled);
    ErrorBeep();
    Log("     remove file disablebert.txt and restart to enable    ");
    NoticeBeep();
    Log(kBertDisabled);
    Log(kEqualsRule);
  }
  Log("20 MBit option installed is " + YesNoText(option_20mbit != 0));
  Log("Bert Function option installed is " + YesNoText(option_bert != 0));
  return true;
}

bool keltbitsyncclass2::GetBitsyncProgrammedBitRate(uint32_t& bit_rate) {
  std::array<uint8_t, 10> reply{};
  const Reply result = ReadEnabled(kProgrammedBitRate, 10, reply.data());
  if (result != Reply::kDone) return Succeeded(result);
  // The reply carries the eight digit commands of the setup, most significant first.
  bit_rate = 0;
  uint32_t weight = 10'000'000;
  for (size_t k = 0; k < 8; ++k, weight /= 10) bit_rate += (reply[k + 2] & 0x0Fu) * weight;
  return true;
}

bool keltbitsyncclass2::GetBitsyncProgrammedInputCode(int32_t& input_code) {
  std::array<uint8_t, 3> reply{};
  const Reply result = ReadEnabled(kProgrammedInputCode, 3, reply.data());
  if (result == Reply::kSkipped) return true;
  if (result != Reply::kDone) {
    Log("getbitsyncprogrammedinputcodestatus failed at requestspecialstatus", 255);
    return false;
  }
  const uint8_t byte = reply[2];
  if (byte >= 0xA0 && byte <= 0xAF) {
    input_code = byte - 0xA0;
  } else if (byte >= 0xD0 && byte <= 0xDD) {
    input_code = byte - 0xD0 + 16;
  } else {
    // An unknown code is handed back raw so the caller can log it.
    input_code = byte;
    return false;
  }
  return true;
}

bool keltbitsyncclass2::GetBitsyncProgrammedOutputCode(int32_t& output_code) {
  std::array<uint8_t, 3> reply{};
  const Reply result = ReadEnabled(kProgrammedOutputCode, 3, reply.data());
  if (result != Reply::kDone) return Succeeded(result);
  const uint8_t byte = reply[2];
  if (byte >= 0xB0 && byte <= 0xBF) {
    output_code = byte - 0xB0;
  } else if (byte == 0xDE) {
    output_code = 16;
  } else if (byte == 0xDF) {
    output_code = 17;
  } else {
    return false;
  }
  return true;
}

bool keltbitsyncclass2::GetBitsyncProgrammedLoopBw(uint8_t& loop_bandwidth) {
  std::array<uint8_t, 3> reply{};
  const Reply result = ReadEnabled(kProgrammedLoopBandwidth, 3, reply.data());
  if (result != Reply::kDone) return Succeeded(result);
  // Bits 4 to 6 are not part of the code; the last row takes every other value.
  const uint8_t code = reply[2] & 0x8F;
  uint8_t row = 0;
  while (row < 7 && kLoopBandwidthCommands[row] != code) ++row;
  loop_bandwidth = row;
  return true;
}

keltbitsyncclass2::Reply keltbitsyncclass2::ReadOperationalStatus(std::array<bool, 8>& status) {
  std::array<uint8_t, 3> reply{};
  const Reply result = ReadEnabled(kOperationalStatus, 3, reply.data());
  if (result == Reply::kDone) {
    for (int bit = 0; bit < 8; ++bit) status[bit] = IsBitSet(reply[2], bit);
  }
  return result;
}

bool keltbitsyncclass2::GetBitsyncOperationalStatus(std::array<bool, 8>& status) {
  return Succeeded(ReadOperationalStatus(status));
}

bool keltbitsyncclass2::GetBitsyncBIT(std::array<uint8_t, 5>& results) {
  std::array<uint8_t, 7> reply{};
  const Reply result = ReadEnabled(kBuiltInTest, 7, reply.data());
  if (result == Reply::kDone) std::copy(reply.begin() + 2, reply.end(), results.begin());
  return Succeeded(result);
}

void keltbitsyncclass2::LogBitsyncStatusReads() {
  const auto pause = [this] {
    Log("-");
    platform::clock().Sleep(kDumpPauseMs);
  };
  Log("<<<<<<<<<<<< Status Reads from The Bitsync >>>>>>>>>>>>>>>");
  uint8_t option_20mbit = 0;
  uint8_t option_bert = 0;
  uint32_t firmware_high = 0;
  uint32_t firmware_low = 0;
  ReadBitsyncConfiguration(option_20mbit, option_bert, firmware_high, firmware_low);
  Log("option20mbit = " + YesNoText(option_20mbit != 0));
  Log("optionbert = " + YesNoText(option_bert != 0));
  Log("firmwareversionhi = " + FormatHex(firmware_high, 8, true));
  Log("firmwareversionlo = " + FormatHex(firmware_low, 8, true));
  pause();

  uint32_t bit_rate = 0;
  GetBitsyncProgrammedBitRate(bit_rate);
  Log("bitrate = " + FormatFixed(12, 0, bit_rate));
  pause();
  int32_t input_code = 0;
  GetBitsyncProgrammedInputCode(input_code);
  Log("inputcode = " + FormatFixed(12, 0, input_code));
  pause();
  int32_t output_code = 0;
  GetBitsyncProgrammedOutputCode(output_code);
  Log("outputcode = " + FormatFixed(12, 0, output_code));
  pause();
  uint8_t loop_bandwidth = 0;
  GetBitsyncProgrammedLoopBw(loop_bandwidth);
  Log("loopbw = " + FormatFixed(12, 0, loop_bandwidth));
  pause();

  std::array<uint8_t, 5> bit{};
  GetBitsyncBIT(bit);
  constexpr std::array<const char*, 5> kBitLabels = {
      "overallbitstatus = ", "serialinterfacestatus = ", "internalswversionstatus = ",
      "syncpcmgenstatus = ", "powermonitorstatus = "};
  for (size_t i = 0; i < bit.size(); ++i) Log(kBitLabels[i] + FormatFixed(12, 0, bit[i]));
  pause();
  Log("------------ DONE with Status Reads from The Bitsync ---------------");
}

// --- Link analysis, signal quality and FSP -----------------------------------------------------

bool keltbitsyncclass2::GetLinkAnalysisBitCount(uint32_t& bit_count) {
  std::array<uint8_t, 6> reply{};
  const Reply result = ReadEnabled(kLinkAnalysisBitCount, 6, reply.data());
  if (result == Reply::kDone) {
    bit_count = (reply[2] | static_cast<uint32_t>(reply[3]) << 8 |
                 static_cast<uint32_t>(reply[4]) << 16 | static_cast<uint32_t>(reply[5]) << 24) &
                0x3FFFFFFF;
    if (debug_) LogBitsyncStatusReads();
  }
  return Succeeded(result);
}

bool keltbitsyncclass2::GetLinkAnalysisErrorCount(uint32_t& error_count) {
  std::array<uint8_t, 5> reply{};
  const Reply result = ReadEnabled(kLinkAnalysisErrorCount, 5, reply.data());
  if (result == Reply::kDone) {
    error_count =
        (reply[2] | static_cast<uint32_t>(reply[3]) << 8 | static_cast<uint32_t>(reply[4]) << 16) &
        0x3FFFFFFF;
  }
  return Succeeded(result);
}

bool keltbitsyncclass2::GetLinkAnalysisOperationalStatus(bool& correlator_locked,
                                                         bool& correlator_history,
                                                         bool& error_count_overflow) {
  std::array<uint8_t, 5> reply{};
  const Reply result = ReadEnabled(kLinkAnalysisStatus, 5, reply.data());
  if (result == Reply::kDone) {
    correlator_locked = IsBitSet(reply[2], 0);
    correlator_history = IsBitSet(reply[3], 0);
    error_count_overflow = IsBitSet(reply[4], 0);
  }
  return Succeeded(result);
}

keltbitsyncclass2::Reply keltbitsyncclass2::ReadText(uint8_t command, int capacity, uint8_t* reply,
                                                     std::string& text) {
  const Reply result = ReadEnabled(command, capacity, reply);
  if (result == Reply::kDone) {
    // Seven characters from byte 2; a zero byte ends the text early.
    std::string received;
    for (int k = 2; k < 9 && reply[k] != 0; ++k) received += static_cast<char>(reply[k]);
    text = received;
  }
  return result;
}

bool keltbitsyncclass2::GetEstimatedEsNo(std::string& text) {
  // Modules of the newer format append the FSP count in bytes 9 and 10.
  const bool newer = newer_format_.load();
  std::array<uint8_t, 11> reply{};
  const Reply result = ReadText(kEstimatedEsNo, newer ? 11 : 9, reply.data(), text);
  if (result == Reply::kDone) {
    const bool counting = newer && fsp_on_.load();
    fsp_count_.store(counting ? static_cast<uint16_t>(reply[9] << 8 | reply[10]) : 0);
  }
  return Succeeded(result);
}

bool keltbitsyncclass2::GetSignalVoltage(std::string& text) {
  std::array<uint8_t, 9> reply{};
  return Succeeded(ReadText(kSignalVoltage, 9, reply.data(), text));
}

bool keltbitsyncclass2::GetOffsetFrequency(std::string& text) {
  std::array<uint8_t, 9> reply{};
  return Succeeded(ReadText(kOffsetFrequency, 9, reply.data(), text));
}

bool keltbitsyncclass2::GetBsEnableFspOption(uint8_t& option) {
  option = 0;
  if (!newer_format_.load()) return false;
  option = 1;
  return true;
}

bool keltbitsyncclass2::SendFspCommands(std::span<const uint8_t> commands,
                                        std::string_view prefix) {
  if (!valid_.load()) return false;
  Transaction transaction(*this);
  if (!transaction.Held()) return false;
  size_t failed_at = 0;
  if (!SendWithResends(commands, kSpecialAttempts, prefix, false, failed_at)) return false;
  if (!WaitWhileBusy()) {
    GiveUp(prefix);
    return false;
  }
  return true;
}

bool keltbitsyncclass2::EnableBsFspSigQualMode(int32_t f1, int32_t f2, int32_t f3, int32_t f4,
                                               int32_t f5) {
  if (!newer_format_.load() || f2 < 1 || f2 > 64 || f3 < 0 || f3 > 14 || f1 < f2 || f1 > 65535) {
    return false;
  }
  // The module wants F4 normalised so that its bit 31 is set; F5 moves with it.
  auto scaled4 = static_cast<uint32_t>(f4);
  auto scaled5 = static_cast<uint32_t>(f5);
  if (scaled4 != 0) {
    const int shift = std::countl_zero(scaled4);
    scaled4 <<= shift;
    scaled5 <<= shift;
  }
  const auto byte = [](uint32_t value, int shift) { return static_cast<uint8_t>(value >> shift); };
  const std::array<uint8_t, 14> commands = {0x05,
                                            byte(scaled4, 24),
                                            byte(scaled4, 16),
                                            byte(scaled4, 8),
                                            byte(scaled4, 0),
                                            byte(scaled5, 24),
                                            byte(scaled5, 16),
                                            byte(scaled5, 8),
                                            byte(scaled5, 0),
                                            byte(static_cast<uint32_t>(f2), 0),
                                            byte(static_cast<uint32_t>(f3), 0),
                                            byte(static_cast<uint32_t>(f1), 8),
                                            byte(static_cast<uint32_t>(f1), 0),
                                            kEndOfCommands};
  if (!SendFspCommands(commands, kFspEnablePrefix)) return false;
  fsp_on_.store(true);
  return true;
}

bool keltbitsyncclass2::DisableBsFspSigQualMode() {
  if (!newer_format_.load()) return false;
  const std::array<uint8_t, 2> commands = {0x06, kEndOfCommands};
  if (!SendFspCommands(commands, kFspDisablePrefix)) return false;
  fsp_on_.store(false);
  return true;
}

bool keltbitsyncclass2::GetBsFspCount(uint16_t& count) {
  if (!newer_format_.load()) return false;
  count = fsp_count_.load();
  return true;
}
