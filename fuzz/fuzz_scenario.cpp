// Emulator scenario files: random file bytes as ZORV_EMULATE's file, and random text as its
// value and as a signal schedule. A scenario either comes with no problem or with problems one
// line each; a schedule that parses answers for any time.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/Scenario.h"
#include "fuzz/FuzzScratch.h"
#include "platform/profile.h"

namespace {

using zorv_fuzz::Check;

// Module time: nanoseconds since the bus was built, for up to a century.
constexpr int64_t kLongestModuleTime = 36'525LL * 86'400 * 1'000'000'000;

// On and NextChange at times around the cycle, far from it and at the end of the range.
void CheckSchedule(const emulator::SignalSchedule& schedule, FuzzedDataProvider& data) {
  const int64_t times[] = {0, 1, data.ConsumeIntegralInRange<int64_t>(0, kLongestModuleTime),
                           data.ConsumeIntegralInRange<int64_t>(0, kLongestModuleTime),
                           kLongestModuleTime};
  for (const int64_t now : times) {
    schedule.On(now);
    Check(schedule.NextChange(now) > now, "the next change is not after now");
  }
}

void CheckProblems(const std::optional<emulator::Scenario>& scenario,
                   const std::vector<std::string>& problems) {
  Check(scenario.has_value() == problems.empty(), "a scenario came with problems, or none");
  for (const std::string& problem : problems) {
    Check(problem.find_first_of("\r\n") == std::string::npos, "a problem of more than one line");
  }
  if (scenario) Check(scenario->cards.size() <= emulator::kMaxEmulatedCards, "too many cards");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  // As long as a value the profile reader gives.
  const std::string schedule_text = data.ConsumeRandomLengthString(platform::kProfileValueLimit);
  emulator::SignalSchedule schedule;
  if (emulator::ParseSignalSchedule(schedule_text, schedule)) CheckSchedule(schedule, data);

  // A card count, or anything else, as the variable's value; a path is not taken from the
  // input, so that no run reads an arbitrary file.
  std::string value = data.ConsumeRandomLengthString(12);
  if (value.find('/') == std::string::npos) {
    std::vector<std::string> problems;
    CheckProblems(emulator::ParseScenario(value, problems), problems);
  }

  const std::string path = zorv_fuzz::ScratchPath("scenario.ini");
  zorv_fuzz::WriteFileBytes(path, data.ConsumeRemainingBytesAsString());
  std::vector<std::string> problems;
  const std::optional<emulator::Scenario> scenario = emulator::ParseScenario(path, problems);
  CheckProblems(scenario, problems);
  if (scenario) {
    for (const emulator::CardScenario& card : scenario->cards) {
      CheckSchedule(card.signal_schedule, data);
    }
  }
  return 0;
}
