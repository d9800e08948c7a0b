#include "tools/zorvctl/ZorvctlReport.h"

#include <span>

#include "app/ZorvCardAccess.h"
#include "app/ZorvSetupFiles.h"
#include "dll/keltnametables.h"
#include "support/Ctimerclass.h"
#include "support/KesBorGenUnit.h"
#include "tools/zorvctl/ZorvctlJson.h"

namespace zorvctl {
namespace {

constexpr const char* kNotMeasured = "n/a";
// The digits the values mean: the IRIG time's microseconds, the elapsed time's milliseconds,
// and the five of the bit error rate's text.
constexpr int kMicrosecondDecimals = 6;
constexpr int kMillisecondDecimals = 3;
constexpr int kBerDigits = 5;

// The row's name; "?" for a number without a row.
std::string NameIn(std::span<const char* const> table, int32_t row) {
  if (row < 0 || static_cast<size_t>(row) >= table.size()) return "?";
  return table[static_cast<size_t>(row)];
}

std::string FirmwareText(int32_t high, int32_t low) {
  // As the library logs it: "FIRMWARE VERSION 0A4E : 146".
  return FormatHex(static_cast<uint32_t>(high), 4, false) + " : " + FormatFixed(3, 0, low);
}

std::string OptionalYesNo(const std::optional<bool>& value) {
  return value ? YesNoText(*value) : "n/a";
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    if (!text.empty()) text += " ";
    text += FormatHex(byte, 2, false);
  }
  return text;
}

std::string BerRateText(double rate) {
  return FormatExponent(5, 4, rate);
}

std::string SecondsText(double seconds) {
  return FormatFixed(12, 1, seconds) + " s";
}

std::string IrigSourceText(const IrigSetup& setup) {
  return setup.SourceExternal ? "External" : "Internal RTC";
}

std::string FlywheelText(const IrigSetup& setup) {
  return setup.FlywheelEnabled ? "Enabled" : "Off";
}

// The panel's value lines: label, then the value in the panel's format.
void AddLine(std::string& text, const char* label, const std::string& value) {
  std::string line = std::string("  ") + label;
  line.resize(22, ' ');
  text += line + value + "\n";
}

}  // namespace

std::string LockStatusName(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(kLockStatusCount)) return "UNKNOWN";
  return kLockStatusNames[code];
}

bool IsLocked(int32_t lock_status) {
  return LockStatusName(lock_status) == "LOCK";
}

std::string CardCountText(int32_t count) {
  return std::to_string(count) + (count == 1 ? " card" : " cards");
}

std::string ListHeader(int32_t in_use, int32_t found, bool simulate, bool no_cards) {
  if (no_cards) {
    return "simulate mode: the library found no card; " + CardCountText(in_use) +
           " with simulated data";
  }
  std::string header = CardCountText(in_use);
  if (found > in_use) {
    header += " (the library found " + std::to_string(found) + "; zorvctl uses the first " +
              std::to_string(in_use) + ")";
  }
  return simulate ? "simulate mode: " + header + " with simulated data" : header;
}

std::string EmulationLine(const std::string& emulate_value) {
  return "EMULATED: these cards are the emulator's (ZORV_EMULATE=" + emulate_value +
         "), not real cards";
}

std::string ListText(const CardFacts& facts) {
  const std::string card = "card " + std::to_string(facts.card) + ": ";
  if (facts.simulated) return card + "simulated";
  std::string text = card + (facts.bitsync_count > 0 ? "1 bitsync" : "no bitsync") +
                     ", 20 Mbit option " + OptionalYesNo(facts.option_20_mbit) +
                     ", BER test option " + OptionalYesNo(facts.option_ber_test) + ", firmware ";
  text += facts.firmware_high && facts.firmware_low
              ? FirmwareText(*facts.firmware_high, *facts.firmware_low)
              : "n/a";
  return text + ", highest input source " + std::to_string(facts.max_input_source) + " (" +
         NameIn(kInputSourcePlainNames, facts.max_input_source) + ")";
}

