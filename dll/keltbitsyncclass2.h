#pragma once
// The card's PCM bit synchronizer module (the bitsync): the register port (the command and
// status registers of address space 3), the strobed one-byte command protocol and its
// transactions, and the sequencing of setup programming, status, options and special status,
// link analysis, signal quality and FSP mode. What the bytes mean is in BitsyncSetupEncoder
// (setup commands) and BitsyncReplies (special status replies).
//
// Two threads reach one bitsync (the operator program's window thread and its polling thread);
// every multi-register sequence runs inside a transaction that holds the bitsync's
// transaction-in-progress flag, so their commands never interleave on the module.

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dll/BitsyncSetupEncoder.h"
#include "dll/Plxcommonunit.h"
#include "zorv/BitsyncSetup.h"

class keltbitsyncclass2 {
 public:
  // Register offsets in address space 3.
  static constexpr uint8_t kCommandRegister = 0x0E;
  static constexpr uint8_t kStatusRegister = 0x0F;
  static constexpr uint8_t kControlRegister = 0x0F;

  // Status register bits.
  static constexpr int kStatusSignalBit = 0;
  static constexpr int kStatusLockedBit = 1;
  static constexpr int kStatusBusyBit = 2;
  static constexpr int kStatusNoModuleBit = 4;
  static constexpr int kStatusPeBit = 6;

  // Control register bit 2 is the strobe line, idle high.
  static constexpr uint8_t kStrobeLine = 0x04;

  static constexpr int kSpecialStatusEnableCount = 13;  // 0xE0 to 0xEC
  static constexpr size_t kShadowSize = 64;

  keltbitsyncclass2();
  ~keltbitsyncclass2();
  keltbitsyncclass2(const keltbitsyncclass2&) = delete;
  keltbitsyncclass2& operator=(const keltbitsyncclass2&) = delete;

  // --- Command strobe protocol -------------------------------------------------------------

  bool InitBitsync(int32_t card_index, bool mother_card, P9080_HANDLE handle,
                   std::string& error_text);
  void WriteBitsyncRegister(uint8_t offset, uint8_t value);
  uint8_t ReadBitsyncRegister(uint8_t offset);
  bool WaitBitsyncReady();
  // Takes the transaction-in-progress flag, waiting at most about 300 ms for another
  // transaction to end. On true the caller holds the flag until EndTransaction.
  bool WaitNotInUse();
  void EndTransaction() { in_progress_.store(false); }
  bool StrobeBitsyncCommand(uint8_t command);
  uint8_t ReadResponseByte();
  // One command/response transaction; stores at most `capacity` bytes of the reply. False when
  // the bitsync is invalid, cannot take special commands, is held by another transaction, or
  // stops answering.
  bool RequestSpecialStatus(uint8_t command, int capacity, uint8_t* buffer);

  // --- Setup programming -------------------------------------------------------------------

  bool SetBitsyncInputSource(const BitsyncSetup& setup);
  bool FillInCommandAry(const BitsyncSetup& setup, uint32_t firmware_version_low,
                        uint8_t quick_react_mode);
  bool FillInCommandAryQuickReact(uint8_t quick_react_mode);
  // On false the error text says why; it is never empty.
  bool SendCompleteBitsyncSetup(const BitsyncSetup& setup, uint8_t quick_react_mode,
                                std::string& error_text);
  bool SendBitsyncSetupQuickReactMode(uint8_t quick_react_mode, std::string& error_text);

  // --- Status, options and special status --------------------------------------------------

  // Reads KELTDOSPECIAL.CFG into the process-wide special status enable flags.
  static void LoadSpecialStatusConfig();
  static bool SpecialStatusEnabled(uint8_t command);

  bool GetBitsyncStatus(int32_t& code);
  bool ReadBitsyncConfiguration(uint8_t& option_20mbit, uint8_t& option_bert,
                                uint32_t& firmware_version_high, uint32_t& firmware_version_low);
  bool GetBitsyncProgrammedBitRate(uint32_t& bit_rate);
  bool GetBitsyncProgrammedInputCode(int32_t& input_code);
  bool GetBitsyncProgrammedOutputCode(int32_t& output_code);
  bool GetBitsyncProgrammedLoopBw(uint8_t& loop_bandwidth);
  bool GetBitsyncOperationalStatus(std::array<bool, 8>& status);
  bool GetBitsyncBIT(std::array<uint8_t, 5>& results);
  void LogBitsyncStatusReads();

  // --- Link analysis, signal quality and FSP -----------------------------------------------

