#include "tests/dll/bitsync_module_double.h"

#include <algorithm>

namespace bitsync_test {
namespace {

ModuleDouble* active_double = nullptr;

bool IsSpecialStatus(uint8_t command) {
  return command >= 0xE0 && command <= 0xED;
}

}  // namespace

ModuleDouble::ModuleDouble() {
  active_double = this;
}

ModuleDouble::~ModuleDouble() {
  active_double = nullptr;
}

bool ModuleDouble::PeRaised() {
  if (stuck_pe) return true;
  if (pending_position_ >= pending_.size()) return false;
  if (delay_left_ == kNever) return false;
  if (delay_left_ > 0) {
    --delay_left_;
    return false;
  }
  return true;
}

uint8_t ModuleDouble::Read(uint32_t, uint32_t offset) {
  uint8_t value = 0xFF;
  if (offset == kStatus) {
    value = status & static_cast<uint8_t>(~kPe);
    const int taken = static_cast<int>(commands.size());
    const bool busy =
        stuck_busy || busy_reads > 0 ||
        (busy_after_commands != kNever && taken >= busy_after_commands) ||
        (busy_after_acknowledges != kNever && acknowledges >= busy_after_acknowledges);
    if (busy_reads > 0) --busy_reads;
    if (busy) value |= kBusy;
    if (PeRaised()) value |= kPe;
  } else if (offset == kCommand) {
    if (pending_position_ < pending_.size()) {
      value = pending_[pending_position_];
    } else {
      value = readback ? command_register : static_cast<uint8_t>(~command_register);
    }
  }
  accesses.push_back({false, static_cast<uint8_t>(offset), value});
  return value;
}

void ModuleDouble::Write(uint32_t, uint32_t offset, uint8_t value) {
  accesses.push_back({true, static_cast<uint8_t>(offset), value});
  if (offset == kCommand) {
    command_register = value;
  } else if (offset == kStatus) {
    const bool high = (value & 0x04) != 0;
    if (!strobe_line_high_ && high) Strobe();
    strobe_line_high_ = high;
  }
}

void ModuleDouble::Strobe() {
  if (pending_position_ < pending_.size() || stuck_pe) {
    ++acknowledges;
    if (pending_position_ < pending_.size()) ++pending_position_;
    return;
  }
  const bool ends_request =
      command_register == 0x0A && !commands.empty() && IsSpecialStatus(commands.back());
  if (ends_request) {
    const auto reply = replies.find(commands.back());
    if (reply != replies.end()) {
      pending_ = reply->second;
      pending_position_ = 0;
      delay_left_ = reply_delay_reads;
    }
  }
  commands.push_back(command_register);
}

std::vector<uint8_t> ModuleDouble::Writes(uint8_t offset) const {
  std::vector<uint8_t> values;
  for (const auto& access : accesses) {
    if (access.write && access.offset == offset) values.push_back(access.value);
  }
  return values;
}

int ModuleDouble::StatusReads() const {
  return static_cast<int>(std::count_if(accesses.begin(), accesses.end(), [](const auto& a) {
    return !a.write && a.offset == kStatus;
  }));
}

}  // namespace bitsync_test

// The PCI access layer's byte functions, answered by the test's double.
uint8_t P9080_ReadByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset) {
  using bitsync_test::active_double;
  if (active_double == nullptr) return 0xFF;
  if (card != active_double->Handle() || address_space != 3) ++active_double->stray_accesses;
  return active_double->Read(address_space, offset);
}

void P9080_WriteByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset, uint8_t value) {
  using bitsync_test::active_double;
  if (active_double == nullptr) return;
  if (card != active_double->Handle() || address_space != 3) ++active_double->stray_accesses;
  active_double->Write(address_space, offset, value);
}
