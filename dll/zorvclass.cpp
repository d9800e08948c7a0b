#include "dll/zorvclass.h"

#include "support/KesBorGenUnit.h"

namespace {

constexpr const char* kSignature = "TQ517";
constexpr const char* kNoMemoryForIrig = "not enough memory to create the IRIG reader";
constexpr const char* kNoMemoryForBitsync = "not enough memory to create the bitsync object";

std::atomic<CreationFault> creation_fault{nullptr};

}  // namespace

void LogCardFailure(const char* prefix, int32_t card_index,
                    const std::string& error_text) noexcept {
  try {
    LogInfo(prefix + std::to_string(card_index + 1) + "  er:" + error_text, 1, false);
  } catch (const std::bad_alloc&) {
  }
}

void SetCreationFault(CreationFault fault) {
  creation_fault.store(fault);
}

bool CreationFaultFor(CardObjectKind kind, int32_t card_index) {
  const CreationFault fault = creation_fault.load();
  return fault != nullptr && fault(kind, card_index);
}

zorvclass::zorvclass(int32_t card_index, const PCI_CARD_INFO& info) noexcept
    : card_index_(card_index), pci_info_(info) {
  try {
    Open();
  } catch (const std::bad_alloc&) {
    // Only a log line was lost: each step below keeps its flags true to what it did.
  }
}

zorvclass::~zorvclass() {
  if (card_handle_ == nullptr) return;
  // The bitsync's shutdown may still write card registers.
  bitsync_.reset();
  irig_.reset();
  P9080_Close(card_handle_);
  bitsync_present_ = false;
  irig_present_ = false;
  bitsync_count_ = 0;
  second_count_ = 0;
}

std::string zorvclass::CardNumber() const {
  return std::to_string(card_index_ + 1);
}

void zorvclass::Open() {
  if (!P9080_Open(card_handle_, 0, pci_info_)) {
    LogInfo("Cannot Open the pci card for card " + CardNumber(), 1, false);
    return;
  }
  LogInfo("Signature for ZORV card " + CardNumber() + " is " + kSignature, 0, false);
  WriteCardRegister(kCardNumberRegister, static_cast<uint8_t>((card_index_ + 1) & 7));
  // Each sub-object opens whatever happened to the other one.
  OpenIrigReader();
  OpenBitsync();
}

void zorvclass::OpenIrigReader() {
  irig_present_ = true;
  std::string error_text;
  try {
    irig_ = NewCardObject<marnirigclass>(CardObjectKind::kIrigReader, card_index_);
    if (irig_->Open(card_index_, card_handle_, error_text)) return;
  } catch (const std::bad_alloc&) {
    error_text = kNoMemoryForIrig;
  }
  irig_present_ = false;
  irig_.reset();
  LogCardFailure("Irig Could Not Be Opened For Card ", card_index_, error_text);
}

void zorvclass::OpenBitsync() {
  bitsync_present_ = true;
  bitsync_count_ = 1;
  std::string error_text;
  try {
    bitsync_ = NewCardObject<keltbitsyncclass2>(CardObjectKind::kBitsync, card_index_);
    if (bitsync_->InitBitsync(card_index_, true, card_handle_, error_text)) {
      readback_capable_ = bitsync_->IsReadbackCapable();
      return;
    }
  } catch (const std::bad_alloc&) {
    error_text = kNoMemoryForBitsync;
  }
  bitsync_present_ = false;
  bitsync_count_ = 0;
  bitsync_.reset();
  LogCardFailure("Bitsync Could Not Be Opened For Card ", card_index_, error_text);
}

void zorvclass::WriteCardRegister(uint32_t offset, uint8_t value) {
  if (card_handle_ == nullptr) return;
  P9080_WriteByte(card_handle_, kCardRegisterSpace, offset, value);
}

bool zorvclass::BitsyncStatus(int32_t& status) {
  if (bitsync_ == nullptr) {
    status = 5;
    return false;
  }
  return bitsync_->GetBitsyncStatus(status);
}

bool zorvclass::LoadBitsyncSetup(const BitsyncSetup& setup, std::string& error_text) {
  if (bitsync_ == nullptr) {
    error_text = "No Bitsyncs To Setup";
    return false;
  }
  return bitsync_->SendCompleteBitsyncSetup(setup, quick_react_mode_.load(), error_text);
}

bool zorvclass::SetQuickReactMode(int32_t mode, std::string& error_text) {
  if (!readback_capable_ || bitsync_ == nullptr) return false;
  quick_react_mode_.store(static_cast<uint8_t>(mode & 0xFF));
  return bitsync_->SendBitsyncSetupQuickReactMode(quick_react_mode_.load(), error_text);
}