std::string ListJson(const CardFacts& facts) {
  JsonObject json;
  json.Integer("card", facts.card)
      .Boolean("simulated", facts.simulated)
      .Boolean("emulated", facts.emulated);
  if (facts.simulated) {
    json.Null("bitsync_count").Null("option_20_mbit").Null("option_ber_test").Null("firmware");
    json.Null("max_input_source");
    return json.str();
  }
  json.Integer("bitsync_count", facts.bitsync_count);
  auto optional_flag = [&](const char* key, const std::optional<bool>& value) {
    value ? json.Boolean(key, *value) : json.Null(key);
  };
  optional_flag("option_20_mbit", facts.option_20_mbit);
  optional_flag("option_ber_test", facts.option_ber_test);
  if (facts.firmware_high && facts.firmware_low) {
    json.Text("firmware", FirmwareText(*facts.firmware_high, *facts.firmware_low));
  } else {
    json.Null("firmware");
  }
  json.Integer("max_input_source", facts.max_input_source);
  return json.str();
}

std::string StatusText(const StatusReading& reading) {
  std::string text = "card " + std::to_string(reading.card);
  if (reading.reading > 1) text += "  reading " + std::to_string(reading.reading);
  text += "  " + LockStatusName(reading.lock_status);
  if (reading.simulated) text += "  SIMULATED";
  text += "\n";
  AddLine(text, "IRIG Time", FormatTimeOfYear(reading.irig_time));
  AddLine(text, "IRIG Status",
          IrigStatusText(reading.irig_status, reading.irig_setup.SourceExternal != 0));
  if (reading.polled) {
    const BitsyncStatusData& values = reading.values;
    // Without a bit error test the module counts no errors: nothing to show, as in JSON.
    AddLine(text, "Bit Rate", FormatFixed(9, 0, values.programmed_bit_rate) + " bps");
    AddLine(text, "Error Count",
            reading.ber_test ? FormatFixed(12, 0, values.error_count) : kNotMeasured);
    AddLine(text, "Clock Count", FormatFixed(12, 0, values.bit_count));
    AddLine(text, "Offset Freq (Hz)", FormatExponent(5, 4, values.offset_frequency));
    AddLine(text, "AGC Threshold (V)", FormatFixed(12, 1, values.signal_voltage));
    AddLine(text, "Es/No (dB)", FormatFixed(12, 1, values.es_no));
    AddLine(text, "BER", reading.ber_test ? BerRateText(values.bit_error_rate) : kNotMeasured);
    AddLine(text, "BIT", HexBytes(values.built_in_test));
  } else {
    AddLine(text, "Slow Values", "not read (no bitsync, no command read-back or no built-in test)");
  }
  if (!reading.complete) text += "  (some reads failed: their values are the previous ones)\n";
  return text;
}

std::string StatusJson(const StatusReading& reading) {
  JsonObject json;
  json.Integer("card", reading.card)
      .Integer("reading", reading.reading)
      .Boolean("simulated", reading.simulated)
      .Boolean("emulated", reading.emulated)
      .Boolean("complete", reading.complete)
      .Integer("lock_status", reading.lock_status)
      .Text("lock", LockStatusName(reading.lock_status))
      .Number("irig_time", RoundedToDecimals(reading.irig_time, kMicrosecondDecimals))
      .Text("irig_time_text", FormatTimeOfYear(reading.irig_time))
      .Integer("irig_status", reading.irig_status)
      .Text("irig_status_text",
            IrigStatusText(reading.irig_status, reading.irig_setup.SourceExternal != 0))
      .Boolean("polled", reading.polled)
      .Boolean("ber_test", reading.ber_test);
  const BitsyncStatusData& values = reading.values;
  if (!reading.polled) {
    for (const char* key : {"programmed_bit_rate", "bit_count", "error_count", "ber",
                            "offset_frequency_hz", "signal_voltage", "es_no_db",
                            "operational_status", "link_analysis_status", "built_in_test"}) {
      json.Null(key);
    }
    return json.str();
  }
  json.Integer("programmed_bit_rate", values.programmed_bit_rate)
      .Integer("bit_count", values.bit_count);
  if (reading.ber_test) {
    json.Integer("error_count", values.error_count)
        .Number("ber", RoundedToSignificantDigits(values.bit_error_rate, kBerDigits));
  } else {
    json.Null("error_count").Null("ber");
  }
  json.Number("offset_frequency_hz", values.offset_frequency)
      .Number("signal_voltage", values.signal_voltage)
      .Number("es_no_db", values.es_no)
      .Bytes("operational_status", values.operational_status);
  if (reading.ber_test) {
    json.Bytes("link_analysis_status", values.link_analysis_status);
  } else {
    json.Null("link_analysis_status");
  }
  json.Bytes("built_in_test", values.built_in_test);
  return json.str();
}

