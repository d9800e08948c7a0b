#pragma once
// One card of the card table: it opens the card when it is constructed, owns the card handle,
// the IRIG reader and the bitsync, and carries the flags the exports test. A card that fails
// to open (or whose sub-objects fail) stays in the table with the affected flags false.

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "dll/Plxcommonunit.h"
#include "dll/keltbitsyncclass2.h"
#include "dll/marnirigclass.h"
#include "zorv/BitsyncSetup.h"

// The objects created for a card. Creating one may find memory exhausted; the card then goes
// on without it.
enum class CardObjectKind { kCardObject, kIrigReader, kBitsync };

// Tests make the creation of one kind of object fail as exhausted memory does; nullptr (the
// default) lets every creation go ahead.
using CreationFault = bool (*)(CardObjectKind kind, int32_t card_index);
void SetCreationFault(CreationFault fault);
bool CreationFaultFor(CardObjectKind kind, int32_t card_index);

// Logs "<prefix>N  er:<error text>" with code 1 (N the card number); a line that cannot be
// built for want of memory is lost.
void LogCardFailure(const char* prefix, int32_t card_index, const std::string& error_text) noexcept;

// Throws std::bad_alloc when memory is exhausted (or a test's creation fault says so).
template <typename T, typename... Args>
std::unique_ptr<T> NewCardObject(CardObjectKind kind, int32_t card_index, Args&&... args) {
  if (CreationFaultFor(kind, card_index)) throw std::bad_alloc();
  return std::make_unique<T>(std::forward<Args>(args)...);
}

class zorvclass {
 public:
  static constexpr uint32_t kCardNumberRegister = 0x20;
  static constexpr uint32_t kCardRegisterSpace = 3;

  // Opens the card the record describes; there is no separate open call.
  zorvclass(int32_t card_index, const PCI_CARD_INFO& info) noexcept;
  // Releases the bitsync and the IRIG reader while the card is still open, then the card.
  ~zorvclass();
  zorvclass(const zorvclass&) = delete;
  zorvclass& operator=(const zorvclass&) = delete;

  // One byte to address space 3; nothing without a card handle.
  void WriteCardRegister(uint32_t offset, uint8_t value);

  // Status 5 and false without a bitsync object.
  bool BitsyncStatus(int32_t& status);
  // Sends the record with the card's stored quick-react mode.
  bool LoadBitsyncSetup(const BitsyncSetup& setup, std::string& error_text);
  // Stores the low 8 bits of the mode before programming it, so that the next setup load
  // uses it even when the module does not take it now.
  bool SetQuickReactMode(int32_t mode, std::string& error_text);

  // Runs the operation on the IRIG reader; false without one.
  template <typename Operation>
  bool WithIrig(Operation&& operation) {
    return irig_ != nullptr && operation(*irig_);
  }
  // Runs the operation on the bitsync; false without one.
  template <typename Operation>
  bool WithBitsync(Operation&& operation) {
    return bitsync_ != nullptr && operation(*bitsync_);
  }
  // The reads of programmed values and special status need the newer mother card.
  template <typename Operation>
  bool WithReadbackBitsync(Operation&& operation) {
    return readback_capable_ && WithBitsync(std::forward<Operation>(operation));
  }

  int32_t CardIndex() const { return card_index_; }
  uint8_t QuickReactMode() const { return quick_react_mode_.load(); }
  bool IsReadbackCapable() const { return readback_capable_; }
  bool IsBitsyncPresent() const { return bitsync_present_; }
  bool IsIrigPresent() const { return irig_present_; }
  int32_t BitsyncCount() const { return bitsync_count_; }
  int32_t SecondCount() const { return second_count_; }
  bool HasCardHandle() const { return card_handle_ != nullptr; }

 private:
  void Open();
  void OpenIrigReader();
  void OpenBitsync();
  std::string CardNumber() const;

  int32_t card_index_;
  // Written by the quick-react export and read by every setup load, which callers may issue
  // from different threads.
  std::atomic<uint8_t> quick_react_mode_{0};
  bool readback_capable_ = false;
  bool bitsync_present_ = false;
  bool irig_present_ = false;
  int32_t bitsync_count_ = 0;
  int32_t second_count_ = 0;
  P9080_HANDLE card_handle_ = nullptr;
  PCI_CARD_INFO pci_info_;
  std::unique_ptr<marnirigclass> irig_;
  std::unique_ptr<keltbitsyncclass2> bitsync_;
};