  bool GetLinkAnalysisBitCount(uint32_t& bit_count);
  bool GetLinkAnalysisErrorCount(uint32_t& error_count);
  bool GetLinkAnalysisOperationalStatus(bool& correlator_locked, bool& correlator_history,
                                        bool& error_count_overflow);
  // Also keeps the FSP count while FSP mode is on.
  bool GetEstimatedEsNo(std::string& text);
  bool GetSignalVoltage(std::string& text);
  bool GetOffsetFrequency(std::string& text);
  bool GetBsEnableFspOption(uint8_t& option);
  bool EnableBsFspSigQualMode(int32_t f1, int32_t f2, int32_t f3, int32_t f4, int32_t f5);
  bool DisableBsFspSigQualMode();
  // The count kept by the last Es/No read.
  bool GetBsFspCount(uint16_t& count);

  // --- State, for the card object and tests ------------------------------------------------

  bool IsValid() const { return valid_.load(); }
  bool IsReadbackCapable() const { return readback_.load(); }
  bool IsDebug() const { return debug_; }
  bool TakesSpecialCommands() const { return special_commands_.load(); }
  bool IsNewerConfigurationFormat() const { return newer_format_.load(); }
  bool IsBMode() const { return b_mode_.load(); }
  bool IsFspModeOn() const { return fsp_on_.load(); }
  bool IsTransactionInProgress() const { return in_progress_.load(); }
  uint32_t FirmwareDateCode() const { return date_code_.load(); }
  uint32_t FirmwareVersionLow() const { return firmware_low_.load(); }
  std::span<const uint8_t> Commands() const { return commands_; }

 private:
  enum class Reply { kDone, kSkipped, kBusy, kFailed };

  // Releases the transaction-in-progress flag when a transaction ends, on every path.
  class Transaction {
   public:
    explicit Transaction(keltbitsyncclass2& bitsync) : bitsync_(bitsync) {
      held_ = bitsync_.WaitNotInUse();
    }
    ~Transaction() {
      if (held_) bitsync_.EndTransaction();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Held() const { return held_; }

   private:
    keltbitsyncclass2& bitsync_;
    bool held_ = false;
  };

  // A read switched off by its enable flag counts as a success that leaves its outputs alone.
  static bool Succeeded(Reply reply);

  std::string CardNumber() const;
  std::string RefusalText(std::string_view reason) const;
  void Log(const std::string& message, int32_t code = 0) const;
  void DebugLog(const std::string& message, int32_t code = 0) const;

  bool BusyTest();
  bool PeTest();
  // Waits while the module reports busy, at most 1000 busy tests; false when it never clears.
  bool WaitWhileBusy();
  void ClearPendingReads();
  void CheckReadback();
  bool ReadStatusInTransaction(uint8_t& status);
  // Keeps the commands of the next setup transaction and logs the code selections made.
  void TakeCommands(const bitsync::SetupCommands& encoded);

  // Declares the module lost: logs the invalidation line and clears the valid flag.
  void GiveUp(std::string_view prefix);
  // The resend loop. On give-up `failed_at` is the position of the refused command.
  bool SendWithResends(std::span<const uint8_t> commands, int attempts, std::string_view prefix,
                       bool trace_each, size_t& failed_at);
  bool SendSetupCommands(std::string& error_text);
  bool SendFspCommands(std::span<const uint8_t> commands, std::string_view prefix);

  Reply RequestReply(uint8_t command, int capacity, uint8_t* buffer);
  Reply ReadEnabled(uint8_t command, std::span<uint8_t> reply);
  Reply ReadOperationalStatus(std::array<bool, 8>& status);
  Reply ReadText(uint8_t command, std::span<uint8_t> reply, std::string& text);

  std::array<uint8_t, kShadowSize> write_shadow_{};
  std::array<uint8_t, kShadowSize> read_shadow_{};
  std::vector<uint8_t> commands_;
  std::string error_text_;
  int32_t card_index_ = 0;
  bool mother_card_ = false;
  std::atomic<bool> in_progress_{false};
  std::atomic<bool> valid_{false};
  std::atomic<bool> special_commands_{false};
  P9080_HANDLE handle_ = nullptr;
  bool debug_ = false;
  std::atomic<bool> readback_{false};

  std::atomic<bool> newer_format_{false};
  std::atomic<uint32_t> date_code_{0};
  std::atomic<uint32_t> firmware_low_{0};
  std::atomic<bool> b_mode_{false};
  std::atomic<int32_t> poll_counter_{0};

  std::atomic<bool> fsp_on_{false};
  std::atomic<uint16_t> fsp_count_{0};
};
