// ZORV_EMULATE values and scenario files: card counts, every key, the defaults, and the
// reports for what cannot be used.

#include "emulator/Scenario.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "platform/process.h"

namespace {

using emulator::BridgeType;
using emulator::CardScenario;
using emulator::ModuleState;
using emulator::ParseScenario;
using emulator::ParseSignalSchedule;
using emulator::SignalSchedule;
using emulator::SignalStep;
using emulator::Usable;

class ScenarioFile : public ::testing::Test {
 protected:
  ScenarioFile() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("scenario_test_" + std::to_string(platform::ProcessId()) + "_" +
             std::to_string(serial.fetch_add(1)) + ".ini");
  }
  ~ScenarioFile() override { std::filesystem::remove(path_); }

  std::string Write(const std::string& contents) {
    std::ofstream(path_, std::ios::binary) << contents;
    return path_.string();
  }

  // Parses and returns the problems, one line each.
  std::optional<emulator::Scenario> Parse(const std::string& value, std::string& errors) {
    std::vector<std::string> problems;
    std::optional<emulator::Scenario> scenario = ParseScenario(value, problems);
    errors.clear();
    for (const std::string& problem : problems) errors += problem + "\n";
    EXPECT_EQ(scenario.has_value(), problems.empty()) << errors;
    return scenario;
  }

  std::filesystem::path path_;
};

void ExpectDefaults(const CardScenario& card) {
  EXPECT_EQ(card.bridge, BridgeType::k9080);
  EXPECT_EQ(card.subsystem, 0x0310D1A7u);
  EXPECT_EQ(card.eeprom_abc, (std::array<uint16_t, 3>{0xFFFE, 0x0008, 0x0000}));
  EXPECT_EQ(card.usable, Usable::kYes);
  EXPECT_EQ(card.module, ModuleState::kPresent);
  EXPECT_TRUE(card.readback);
  EXPECT_EQ(card.configuration, (std::array<uint8_t, 6>{0x00, 0x00, 0x4E, 0x0A, 0x03, 0x92}));
  EXPECT_EQ(card.signal_source, 1);
  EXPECT_EQ(card.signal_bit_rate, 1024000.0);
  EXPECT_EQ(card.signal_es_no, 15.0);
  EXPECT_EQ(card.signal_voltage, 1.5);
  EXPECT_EQ(card.signal_ber, 0.0);
  EXPECT_TRUE(card.irig_signal);
}

TEST_F(ScenarioFile, CardCountGivesDefaultCards) {
  for (const int count : {0, 3, 16}) {
    std::string errors;
    const auto scenario = Parse(std::to_string(count), errors);
    ASSERT_TRUE(scenario) << count;
    EXPECT_EQ(scenario->cards.size(), static_cast<size_t>(count));
    for (const CardScenario& card : scenario->cards) ExpectDefaults(card);
    EXPECT_EQ(errors, "");
  }
}

TEST_F(ScenarioFile, CardCountOutOfRangeGivesNoScenario) {
  for (const char* value : {"17", "-1", "100000000000000000000"}) {
    std::string errors;
    EXPECT_FALSE(Parse(value, errors)) << value;
    EXPECT_NE(errors.find(value), std::string::npos) << errors;
  }
}

TEST_F(ScenarioFile, MissingKeysTakeTheDefaults) {
  std::string errors;
  const auto scenario = Parse(Write("[Bus]\r\nCards=2\r\n[Card1]\r\n"), errors);
  ASSERT_TRUE(scenario) << errors;
  ASSERT_EQ(scenario->cards.size(), 2u);
  ExpectDefaults(scenario->cards[0]);
  ExpectDefaults(scenario->cards[1]);
}

TEST_F(ScenarioFile, EveryKeyIsRead) {
  std::string errors;
  const auto scenario = Parse(Write("[Bus]\n"
                                    "Cards=2\n"
                                    "[Card1]\n"
                                    "Bridge=9056\n"
                                    "Subsystem=0610D1A7\n"
                                    "EepromA=0xFFFF\n"
                                    "EepromB=0x800a\n"
                                    "EepromC=4\n"
                                    "Usable=SCANONLY\n"
                                    "Module=stuckbusy\n"
                                    "Readback=NO\n"
                                    "Configuration=0x01, 0x02,0x4F,0x0B ,0x04,0xFF\n"
                                    "SignalSource=-1\n"
                                    "SignalBitRate=2.5e6\n"
                                    "SignalEsNo=-3.5\n"
                                    "SignalVoltage=0.25\n"
                                    "SignalBer=1e-3\n"
                                    "IrigSignal=no\n"),
                              errors);
  ASSERT_TRUE(scenario) << errors;
  ExpectDefaults(scenario->cards[0]);
  const CardScenario& card = scenario->cards[1];
  EXPECT_EQ(card.bridge, BridgeType::k9056);
  EXPECT_EQ(card.subsystem, 0x0610D1A7u);
  EXPECT_EQ(card.eeprom_abc, (std::array<uint16_t, 3>{0xFFFF, 0x800A, 0x0004}));
  EXPECT_EQ(card.usable, Usable::kScanOnly);
  EXPECT_EQ(card.module, ModuleState::kStuckBusy);
  EXPECT_FALSE(card.readback);
  EXPECT_EQ(card.configuration, (std::array<uint8_t, 6>{0x01, 0x02, 0x4F, 0x0B, 0x04, 0xFF}));
  EXPECT_EQ(card.signal_source, -1);
  EXPECT_EQ(card.signal_bit_rate, 2.5e6);
  EXPECT_EQ(card.signal_es_no, -3.5);
  EXPECT_EQ(card.signal_voltage, 0.25);
  EXPECT_EQ(card.signal_ber, 1e-3);
  EXPECT_FALSE(card.irig_signal);
}

