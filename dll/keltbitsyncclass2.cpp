#include "dll/keltbitsyncclass2.h"

#include "dll/BitsyncReplies.h"
#include "dll/keltnametables.h"
#include "platform/clock.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"
#include "support/keserrorlog.h"
#include "zorv/ZorvApi.h"

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
constexpr uint32_t kBModeAfterDate = 0x07070D;

constexpr const char* kSpecialStatusFile = "KELTDOSPECIAL.CFG";
constexpr const char* kSpecialStatusSection = "SPECIAL STATUS COMMANDS";
constexpr const char* kDebugFile = "debugkelt.dbg";
constexpr const char* kDisableBertFile = "disablebert.txt";

namespace opcode = bitsync::opcode;
namespace status_command = bitsync::status_command;
namespace reply_size = bitsync::reply_size;

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

  const std::array<uint8_t, 2> request = {command, opcode::kEndOfCommands};
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
  Log("   Writing " + FormatHex(opcode::kEndOfCommands, 2, false) + " To Command Reg ");
  WriteBitsyncRegister(kCommandRegister, opcode::kEndOfCommands);
  BusyTest();
  const uint8_t read = ReadBitsyncRegister(kCommandRegister);
  Log("   Read " + FormatHex(read, 2, false) + " From Command Reg ");
  readback_.store(read == opcode::kEndOfCommands);
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

void keltbitsyncclass2::TakeCommands(const bitsync::SetupCommands& encoded) {
  commands_ = encoded.bytes;
  for (const std::string& note : encoded.notes) Log(note);
}

bool keltbitsyncclass2::FillInCommandAry(const BitsyncSetup& setup, uint32_t firmware_version_low,
                                         uint8_t quick_react_mode) {
  if (!valid_.load()) return false;
  const bitsync::ModuleFacts facts{firmware_version_low, special_commands_.load()};
  TakeCommands(bitsync::EncodeSetup(setup, facts, quick_react_mode));
  return true;
}

bool keltbitsyncclass2::FillInCommandAryQuickReact(uint8_t quick_react_mode) {
  if (!valid_.load()) return false;
  TakeCommands(bitsync::EncodeQuickReact(quick_react_mode));
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
  if (setup.BitRate > bitsync::kMaxBitRate) {
    error_text =
        RefusalText("bit rate " + std::to_string(setup.BitRate) + " is out of range (at most " +
                    std::to_string(bitsync::kMaxBitRate) + ")");
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
  const int index = command - status_command::kOperationalStatus;
  return index < 0 || index >= kSpecialStatusEnableCount || Enables().flags[index].load();
}

keltbitsyncclass2::Reply keltbitsyncclass2::ReadEnabled(uint8_t command, std::span<uint8_t> reply) {
  if (!SpecialStatusEnabled(command)) return Reply::kSkipped;
  return RequestReply(command, static_cast<int>(reply.size()), reply.data());
}

bool keltbitsyncclass2::Succeeded(Reply reply) {
  return reply == Reply::kDone || reply == Reply::kSkipped;
}

bool keltbitsyncclass2::GetBitsyncStatus(int32_t& code) {
  if (!valid_.load()) {
    code = kZorvApiLockDoesNotExist;
    return false;
  }
  uint8_t status = 0;
  if (!ReadStatusInTransaction(status)) {
    code = kZorvApiLockBusy;
    return true;
  }
  if (IsBitSet(status, kStatusNoModuleBit)) {
    code = kZorvApiLockDoesNotExist;
    return true;
  }
  if (IsBitSet(status, kStatusBusyBit)) {
    code = kZorvApiLockError;
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
        code = kZorvApiLockBusy;
        return true;
      case Reply::kFailed:
        code = kZorvApiLockError;
        return false;
      case Reply::kSkipped:
        return true;
      case Reply::kDone:
        break;
    }
    code = bitsync::OperationalLock(operational) ? kZorvApiLockLocked : kZorvApiLockSearch;
    return true;
  }
  if (!IsBitSet(status, kStatusSignalBit)) {
    code = kZorvApiLockNoClockNoSignal;
  } else {
    code = IsBitSet(status, kStatusLockedBit) ? kZorvApiLockLocked : kZorvApiLockSearch;
  }
  return true;
}

