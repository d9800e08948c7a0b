#pragma once
// Stands in for the bitsync module behind P9080_ReadByte and P9080_WriteByte, so that the
// protocol tests choose what the module does at every step (a busy bit that clears on the
// fifth poll, a PE bit that never clears, a reply longer than asked for) and see every
// register access in order. The test executable compiles keltbitsyncclass2.cpp with this
// double in place of the PCI access layer.

#include <cstdint>
#include <map>
#include <vector>

#include "dll/Plxcommonunit.h"

namespace bitsync_test {

struct RegisterAccess {
  bool write = false;
  uint8_t offset = 0;
  uint8_t value = 0;

  bool operator==(const RegisterAccess&) const = default;
};

class ModuleDouble {
 public:
  static constexpr uint8_t kCommand = 0x0E;
  static constexpr uint8_t kStatus = 0x0F;
  static constexpr uint8_t kBusy = 0x04;
  static constexpr uint8_t kPe = 0x40;
  static constexpr int kNever = -1;

  ModuleDouble();
  ~ModuleDouble();
  ModuleDouble(const ModuleDouble&) = delete;
  ModuleDouble& operator=(const ModuleDouble&) = delete;

  // A handle that leads to this double; it is never dereferenced.
  P9080_HANDLE Handle() { return reinterpret_cast<P9080_HANDLE>(this); }

  uint8_t Read(uint32_t address_space, uint32_t offset);
  void Write(uint32_t address_space, uint32_t offset, uint8_t value);

  // Queues a reply for the next request of this special status command.
  void Reply(uint8_t command, std::vector<uint8_t> bytes) { replies[command] = std::move(bytes); }
  std::vector<uint8_t> Writes(uint8_t offset) const;
  int StatusReads() const;

  // --- What the module does ---
  // Status bits other than PE (signal, lock, busy, no module).
  uint8_t status = 0x03;
  bool readback = true;
  uint8_t command_register = 0;
  // The next status reads show busy.
  int busy_reads = 0;
  bool stuck_busy = false;
  // Busy for good once this many commands (or acknowledges) have been taken.
  int busy_after_commands = kNever;
  int busy_after_acknowledges = kNever;
  // Status reads after a request before PE rises; kNever for a module that never answers.
  int reply_delay_reads = 0;
  bool stuck_pe = false;
  std::map<uint8_t, std::vector<uint8_t>> replies;

  // --- What the host did ---
  std::vector<RegisterAccess> accesses;
  std::vector<uint8_t> commands;  // every command byte taken by a strobe
  int acknowledges = 0;
  // Accesses through another handle or to another address space.
  int stray_accesses = 0;

 private:
  bool PeRaised();
  void Strobe();

  bool strobe_line_high_ = true;
  std::vector<uint8_t> pending_;
  size_t pending_position_ = 0;
  int delay_left_ = 0;
};

}  // namespace bitsync_test
