#include "platform/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// Windows writes a text-mode line end as CR LF.
std::string Lines(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

TEST(ChildProcess, ArgumentsOutputsAndExitCodeComeBack) {
  const platform::ProgramRun run =
      platform::RunProgram(CHILD_PROCESS_HELPER, {"3", "two words", "quote \" and \\ back\\"});

  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(Lines(run.output), "3\ntwo words\nquote \" and \\ back\\\n");
  EXPECT_EQ(Lines(run.errors), "to standard error\n");
}

TEST(ChildProcess, AMissingProgramIsNotStarted) {
  const platform::ProgramRun run = platform::RunProgram(CHILD_PROCESS_HELPER "-missing", {});

  EXPECT_FALSE(run.started);
  EXPECT_TRUE(run.output.empty());
}

}  // namespace
