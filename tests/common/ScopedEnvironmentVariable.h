#pragma once
// An environment variable of the process (and of the programs it starts) set for the object's
// lifetime, then put back as it was, absent included.

#include <optional>
#include <string>

#include "platform/process.h"

namespace zorv_test {

class ScopedEnvironmentVariable {
 public:
  // An empty value removes the variable.
  ScopedEnvironmentVariable(const std::string& name, const std::string& value)
      : name_(name), saved_(platform::EnvironmentVariable(name)) {
    platform::SetEnvironmentVariable(name, value);
  }
  ~ScopedEnvironmentVariable() { platform::SetEnvironmentVariable(name_, saved_.value_or("")); }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace zorv_test
