#include <cstdio>

#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "windows_api.h"

namespace platform {

uint32_t ProcessId() {
  return ::GetCurrentProcessId();
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  char buffer[32768];
  const DWORD length = ::GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::nullopt;
  return std::string(buffer, length);
}

bool SetEnvironmentVariable(const std::string& name, const std::string& value) {
  return ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str()) != 0;
}

void BeginTimerPeriod() {
  ::timeBeginPeriod(1);
}
void EndTimerPeriod() {
  ::timeEndPeriod(1);
}

void ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  // A box that cannot be shown (no desktop, as in a service) leaves the line as the message.
  // The documented failure is 0; Wine without a display gives -1.
  const bool shown = EnvironmentVariable("ZORV_HEADLESS") != "1" &&
                     ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | flags) > 0;
  if (!shown) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

LibraryHandle LoadLibraryByName(const std::string& path) {
  return reinterpret_cast<LibraryHandle>(::LoadLibraryA(path.c_str()));
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string LastLibraryError() {
  const DWORD error = ::GetLastError();
  std::string text = SystemErrorMessage(error);
  // The system's texts end in a line break, and callers put this one inside a log line.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
}

std::string SharedLibraryFileName(const std::string& base_name) {
  return base_name + ".DLL";
}

}  // namespace platform