bool keltbitsyncclass2::ReadBitsyncConfiguration(uint8_t& option_20mbit, uint8_t& option_bert,
                                                 uint32_t& firmware_version_high,
                                                 uint32_t& firmware_version_low) {
  special_commands_.store(true);
  std::array<uint8_t, reply_size::kConfiguration> bytes{};
  bool read = false;
  for (int attempt = 0; attempt < kConfigurationAttempts && !read; ++attempt) {
    read = RequestSpecialStatus(status_command::kConfiguration, static_cast<int>(bytes.size()),
                                bytes.data());
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

  const bitsync::Configuration configuration = bitsync::DecodeConfiguration(bytes);
  newer_format_.store(configuration.newer_format);
  date_code_.store(configuration.date_code);
  firmware_version_high = configuration.firmware_version_high;
  firmware_version_low = configuration.firmware_version_low;
  Log("FIRMWARE VERSION " + FormatHex(firmware_version_high, 4, false) + " : " +
      FormatFixed(3, 0, firmware_version_low));
  option_20mbit = configuration.option_20mbit ? 1 : 0;
  firmware_low_.store(firmware_version_low);
  option_bert = 1;
  b_mode_.store(configuration.date_code > kBModeAfterDate);
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
  std::array<uint8_t, reply_size::kProgrammedBitRate> reply{};
  const Reply result = ReadEnabled(status_command::kProgrammedBitRate, reply);
  if (result != Reply::kDone) return Succeeded(result);
  bit_rate = bitsync::DecodeProgrammedBitRate(reply);
  return true;
}

bool keltbitsyncclass2::GetBitsyncProgrammedInputCode(int32_t& input_code) {
  std::array<uint8_t, reply_size::kProgrammedCode> reply{};
  const Reply result = ReadEnabled(status_command::kProgrammedInputCode, reply);
  if (result == Reply::kSkipped) return true;
  if (result != Reply::kDone) {
    Log("getbitsyncprogrammedinputcodestatus failed at requestspecialstatus", 255);
    return false;
  }
  const std::optional<int32_t> code = bitsync::DecodeInputCode(reply[2]);
  // An unknown code is handed back raw so the caller can log it.
  input_code = code.value_or(reply[2]);
  return code.has_value();
}

bool keltbitsyncclass2::GetBitsyncProgrammedOutputCode(int32_t& output_code) {
  std::array<uint8_t, reply_size::kProgrammedCode> reply{};
  const Reply result = ReadEnabled(status_command::kProgrammedOutputCode, reply);
  if (result != Reply::kDone) return Succeeded(result);
  const std::optional<int32_t> code = bitsync::DecodeOutputCode(reply[2]);
  if (!code) return false;
  output_code = *code;
  return true;
}

bool keltbitsyncclass2::GetBitsyncProgrammedLoopBw(uint8_t& loop_bandwidth) {
  std::array<uint8_t, reply_size::kProgrammedCode> reply{};
  const Reply result = ReadEnabled(status_command::kProgrammedLoopBandwidth, reply);
  if (result != Reply::kDone) return Succeeded(result);
  loop_bandwidth = bitsync::DecodeLoopBandwidth(reply[2]);
  return true;
}

keltbitsyncclass2::Reply keltbitsyncclass2::ReadOperationalStatus(std::array<bool, 8>& status) {
  std::array<uint8_t, reply_size::kOperationalStatus> reply{};
  const Reply result = ReadEnabled(status_command::kOperationalStatus, reply);
  if (result == Reply::kDone) status = bitsync::DecodeOperationalStatus(reply);
  return result;
}

bool keltbitsyncclass2::GetBitsyncOperationalStatus(std::array<bool, 8>& status) {
  return Succeeded(ReadOperationalStatus(status));
}

bool keltbitsyncclass2::GetBitsyncBIT(std::array<uint8_t, 5>& results) {
  std::array<uint8_t, reply_size::kBuiltInTest> reply{};
  const Reply result = ReadEnabled(status_command::kBuiltInTest, reply);
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
  std::array<uint8_t, reply_size::kLinkAnalysisBitCount> reply{};
  const Reply result = ReadEnabled(status_command::kLinkAnalysisBitCount, reply);
  if (result == Reply::kDone) {
    bit_count = bitsync::DecodeLinkAnalysisBitCount(reply);
    if (debug_) LogBitsyncStatusReads();
  }
  return Succeeded(result);
}

bool keltbitsyncclass2::GetLinkAnalysisErrorCount(uint32_t& error_count) {
  std::array<uint8_t, reply_size::kLinkAnalysisErrorCount> reply{};
  const Reply result = ReadEnabled(status_command::kLinkAnalysisErrorCount, reply);
  if (result == Reply::kDone) error_count = bitsync::DecodeLinkAnalysisErrorCount(reply);
  return Succeeded(result);
}

bool keltbitsyncclass2::GetLinkAnalysisOperationalStatus(bool& correlator_locked,
                                                         bool& correlator_history,
                                                         bool& error_count_overflow) {
  std::array<uint8_t, reply_size::kLinkAnalysisStatus> reply{};
  const Reply result = ReadEnabled(status_command::kLinkAnalysisStatus, reply);
  if (result == Reply::kDone) {
    const bitsync::LinkAnalysisStatus status = bitsync::DecodeLinkAnalysisStatus(reply);
    correlator_locked = status.correlator_locked;
    correlator_history = status.correlator_history;
    error_count_overflow = status.error_count_overflow;
  }
  return Succeeded(result);
}

keltbitsyncclass2::Reply keltbitsyncclass2::ReadText(uint8_t command, std::span<uint8_t> reply,
                                                     std::string& text) {
  const Reply result = ReadEnabled(command, reply);
  if (result == Reply::kDone) text = bitsync::DecodeText(reply);
  return result;
}

bool keltbitsyncclass2::GetEstimatedEsNo(std::string& text) {
  // Modules of the newer format append the FSP count in bytes 9 and 10.
  const bool newer = newer_format_.load();
  std::array<uint8_t, reply_size::kEsNoWithFspCount> reply{};
  const std::span<uint8_t> read =
      std::span<uint8_t>(reply).first(newer ? reply_size::kEsNoWithFspCount : reply_size::kText);
  const Reply result = ReadText(status_command::kEstimatedEsNo, read, text);
  if (result == Reply::kDone) {
    const bool counting = newer && fsp_on_.load();
    fsp_count_.store(counting ? bitsync::DecodeFspCount(reply) : 0);
  }
  return Succeeded(result);
}

bool keltbitsyncclass2::GetSignalVoltage(std::string& text) {
  std::array<uint8_t, reply_size::kText> reply{};
  return Succeeded(ReadText(status_command::kSignalVoltage, reply, text));
}

bool keltbitsyncclass2::GetOffsetFrequency(std::string& text) {
  std::array<uint8_t, reply_size::kText> reply{};
  return Succeeded(ReadText(status_command::kOffsetFrequency, reply, text));
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
  const std::vector<uint8_t> commands = bitsync::EncodeFspEnable(f1, f2, f3, f4, f5);
  if (!SendFspCommands(commands, kFspEnablePrefix)) return false;
  fsp_on_.store(true);
  return true;
}

bool keltbitsyncclass2::DisableBsFspSigQualMode() {
  if (!newer_format_.load()) return false;
  if (!SendFspCommands(bitsync::EncodeFspDisable(), kFspDisablePrefix)) return false;
  fsp_on_.store(false);
  return true;
}

bool keltbitsyncclass2::GetBsFspCount(uint16_t& count) {
  if (!newer_format_.load()) return false;
  count = fsp_count_.load();
  return true;
}
