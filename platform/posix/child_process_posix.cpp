#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/child_process.h"

extern char** environ;

namespace platform {
namespace {

using TemporaryFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

TemporaryFile NewTemporaryFile() {
  return TemporaryFile(std::tmpfile(), std::fclose);
}

// The streams go to files rather than pipes, so that a child writing much to both cannot
// block on a pipe nobody is reading.
std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  return text;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  ProgramRun run;
  TemporaryFile output = NewTemporaryFile();
  TemporaryFile errors = NewTemporaryFile();
  if (!output || !errors) return run;

  std::vector<std::string> texts{program};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return run;
  ::posix_spawn_file_actions_adddup2(&actions, ::fileno(output.get()), STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, ::fileno(errors.get()), STDERR_FILENO);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;

  int status = 0;
  pid_t waited = 0;
  do {
    waited = ::waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);  // a signal to this process: keep waiting
  run.started = true;
  if (waited < 0) return run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.output = ReadAll(output.get());
  run.errors = ReadAll(errors.get());
  return run;
}

}  // namespace platform
