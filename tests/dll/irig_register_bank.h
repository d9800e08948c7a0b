#pragma once
// Stands in for the card's byte registers behind P9080_ReadByte and P9080_WriteByte, so that
// the reader's tests choose every register value (raw nibbles, a status that never clears)
// and see every access in order. The test executable compiles marnirigclass.cpp with this
// bank in place of the PCI access layer.

#include <cstdint>
#include <deque>
#include <vector>

#include "dll/Plxcommonunit.h"

namespace irig_test {

struct RegisterAccess {
  bool write = false;
  uint32_t address_space = 0;
  uint32_t offset = 0;
  uint8_t value = 0;
  int64_t at_ns = 0;  // monotonic time of the access

  bool operator==(const RegisterAccess& other) const {
    return write == other.write && address_space == other.address_space && offset == other.offset &&
           value == other.value;
  }
};

class RegisterBank {
 public:
  RegisterBank();
  ~RegisterBank();
  RegisterBank(const RegisterBank&) = delete;
  RegisterBank& operator=(const RegisterBank&) = delete;

  // A handle that leads to this bank; the bank never dereferences it.
  P9080_HANDLE Handle() { return reinterpret_cast<P9080_HANDLE>(this); }

  uint8_t Read(P9080_HANDLE card, uint32_t address_space, uint32_t offset);
  void Write(P9080_HANDLE card, uint32_t address_space, uint32_t offset, uint8_t value);

  // What a read returns once the register's script has run out.
  uint8_t registers[256] = {};
  // Values the status register 0x1F returns first, one per read.
  std::deque<uint8_t> status_script;
  std::vector<RegisterAccess> accesses;
  int foreign_handle_accesses = 0;

  int CountAccesses(bool write, uint32_t offset) const;
  std::vector<uint8_t> WrittenTo(uint32_t offset) const;
};

}  // namespace irig_test
