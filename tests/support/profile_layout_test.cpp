// Our own profile reader and writer, where the system has no profile functions of its own: the
// layout a write leaves, how the file is replaced, and the lines the reader does not take. On
// Windows these are the platform's choices, so this suite is built elsewhere only.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/profile.h"
#include "profile_files.h"

namespace {

using platform::ReadProfileString;
using platform::WriteProfileString;

class HandWrittenLayout : public ProfileFolder,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(HandWrittenLayout, WriteKeepsEveryOtherLineAndEndsLinesInCrlf) {
  Store("setup.ini", HandWrittenFile(GetParam()));
  const std::string file = PathOf("setup.ini");
  ASSERT_TRUE(WriteProfileString(file, "COMMONAREA", "numcards", "3"));
  ASSERT_TRUE(WriteProfileString(file, "CommonArea", "Added", "new"));
  ASSERT_TRUE(WriteProfileString(file, "bitsync_1", " Appended ", " spaced "));
  ASSERT_TRUE(WriteProfileString(file, "IRIG_1", "SourceFormat", "0"));
  ASSERT_TRUE(WriteProfileString(file, "IRIG_1", "Flywheel", "YES"));
  EXPECT_EQ(Load("setup.ini"),
            "; Zorv setup, edited by hand\r\n"
            "[CommonArea]\r\n"
            "NumCards=3\r\n"
            "LastFile=\"C:\\Setups\\bench.ini\"\r\n"
            "Title='  padded  '\r\n"
            "Half=\"open\r\n"
            "Added=new\r\n"
            "a line without equals\r\n"
            "; BITSYNC_1 follows\r\n"
            "\r\n"
            "[ BITSYNC_1 ]\r\n"
            "model=KELT_20\r\n"
            "BitRate\t=\t1024000\r\n"
            "Empty=\r\n"
            "Model=duplicate\r\n"
            "Appended= spaced \r\n"
            "[bitsync_1]\r\n"
            "Extra=second section of the same name\r\n"
            "[IRIG_1]\r\n"
            "SourceFormat=0\r\n"
            "Flywheel=YES\r\n");
  EXPECT_EQ(ReadProfileString(file, "BITSYNC_1", "Appended", kAbsent), "spaced");
}

INSTANTIATE_TEST_SUITE_P(LineEndings, HandWrittenLayout, ::testing::Values("\r\n", "\n"),
                         [](const auto& info) {
                           return std::string(info.param) == "\n" ? "LF" : "CRLF";
                         });

using ProfileLayout = ProfileFolder;

TEST_F(ProfileLayout, NewKeyGoesBelowTheLastKeyOfItsSection) {
  Store("setup.ini", "[S]\r\n; about T\r\n[T]\r\nX=1");
  ASSERT_TRUE(WriteProfileString(PathOf("setup.ini"), "S", "K", "v"));
  ASSERT_TRUE(WriteProfileString(PathOf("setup.ini"), "T", "Y", "2"));
  EXPECT_EQ(Load("setup.ini"), "[S]\r\nK=v\r\n; about T\r\n[T]\r\nX=1\r\nY=2\r\n");
}

TEST_F(ProfileLayout, AWriteKeepsTheByteOrderMarkAndTheSectionBehindIt) {
  Store("marked.ini", "\xEF\xBB\xBF[S]\r\nK=1\r\n");
  ASSERT_TRUE(WriteProfileString(PathOf("marked.ini"), "S", "L", "2"));
  EXPECT_EQ(Load("marked.ini"), "\xEF\xBB\xBF[S]\r\nK=1\r\nL=2\r\n");
}

TEST_F(ProfileLayout, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  Store("setup.ini", "[S]\nK=old\n");
  // A reader that opened the file before the write keeps seeing the old text: the new text
  // went to another file that was renamed over it, so the old one was never half rewritten.
  std::ifstream before_write(PathOf("setup.ini"), std::ios::binary);
  ASSERT_TRUE(WriteProfileString(PathOf("setup.ini"), "S", "K", "new"));
  const std::string seen(std::istreambuf_iterator<char>(before_write), {});
  EXPECT_EQ(seen, "[S]\nK=old\n");
  EXPECT_EQ(Load("setup.ini"), "[S]\r\nK=new\r\n");
  EXPECT_FALSE(WriteProfileString(PathOf("setup.ini"), "S", "K\n", "refused"));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    EXPECT_EQ(entry.path().filename(), "setup.ini");
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(ProfileLayout, KeepsPermissionsAndWritesThroughSymbolicLinks) {
  using std::filesystem::perms;
  Store("real.ini", "[S]\nK=old\n");
  std::filesystem::permissions(PathOf("real.ini"),
                               perms::owner_read | perms::owner_write | perms::group_read);
  std::filesystem::create_symlink(PathOf("real.ini"), PathOf("link.ini"));
  ASSERT_TRUE(WriteProfileString(PathOf("link.ini"), "S", "K", "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(PathOf("link.ini")));
  EXPECT_EQ(Load("real.ini"), "[S]\r\nK=new\r\n");
  EXPECT_EQ(std::filesystem::status(PathOf("real.ini")).permissions(),
            perms::owner_read | perms::owner_write | perms::group_read);
}

TEST_F(ProfileLayout, AFileFarTooLargeIsNeitherReadNorRewritten) {
  Store("huge.ini", "[S]\nK=V\n");
  constexpr uintmax_t kHugeSize = (64u << 20) + 1;
  std::filesystem::resize_file(PathOf("huge.ini"), kHugeSize);  // sparse: no disk used
  EXPECT_EQ(ReadProfileString(PathOf("huge.ini"), "S", "K", kAbsent), kAbsent);
  EXPECT_FALSE(WriteProfileString(PathOf("huge.ini"), "S", "K", "new"));
  EXPECT_EQ(std::filesystem::file_size(PathOf("huge.ini")), kHugeSize);
}

// What C string functions would never see is not there, and a "[" line without "]" opens a
// section nobody can name.
TEST_F(ProfileLayout, NulBytesAndUnclosedHeadersHideTheKeysBehindThem) {
  const struct {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
  } cases[] = {
      {"NUL inside a key", std::string("[S]\nK\0=V\n", 9), "S", "K"},
      {"NUL inside a header", std::string("[S\0]\nK=V\n", 9), "S", "K"},
      {"unclosed header ends the section", "[T]\nA=1\n[broken\nB=2\n", "T", "B"},
  };
  for (const auto& c : cases) {
    Store("bad.ini", c.content);
    EXPECT_EQ(ReadProfileString(PathOf("bad.ini"), c.section, c.key, kAbsent), kAbsent) << c.name;
  }
}

}  // namespace
