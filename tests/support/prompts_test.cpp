#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/clock.h"
#include "support/KesBorDialogsUnit.h"
#include "support/KesBorPromptsUnit.h"
#include "tests/common/ScriptedDialogs.h"
#include "tests/common/SpeakerProbe.h"

namespace {

using zorv_test::ScriptedDialogs;

TEST(FormatInRadix, ShowsTheValueWithoutPrefixOrLeadingZeros) {
  const struct {
    int radix;
    int32_t value;
    const char* text;
  } cases[] = {
      {16, 255, "FF"},
      {8, 255, "377"},
      {2, 255, "11111111"},
      {10, 255, "255"},
      {16, 0, "0"},
      {8, 0, "0"},
      {2, 0, "0"},
      {10, 0, "0"},
      {10, -5, "-5"},
      {16, -1, "FFFFFFFF"},
      {7, 1024000, "1024000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatInRadix(c.radix, c.value), c.text) << c.radix << " " << c.value;
  }
}

TEST(ParseScientificInt, ReadsMantissaAndExponentFromTheirLeadingCharacters) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"2.5e3", 2500},
      {"1E2", 100},
      {"1e-1", 0},
      {"16e-1", 2},
      {"FE", 0},
      {"e5", 0},
      {"3e", 3},
      {"2e3x", 2000},
      {"1e400", 0},
      {"-4e2", -400},
      {"2500", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    int32_t value = -7;
    EXPECT_EQ(ParseScientificInt(c.text, value), c.value.has_value()) << c.text;
    if (c.value) {
      EXPECT_EQ(value, *c.value) << c.text;
    }
  }
}

// One answer typed into the prompt, and what the prompt makes of it.
struct PromptCase {
  const char* name;
  int32_t value;
  int32_t first_bound;
  int radix;
  int32_t second_bound;
  std::optional<std::string> answer;  // nothing: the operator cancels
  bool accepted;
  int32_t result;
  bool clamped;  // sounded the notice beep
};

class PromptForIntegerTest : public ::testing::TestWithParam<PromptCase> {
 protected:
  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  ScriptedDialogs dialogs_;
};