TEST_F(ScenarioFile, ChoicesIgnoreCase) {
  std::string errors;
  const auto scenario =
      Parse(Write("[bus]\ncards=1\n[card0]\nusable=no\nmodule=ABSENT\nreadback=Yes\n"), errors);
  ASSERT_TRUE(scenario) << errors;
  EXPECT_EQ(scenario->cards[0].usable, Usable::kNo);
  EXPECT_EQ(scenario->cards[0].module, ModuleState::kAbsent);
  EXPECT_TRUE(scenario->cards[0].readback);
}

TEST_F(ScenarioFile, MalformedValueIsReportedWithFileAndKeyAndGivesNoScenario) {
  const std::pair<const char*, const char*> cases[] = {
      {"Bridge", "9081"},
      {"Subsystem", "0x1FFFFFFFF"},
      {"Subsystem", "D1A7G"},
      {"EepromA", "0x10000"},
      {"EepromB", ""},
      {"Usable", "MAYBE"},
      {"Module", "broken"},
      {"Readback", "1"},
      {"Configuration", "0x00,0x00,0x4E,0x0A,0x03"},
      {"Configuration", "0x00,0x00,0x4E,0x0A,0x03,0x92,0x00"},
      {"Configuration", "0x00,0x00,0x4E,0x0A,0x03,0x100"},
      {"SignalSource", "12"},
      {"SignalSource", "1.5"},
      {"SignalBitRate", "0"},
      {"SignalEsNo", "loud"},
      {"SignalEsNo", "nan"},
      {"SignalVoltage", "-0.1"},
      {"SignalBer", "1.5"},
      {"IrigSignal", "present"},
      {"SignalSchedule", "on 5, sometimes 2"},
  };
  for (const auto& [key, value] : cases) {
    SCOPED_TRACE(std::string(key) + "=" + value);
    std::string errors;
    const std::string path =
        Write(std::string("[Bus]\nCards=2\n[Card1]\n") + key + "=" + value + "\n");
    EXPECT_FALSE(Parse(path, errors));
    EXPECT_NE(errors.find(path), std::string::npos) << errors;
    EXPECT_NE(errors.find(std::string("[Card1] ") + key + "="), std::string::npos) << errors;
  }
}

