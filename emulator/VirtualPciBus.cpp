#include "emulator/VirtualPciBus.h"

#include <cstdio>
#include <optional>

#include "emulator/CardStateFile.h"
#include "emulator/ViolationReport.h"
#include "platform/process.h"

namespace emulator {

namespace wd = windriver;

VirtualPciBus::VirtualPciBus(const Scenario& scenario) {
  for (size_t i = 0; i < scenario.cards.size(); ++i) {
    cards_.push_back(std::make_unique<EmulatedCard>(scenario.cards[i], static_cast<uint32_t>(i)));
  }
}

VirtualPciBus::~VirtualPciBus() {
  try {
    const std::optional<std::string> report = platform::EnvironmentVariable(kReportVariable);
    if (report && !report->empty()) WriteViolationReport(*this, *report);
    if (!state_file_.empty()) KeepCardStates(*this, state_file_);
  } catch (...) {
    // A report that cannot be written is missing; the test reading it then fails. Cards whose
    // state was not kept power up as new the next time.
  }
}

uint32_t VirtualPciBus::OpenSession() {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t session = next_session_++;
  open_sessions_.insert(session);
  return session;
}

void VirtualPciBus::CloseSession(uint32_t session) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = registrations_.begin(); it != registrations_.end();) {
    if (it->second.session == session) {
      Refuse("device closed with card " + std::to_string(it->second.card) + " still registered");
      it = registrations_.erase(it);
    } else {
      ++it;
    }
  }
  open_sessions_.erase(session);
  scanned_sessions_.erase(session);
}

int32_t VirtualPciBus::Request(uint32_t session, uint32_t code, uint8_t* record, uint32_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto expect = [&](size_t expected) { return size == expected && record != nullptr; };
  switch (code) {
    case wd::kScanCards:
      if (expect(wd::ScanCards::kSize)) return ScanCards(session, record);
      break;
    case wd::kGetCardInfo:
      if (expect(wd::GetCardInfo::kSize)) return GetCardInfo(record);
      break;
    case wd::kRegisterCard:
      if (expect(wd::RegisterCard::kSize)) return RegisterCard(session, record);
      break;
    case wd::kUnregisterCard:
      if (expect(wd::RegisterCard::kSize)) return UnregisterCard(record);
      break;
    case wd::kReadPciConfig:
      if (expect(wd::ReadPciConfig::kSize)) return ReadPciConfig(record);
      break;
    case wd::kTransfer:
      if (expect(wd::Transfer::kSize)) return Transfer(record);
      break;
    default:
      return Refuse("unknown request code " + std::to_string(code));
  }
  return Refuse("request " + std::to_string(code) + " with a record of " + std::to_string(size) +
                " bytes");
}

int32_t VirtualPciBus::ScanCards(uint32_t session, uint8_t* record) {
  const uint32_t vendor = wd::Field(record, wd::ScanCards::kVendor);
  const uint32_t device = wd::Field(record, wd::ScanCards::kDevice);
  uint32_t found = 0;
  for (const auto& card : cards_) {
    if (vendor != EmulatedCard::kVendorId || device != card->DeviceId()) continue;
    if (found == wd::ScanCards::kMaxCards) break;
    wd::SetField(record, wd::ScanCards::kIds + 8 * found, vendor);
    wd::SetField(record, wd::ScanCards::kIds + 8 * found + 4, device);
    const size_t location = wd::ScanCards::kLocations + wd::ScanCards::kLocationSize * found;
    wd::SetField(record, location, card->Bus());
    wd::SetField(record, location + 4, card->Slot());
    wd::SetField(record, location + 8, card->Function());
    ++found;
  }
  wd::SetField(record, wd::ScanCards::kCardCount, found);
  scanned_sessions_.insert(session);
  return 0;
}

int32_t VirtualPciBus::GetCardInfo(uint8_t* record) {
  EmulatedCard* card =
      CardAt(wd::Field(record, wd::GetCardInfo::kBus), wd::Field(record, wd::GetCardInfo::kSlot),
             wd::Field(record, wd::GetCardInfo::kFunction));
  if (!card) return Refuse("card information for an empty location");
  card->Resources().Store(record + wd::GetCardInfo::kResources);
  return 0;
}

int32_t VirtualPciBus::RegisterCard(uint32_t session, uint8_t* record) {
  if (wd::Field(record, wd::RegisterCard::kCheckOnly) != 0) {
    return Refuse("registration asked to check the lock only");
  }
  const wd::ResourceBlock resources =
      wd::ResourceBlock::Load(record + wd::RegisterCard::kResources);
  std::optional<size_t> found;
  for (size_t i = 0; i < cards_.size() && !found; ++i) {
    if (cards_[i]->Resources() == resources) found = i;
  }
  if (!found) return Refuse("registration of resources no card has");
  const Usable usable = cards_[*found]->scenario().usable;
  const bool lockable = usable == Usable::kYes ||
                        (usable == Usable::kScanOnly && scanned_sessions_.contains(session));
  uint32_t handle = 0;
  if (lockable) {
    handle = next_handle_++;
    registrations_[handle] = {session, *found};
  }
  wd::SetField(record, wd::RegisterCard::kHandle, handle);
  return 0;
}

int32_t VirtualPciBus::UnregisterCard(uint8_t* record) {
  if (registrations_.erase(wd::Field(record, wd::RegisterCard::kHandle)) == 0) {
    return Refuse("unregistration of a handle that is not registered");
  }
  return 0;
}

