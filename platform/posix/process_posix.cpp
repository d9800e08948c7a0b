#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/dynamic_library.h"
#include "platform/process.h"

namespace platform {

uint32_t ProcessId() {
  return static_cast<uint32_t>(::getpid());
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

bool SetEnvironmentVariable(const std::string& name, const std::string& value) {
  if (value.empty()) return ::unsetenv(name.c_str()) == 0;
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

void BeginTimerPeriod() {}
void EndTimerPeriod() {}

void ShowMessageBox(const std::string& text, const std::string& caption, uint32_t) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

LibraryHandle LoadLibraryByName(const std::string& path) {
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  return library ? ::dlsym(library, name) : nullptr;
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library) ::dlclose(library);
}

std::string LastLibraryError() {
  const char* text = ::dlerror();
  return text ? text : "";
}

std::string SharedLibraryFileName(const std::string& base_name) {
  return "lib" + base_name + ".so";
}

}  // namespace platform