TEST_F(ScenarioFile, SignalScheduleIsReadIntoItsCard) {
  std::string errors;
  const auto scenario =
      Parse(Write("[Bus]\nCards=2\n[Card1]\nSignalSchedule=on 5, off 2, on 10\n"), errors);
  ASSERT_TRUE(scenario) << errors;
  EXPECT_TRUE(scenario->cards[0].signal_schedule.steps.empty());
  ASSERT_EQ(scenario->cards[1].signal_schedule.steps.size(), 3u);
  EXPECT_FALSE(scenario->cards[1].signal_schedule.steps[1].on);
  EXPECT_EQ(scenario->cards[1].signal_schedule.steps[1].nanoseconds, 2'000'000'000);
}

struct ScheduleText {
  const char* text;
  // Each step as on/off and milliseconds; empty when the text is refused.
  std::vector<std::pair<bool, int64_t>> steps;
};

TEST(SignalScheduleText, OnOrOffAndSecondsCommaSeparatedAndNothingElse) {
  const ScheduleText cases[] = {
      {"on 5, off 2, on 10", {{true, 5000}, {false, 2000}, {true, 10000}}},
      {"OFF 0.25", {{false, 250}}},
      {" On\t1 ,off   +1.5e0 ", {{true, 1000}, {false, 1500}}},
      {"on 1000000", {{true, 1'000'000'000}}},
      {"on 0.001", {{true, 1}}},
      {"", {}},
      {"on", {}},
      {"on 5,", {}},
      {", on 5", {}},
      {"on 5; off 2", {}},
      {"on 5 s", {}},
      {"on five", {}},
      {"up 5", {}},
      {"on 0", {}},
      {"on -1", {}},
      {"on 0.0009", {}},
      {"on 1000001", {}},
      {"on nan", {}},
      {"on inf", {}},
  };
  for (const ScheduleText& c : cases) {
    SCOPED_TRACE(c.text);
    SignalSchedule schedule{{{true, 7'000'000}}};
    EXPECT_EQ(ParseSignalSchedule(c.text, schedule), !c.steps.empty());
    std::vector<std::pair<bool, int64_t>> steps;
    for (const SignalStep& step : schedule.steps) {
      steps.emplace_back(step.on, step.nanoseconds / 1'000'000);
    }
    // A refused text leaves the schedule as it was.
    const std::vector<std::pair<bool, int64_t>> unchanged = {{true, 7}};
    EXPECT_EQ(steps, c.steps.empty() ? unchanged : c.steps);
  }
}

TEST(SignalScheduleText, TheCycleStartsAgainAfterItsLastStep) {
  constexpr int64_t kSecond = 1'000'000'000;
  SignalSchedule schedule;
  ASSERT_TRUE(ParseSignalSchedule("on 5, off 2, on 10", schedule));
  // Time, whether the signal is on, and its next change: the last "on" runs into the first.
  const std::tuple<double, bool, double> cases[] = {
      {0, true, 5},  {4.999, true, 5}, {5, false, 7},   {6.5, false, 7},
      {7, true, 22}, {21, true, 22},   {22, false, 24}, {24, true, 39},
  };
  for (const auto& [at, on, next] : cases) {
    SCOPED_TRACE(at);
    const auto time = static_cast<int64_t>(at * kSecond);
    EXPECT_EQ(schedule.On(time), on);
    EXPECT_EQ(schedule.NextChange(time), static_cast<int64_t>(next * kSecond));
  }
  // Without a change the signal never comes or goes.
  EXPECT_EQ(SignalSchedule{}.NextChange(0), std::numeric_limits<int64_t>::max());
  ASSERT_TRUE(ParseSignalSchedule("off 1, off 2", schedule));
  EXPECT_FALSE(schedule.On(10 * kSecond));
  EXPECT_EQ(schedule.NextChange(0), std::numeric_limits<int64_t>::max());
}

TEST_F(ScenarioFile, BusSectionMustGiveACardCount) {
  const std::pair<const char*, const char*> cases[] = {
      {"no Cards key", "[Bus]\n[Card0]\nBridge=9056\n"},
      {"count above 16", "[Bus]\nCards=17\n"},
      {"count not a number", "[Bus]\nCards=three\n"},
  };
  for (const auto& [name, contents] : cases) {
    SCOPED_TRACE(name);
    std::string errors;
    const std::string path = Write(contents);
    EXPECT_FALSE(Parse(path, errors));
    EXPECT_NE(errors.find(path + ": [Bus] Cards"), std::string::npos) << errors;
  }
}

TEST_F(ScenarioFile, NamesNoCardTakesAreRefusedWithFileSectionAndKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"[Bus]\nCards=2\nCard=3\n", "[Bus] Card=3: no such key"},
      {"[Bus]\nCards=2\n[Card1]\nBrdige=9056\n", "[Card1] Brdige=9056: no such key"},
      {"[Bus]\nCards=2\n[Card2]\nBridge=9056\n", "[Card2]: beyond Cards=2"},
      {"[Bus]\nCards=0\n[card0]\n", "[card0]: beyond Cards=0"},
      {"[Bus]\nCards=2\n[Card 1]\nBridge=9056\n",
       "[Card 1]: not a section of a scenario ([Bus], [Card0] ...)"},
      {"[Bus]\nCards=1000\n", "[Bus] Cards=1000: expected a card count 0 to 16"},
      {"", "[Bus] Cards: missing"},
      // A control character stays in a name or value; the problem shows it escaped, on one
      // line. (Not a CR: the Windows profile reader ends a line there.)
      {"[Bus]\nCards=2\nX\x01=1\n", "[Bus] X\\x01=1: no such key"},
      {"[Bus]\nCards=2\n[Card1]\nBridge=90\x01"
       "56\n",
       "[Card1] Bridge=90\\x0156: expected 9080 or 9056"},
  };
  for (const auto& [contents, problem] : cases) {
    SCOPED_TRACE(contents);
    std::string errors;
    const std::string path = Write(contents);
    EXPECT_FALSE(Parse(path, errors));
    EXPECT_EQ(errors, path + ": " + problem + "\n");
  }
}

TEST_F(ScenarioFile, UnreadableFileIsReported) {
  std::string errors;
  const std::string missing = (path_.parent_path() / "no such scenario.ini").string();
  EXPECT_FALSE(Parse(missing, errors));
  EXPECT_NE(errors.find(missing), std::string::npos) << errors;
  EXPECT_FALSE(Parse(path_.parent_path().string(), errors)) << "a directory";
  EXPECT_FALSE(Parse("no\nsuch.ini", errors));
  EXPECT_EQ(errors, "no\\x0Asuch.ini: the scenario file cannot be read\n");
}

}  // namespace
