#include <string>

#include "platform/child_process.h"
#include "windows_api.h"

namespace platform {
namespace {

// An inheritable temporary file that is deleted when the last handle to it closes.
HANDLE NewTemporaryFile() {
  char folder[MAX_PATH];
  char path[MAX_PATH];
  if (::GetTempPathA(sizeof folder, folder) == 0 || ::GetTempFileNameA(folder, "zrv", 0, path) == 0)
    return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string ReadAll(HANDLE file) {
  std::string text;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  DWORD count = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    text.append(buffer, count);
  }
  return text;
}

// One argument as the C run-time's command-line parser reads it back.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  ProgramRun run;
  HANDLE output = NewTemporaryFile();
  HANDLE errors = NewTemporaryFile();
  if (output != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE) {
    std::string command_line = Quoted(program);
    for (const std::string& argument : arguments) command_line += " " + Quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         nullptr, &startup, &process)) {
      ::WaitForSingleObject(process.hProcess, INFINITE);
      DWORD exit_code = 0;
      ::GetExitCodeProcess(process.hProcess, &exit_code);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
      run.started = true;
      run.exit_code = static_cast<int>(exit_code);
      run.output = ReadAll(output);
      run.errors = ReadAll(errors);
    }
  }
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  if (errors != INVALID_HANDLE_VALUE) ::CloseHandle(errors);
  return run;
}

}  // namespace platform