std::string BerText(const BerReading& reading) {
  std::string text = "card " + std::to_string(reading.card) + "  ";
  if (reading.summary) {
    text += std::string("summary: ") + (reading.pattern_15_bit ? "15" : "11") + "-bit " +
            (reading.external_pattern ? "external" : "internal") + " pattern, forced errors " +
            (reading.forced_errors ? "on" : "off") + "  ";
  }
  text += "elapsed " + SecondsText(reading.elapsed_seconds) + "  bits " +
          std::to_string(reading.bit_count) + "  errors " + std::to_string(reading.error_count) +
          "  BER " +
          (reading.bit_error_rate ? BerRateText(*reading.bit_error_rate) : kNotMeasured) + "  " +
          LockStatusName(reading.lock_status);
  if (reading.summary) {
    text += reading.correlator_locked ? "  PRN correlator locked" : "  PRN correlator not locked";
    if (reading.lock_lost) text += "  (lock lost during the test)";
    if (reading.interrupted) text += "  (interrupted)";
  }
  if (reading.simulated) text += "  SIMULATED";
  if (!reading.complete) text += "  (some reads failed)";
  return text;
}

std::string BerJson(const BerReading& reading) {
  JsonObject json;
  json.Integer("card", reading.card)
      .Text("reading", reading.summary ? "summary" : "progress")
      .Boolean("simulated", reading.simulated)
      .Boolean("complete", reading.complete)
      .Number("elapsed_s", RoundedToDecimals(reading.elapsed_seconds, kMillisecondDecimals))
      .Integer("bit_count", reading.bit_count)
      .Integer("error_count", reading.error_count);
  if (reading.bit_error_rate) {
    json.Number("ber", RoundedToSignificantDigits(*reading.bit_error_rate, kBerDigits));
  } else {
    json.Null("ber");
  }
  json.Integer("lock_status", reading.lock_status)
      .Text("lock", LockStatusName(reading.lock_status));
  if (reading.summary) {
    json.Integer("pattern", reading.pattern_15_bit ? 15 : 11)
        .Boolean("external", reading.external_pattern)
        .Boolean("forced_errors", reading.forced_errors)
        .Boolean("prn_correlator_locked", reading.correlator_locked)
        .Boolean("lock_lost", reading.lock_lost)
        .Boolean("interrupted", reading.interrupted);
  }
  return json.str();
}

std::string IrigText(const IrigReading& reading) {
  std::string text = "card " + std::to_string(reading.card) +
                     " IRIG: " + NameIn(kIrigCodeNames, reading.setup.SourceFormat) + ", " +
                     IrigSourceText(reading.setup) + ", flywheel " + FlywheelText(reading.setup) +
                     ", time " + FormatTimeOfYear(reading.time) + ", status " +
                     IrigStatusText(reading.status, reading.setup.SourceExternal != 0);
  if (reading.simulated) text += "  SIMULATED";
  return text;
}

std::string SetupText(int32_t card, const CardData& data) {
  const BitsyncSetup& setup = data.bitsync_setup;
  return "card " + std::to_string(card) + ": " + NameIn(kModelNames, setup.Model) + ", " +
         NameIn(kInputSourcePlainNames, setup.InputSource) + ", " +
         NameIn(kInputCodeNames, setup.InputCode) + " to " +
         NameIn(kOutputCodeNames, setup.OutputCode) + ", " + std::to_string(setup.BitRate) +
         " bit/s, quick react " + (data.quick_react_mode ? "on" : "off") + "; " +
         NameIn(kIrigCodeNames, data.irig_setup.SourceFormat) + ", " +
         IrigSourceText(data.irig_setup) + ", flywheel " + FlywheelText(data.irig_setup);
}

}  // namespace zorvctl