int32_t VirtualPciBus::ReadPciConfig(uint8_t* record) {
  const EmulatedCard* card = CardAt(wd::Field(record, wd::ReadPciConfig::kBus),
                                    wd::Field(record, wd::ReadPciConfig::kSlot),
                                    wd::Field(record, wd::ReadPciConfig::kFunction));
  if (!card) return Refuse("configuration read at an empty location");
  if (wd::Field(record, wd::ReadPciConfig::kReadFlag) != 1) {
    return Refuse("configuration access that is not a read");
  }
  if (wd::Field(record, wd::ReadPciConfig::kResultPointer) !=
      wd::PointerField(record + wd::ReadPciConfig::kResult)) {
    return Refuse("configuration read whose result pointer is not the record's result field");
  }
  const uint32_t byte_count = wd::Field(record, wd::ReadPciConfig::kByteCount);
  if (byte_count < 1 || byte_count > 4) return Refuse("configuration read of a bad byte count");
  wd::SetField(record, wd::ReadPciConfig::kResult,
               card->ReadConfig(wd::Field(record, wd::ReadPciConfig::kOffset), byte_count));
  return 0;
}

int32_t VirtualPciBus::Transfer(uint8_t* record) {
  const uint32_t command = wd::Field(record, wd::Transfer::kCommand);
  const bool is_read = command == wd::kReadIoByte || command == wd::kReadMemByte;
  const bool is_write = command == wd::kWriteIoByte || command == wd::kWriteMemByte;
  if (!is_read && !is_write) return Refuse("transfer command " + std::to_string(command));
  if (wd::Field(record, wd::Transfer::kByteCount) != 1) {
    return Refuse("transfer of more than one byte");
  }
  if (wd::Field(record, wd::Transfer::kDataPointer) !=
      wd::PointerField(record + wd::Transfer::kData)) {
    return Refuse("transfer whose data pointer is not the record's data field");
  }
  const bool is_memory = command == wd::kReadMemByte || command == wd::kWriteMemByte;
  const uint32_t address = wd::Field(record, wd::Transfer::kAddress);
  for (const auto& card : cards_) {
    uint32_t space = 0;
    uint32_t offset = 0;
    if (!card->Claims(is_memory, address, space, offset)) continue;
    if (is_read) {
      wd::SetField(record, wd::Transfer::kData, card->ReadSpace(space, offset));
    } else {
      card->WriteSpace(space, offset, record[wd::Transfer::kData]);
    }
    return 0;
  }
  return Refuse("transfer to an address no card decodes");
}

EmulatedCard* VirtualPciBus::CardAt(uint32_t bus, uint32_t slot, uint32_t function) {
  for (const auto& card : cards_) {
    if (card->Bus() == bus && card->Slot() == slot && card->Function() == function) {
      return card.get();
    }
  }
  return nullptr;
}

int32_t VirtualPciBus::Refuse(const std::string& what) {
  ++protocol_errors_;
  last_protocol_error_ = what;
  return kRefused;
}

size_t VirtualPciBus::RegistrationCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registrations_.size();
}

int VirtualPciBus::ProtocolErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_errors_;
}

std::string VirtualPciBus::LastProtocolError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_protocol_error_;
}

VirtualDevice::VirtualDevice(std::shared_ptr<VirtualPciBus> bus)
    : bus_(std::move(bus)), session_(bus_->OpenSession()) {}

VirtualDevice::~VirtualDevice() {
  bus_->CloseSession(session_);
}

int32_t VirtualDevice::Request(uint32_t code, uint8_t* record, uint32_t size) {
  return bus_->Request(session_, code, record, size);
}

namespace {

struct ActiveBusState {
  std::mutex mutex;
  std::shared_ptr<VirtualPciBus> bus;
  std::optional<std::string> emulate_value;  // none: started by a test from a Scenario
};

ActiveBusState& Active() {
  static ActiveBusState state;
  return state;
}

}  // namespace

std::shared_ptr<VirtualPciBus> ConnectBus(const std::string& emulate_value,
                                          std::vector<std::string>& problems) {
  ActiveBusState& active = Active();
  std::lock_guard<std::mutex> lock(active.mutex);
  if (active.bus && (!active.emulate_value || *active.emulate_value == emulate_value)) {
    return active.bus;
  }
  const size_t known_problems = problems.size();
  const std::optional<Scenario> scenario = ParseScenario(emulate_value, problems);
  for (size_t i = known_problems; i < problems.size(); ++i) {
    std::fprintf(stderr, "ZORV_EMULATE: %s\n", problems[i].c_str());
  }
  active.bus = std::make_shared<VirtualPciBus>(scenario.value_or(Scenario{}));
  active.emulate_value = emulate_value;
  if (scenario && !EmulatedCardsStartFresh()) {
    const std::string state_file = CardStateFilePath(emulate_value);
    if (!state_file.empty()) {
      RestoreCardStates(*active.bus, state_file);
      active.bus->KeepStateIn(state_file);
    }
  }
  return active.bus;
}

VirtualPciBus* ActiveBus() {
  ActiveBusState& active = Active();
  std::lock_guard<std::mutex> lock(active.mutex);
  return active.bus.get();
}

VirtualPciBus& StartBus(const Scenario& scenario) {
  ActiveBusState& active = Active();
  std::lock_guard<std::mutex> lock(active.mutex);
  active.bus = std::make_shared<VirtualPciBus>(scenario);
  active.emulate_value.reset();
  return *active.bus;
}

void StopBus() {
  ActiveBusState& active = Active();
  std::lock_guard<std::mutex> lock(active.mutex);
  active.bus.reset();
  active.emulate_value.reset();
}

}  // namespace emulator
