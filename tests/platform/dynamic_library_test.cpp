#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The loader's own text, which callers put inside a log line (Windows ends its texts in CR LF).
TEST(DynamicLibrary, AFailedLoadIsExplainedOnOneLine) {
  EXPECT_EQ(platform::LoadLibraryByName("zorv_no_such_library"), nullptr);
  const std::string text = platform::LastLibraryError();
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
}

}  // namespace
