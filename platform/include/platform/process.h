#pragma once
// Process-level facts and services.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

uint32_t ProcessId();
std::optional<std::string> EnvironmentVariable(const std::string& name);
// An empty value removes the variable, so that a saved absent variable can be put back.
bool SetEnvironmentVariable(const std::string& name, const std::string& value);

// Requests and returns the 1 ms system timer period (balanced pairs).
void BeginTimerPeriod();
void EndTimerPeriod();

// A modal message box owned by no window; on systems without one, one line on standard error.
// ZORV_HEADLESS=1 in the environment (the command-line tools set it) gives the line everywhere,
// so that no box waits for a click nobody can give.
constexpr uint32_t kIconError = 0x10;
constexpr uint32_t kIconInformation = 0x40;
void ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags);

}  // namespace platform
