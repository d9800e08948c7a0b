// The library's own log through the loaded library: ZORVDLL.Log in "Files\ErLogs\" of the
// start directory when that folder exists, else in the current directory, from the start
// banner to the end banner, with the discovery lines the cards give.

#include <filesystem>

#include "tests/e2e/ZorvDllFixture.h"

namespace zorv_e2e {
namespace {

class LibraryLogTest : public ZorvDllTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LibraryLogTest, LogRunsFromLoadToUnload) {
  const bool with_subfolder = GetParam();
  const std::filesystem::path subfolder = folder() / "Files" / "ErLogs";
  if (with_subfolder) std::filesystem::create_directories(subfolder);
  Load("[Bus]\nCards=1\n");
  ASSERT_EQ(OpenApi(), 1);
  Unload();
  EXPECT_EQ(std::filesystem::exists(subfolder / "ZORVDLL.Log"), with_subfolder);
  EXPECT_EQ(std::filesystem::exists(folder() / "ZORVDLL.Log"), !with_subfolder);

  ASSERT_GE(log().size(), 4u);
  EXPECT_EQ(log()[0].text, "--------------------DLL START----------------------");
  EXPECT_EQ(log()[1].text, "DLL Version 4.24");
  EXPECT_EQ(log().back().text, "--------------------DLL END----------------------");
  const auto counting = zorv_test::EntriesStartingWith(log(), "Counting installed cards for");
  ASSERT_EQ(counting.size(), 2u) << "one scan per bridge type";
  EXPECT_EQ(counting[0].text, "Counting installed cards for cardname ZORV");
  EXPECT_EQ(zorv_test::EntriesStartingWith(log(), "PCI Card Info for Card Index").size(), 1u);
  EXPECT_EQ(zorv_test::EntriesStartingWith(log(), "Signature for ZORV card 1 is TQ517").size(), 1u);
  // Emulated cards never pass for real ones: one line, before the first card is counted.
  const auto emulated = zorv_test::EntriesStartingWith(log(), "Cards are EMULATED: ");
  ASSERT_EQ(emulated.size(), 1u);
  EXPECT_EQ(emulated[0].code, 1);
  EXPECT_EQ(emulated[0].text, "Cards are EMULATED: virtual PCI bus, ZORV_EMULATE=" +
                                  (folder() / "scenario.ini").string());
}

INSTANTIATE_TEST_SUITE_P(Folders, LibraryLogTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "InFilesErLogs" : "InCurrentDirectory";
});

}  // namespace
}  // namespace zorv_e2e
