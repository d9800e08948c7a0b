#include "emulator/ViolationReport.h"

#include "emulator/VirtualPciBus.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace emulator {

bool WriteViolationReport(VirtualPciBus& bus, const std::string& path) {
  // Start empty, so that no count of an earlier run survives.
  platform::WriteFile file;
  if (!file.Create(path)) return false;
  file.Close();
  const auto write = [&](const std::string& section, const char* key, const std::string& value) {
    return platform::WriteProfileString(path, section, key, value);
  };
  bool written = write("Bus", "Cards", std::to_string(bus.CardCount())) &&
                 write("Bus", "Refused", std::to_string(bus.ProtocolErrors())) &&
                 write("Bus", "LastRefused", bus.LastProtocolError());
  for (size_t i = 0; i < bus.CardCount() && written; ++i) {
    EmulatedCard& card = bus.Card(i);
    const std::string section = "Card" + std::to_string(i);
    written = write(section, "Eeprom", std::to_string(card.bridge().eeprom().ProtocolErrors())) &&
              write(section, "Bitsync", std::to_string(card.bitsync().Violations().Total())) &&
              write(section, "Irig", std::to_string(card.irig().ProtocolErrors()));
  }
  return written;
}

}  // namespace emulator
