#include "tests/dll/irig_register_bank.h"

#include <algorithm>

#include "platform/clock.h"

namespace irig_test {
namespace {

RegisterBank* active_bank = nullptr;

RegisterAccess Access(bool write, uint32_t address_space, uint32_t offset, uint8_t value) {
  return {write, address_space, offset, value, platform::clock().MonotonicNanoseconds()};
}

}  // namespace

RegisterBank::RegisterBank() {
  active_bank = this;
}

RegisterBank::~RegisterBank() {
  active_bank = nullptr;
}

uint8_t RegisterBank::Read(P9080_HANDLE card, uint32_t address_space, uint32_t offset) {
  if (card != Handle()) ++foreign_handle_accesses;
  uint8_t value = registers[offset & 0xFF];
  if (offset == 0x1F && !status_script.empty()) {
    value = status_script.front();
    status_script.pop_front();
  }
  accesses.push_back(Access(false, address_space, offset, value));
  return value;
}

void RegisterBank::Write(P9080_HANDLE card, uint32_t address_space, uint32_t offset,
                         uint8_t value) {
  if (card != Handle()) ++foreign_handle_accesses;
  accesses.push_back(Access(true, address_space, offset, value));
}

int RegisterBank::CountAccesses(bool write, uint32_t offset) const {
  return static_cast<int>(std::count_if(accesses.begin(), accesses.end(), [&](const auto& a) {
    return a.write == write && a.offset == offset;
  }));
}

std::vector<uint8_t> RegisterBank::WrittenTo(uint32_t offset) const {
  std::vector<uint8_t> values;
  for (const auto& a : accesses) {
    if (a.write && a.offset == offset) values.push_back(a.value);
  }
  return values;
}

}  // namespace irig_test

// The PCI access layer's byte functions, answered by the test's bank.
uint8_t P9080_ReadByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset) {
  return irig_test::active_bank->Read(card, address_space, offset);
}

void P9080_WriteByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset, uint8_t value) {
  irig_test::active_bank->Write(card, address_space, offset, value);
}