TEST_P(PromptForIntegerTest, ParsesClampsAndBeeps) {
  const PromptCase& c = GetParam();
  dialogs_.text_answers.push_back(c.answer);
  zorv_test::SpeakerProbe speaker(clock_);
  int32_t value = c.value;
  bool accepted = false;
  const int64_t ms = speaker.MillisecondsOf([&] {
    accepted = PromptForInteger("Enter it", value, c.first_bound, c.radix, c.second_bound);
  });
  EXPECT_EQ(accepted, c.accepted);
  EXPECT_EQ(value, c.result);
  EXPECT_EQ(ms, c.clamped ? zorv_test::kNoticeBeepMs : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PromptForIntegerTest,
    ::testing::Values(
        PromptCase{"AboveTheRangeIsClamped", 50, 0, 10, 100, "150", true, 100, true},
        PromptCase{"BelowReversedBoundsIsClamped", 50, 100, 10, 0, "-5", true, 0, true},
        PromptCase{"WithinTheRange", 50, 20000000, 10, 10, "2048000", true, 2048000, false},
        PromptCase{"HexPrefixInADecimalPrompt", 0, 0, 10, 100, "0x1F", true, 31, false},
        PromptCase{"ExponentBeforeTheRadix", 0, 0x1000, 16, 0, "1e2", true, 100, false},
        PromptCase{"HexPrefixInAHexPrompt", 0, 0x1000, 16, 0, "0x1e2", true, 482, false},
        PromptCase{"ExponentInADecimalPrompt", 0, 20000000, 10, 10, "2.5e3", true, 2500, false},
        PromptCase{"BinaryDigits", 0, 0, 2, 255, "101", true, 5, false},
        PromptCase{"OctalDigits", 0, 0, 8, 255, "17", true, 15, false},
        PromptCase{"NotANumberKeepsTheValue", 42, 0, 10, 100, "abc", false, 42, false},
        PromptCase{"DigitOutsideTheRadix", 42, 0, 2, 100, "102", false, 42, false},
        PromptCase{"CancelKeepsTheValue", 42, 0, 10, 100, std::nullopt, false, 42, false},
        PromptCase{"UnchangedAnswerIsAccepted", 42, 0, 10, 100, "42", true, 42, false},
        PromptCase{"UnchangedAnswerOutOfRangeIsClamped", 200, 0, 10, 100, "200", true, 100, true}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return info.param.name; });

TEST(PromptForIntegerDialog, CaptionNamesTheRangeAndProposesTheValue) {
  const struct {
    int radix;
    int32_t value;
    const char* caption;
    const char* proposed;
  } cases[] = {
      {10, 1024000, "Input Range 10 - 20000000", "1024000"},
      {16, 255, "Input Range 0x0000000A - 0x01312D00", "FF"},
  };
  for (const auto& c : cases) {
    ScriptedDialogs dialogs;
    int32_t value = c.value;
    PromptForInteger("Enter the Bit Rate", value, 20000000, c.radix, 10);
    ASSERT_EQ(dialogs.texts.size(), 1u);
    EXPECT_EQ(dialogs.texts[0].caption, c.caption);
    EXPECT_EQ(dialogs.texts[0].prompt, "Enter the Bit Rate");
    EXPECT_EQ(dialogs.texts[0].proposed, c.proposed);
  }
}

TEST(FileDialogs, AskWithOneFilterEntryTheDefaultExtensionAndTheProposedBaseName) {
  const struct {
    const char* extension;
    const char* bare;
  } cases[] = {{"ZORV", "ZORV"}, {".ini", "ini"}, {"*.ini", "ini"}, {"ini.", "ini."}};
  for (const auto& c : cases) {
    ScriptedDialogs dialogs;
    dialogs.file_answers = {"/stations/A/PASS.ZORV", "/stations/A/NEW.ZORV"};
    std::string file_name;
    EXPECT_TRUE(AskOpenFile("/stations/A", c.extension, file_name, "/old/DAY1.ZORV"));
    EXPECT_EQ(file_name, "/stations/A/PASS.ZORV");
    EXPECT_TRUE(AskSaveFile("/stations/A", c.extension, file_name, "C:\\old\\DAY2.ZORV"));
    EXPECT_EQ(file_name, "/stations/A/NEW.ZORV");
    ASSERT_EQ(dialogs.files.size(), 2u);
    const std::string bare = c.bare;
    EXPECT_EQ(dialogs.files[0].kind, FileDialogKind::kOpen);
    EXPECT_EQ(dialogs.files[0].title, "Open File");
    EXPECT_EQ(dialogs.files[1].kind, FileDialogKind::kSave);
    EXPECT_EQ(dialogs.files[1].title, "Save File");
    for (const FileRequest& request : dialogs.files) {
      EXPECT_EQ(request.directory, "/stations/A");
      EXPECT_EQ(request.filter, "File Type (*." + bare + ")|*." + bare) << c.extension;
      EXPECT_EQ(request.default_suffix, bare);
    }
    EXPECT_EQ(dialogs.files[0].proposed_name, "DAY1");
    EXPECT_EQ(dialogs.files[1].proposed_name, "DAY2");
  }
}

TEST(FileDialogs, CancelLeavesTheFileNameAlone) {
  ScriptedDialogs dialogs;
  std::string file_name = "KEPT.ZORV";
  EXPECT_FALSE(AskOpenFile(".", "ZORV", file_name, ""));
  EXPECT_FALSE(AskSaveFile(".", "ZORV", file_name, ""));
  EXPECT_EQ(file_name, "KEPT.ZORV");
}

// Without installed dialogs nothing waits for an answer: boxes become lines and every question
// counts as cancelled.
TEST(FileDialogs, HeadlessDialogsCancelEveryQuestion) {
  EXPECT_EQ(ShowMessage("Save First?", "SAVE", MessageButtons::kYesNoCancel),
            MessageAnswer::kCancel);
  EXPECT_EQ(ShowMessage("Done", "INFO"), MessageAnswer::kOk);
  std::string file_name = "KEPT.ZORV";
  EXPECT_FALSE(AskOpenFile(".", "ZORV", file_name, ""));
  int32_t value = 7;
  EXPECT_FALSE(PromptForInteger("Enter", value, 0, 10, 100));
  EXPECT_EQ(value, 7);
}

}  // namespace
