#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "profile_files.h"
#include "support/KesBorFilesUnit.h"

namespace {

class Settings : public ProfileFolder {
 protected:
  void SetUp() override {
    ProfileFolder::SetUp();
    file_ = PathOf("setup.ini");
  }
  std::string file_;
};

TEST_F(Settings, EmptyValueIsPresent) {
  Store("setup.ini", "[S]\r\nK=\r\n");
  std::string text = "unchanged";
  int32_t number = 7;
  bool flag = true;
  EXPECT_TRUE(ReadSettingText(file_, "S", "K", text));
  EXPECT_TRUE(ReadSettingInt(file_, "S", "K", 10, number));
  EXPECT_TRUE(ReadSettingBool(file_, "S", "K", flag));
  EXPECT_EQ(text, "");
  EXPECT_EQ(number, 0);
  EXPECT_FALSE(flag);
}

TEST_F(Settings, MissingOrMarkerValueLeavesTheCallersDefault) {
  Store("setup.ini", "[S]\r\nMarker=BOGUS SECTION or KEY\r\nQuoted=\"BOGUS SECTION or KEY\"\r\n");
  const struct {
    std::string file, section, key;
  } absent[] = {
      {file_, "S", "Marker"},
      {file_, "S", "Quoted"},
      {file_, "S", "Missing"},
      {file_, "Missing", "K"},
      {PathOf("missing.ini"), "S", "K"},
  };
  for (const auto& where : absent) {
    std::string text = "default";
    int32_t number = 42;
    bool flag = true;
    EXPECT_FALSE(ReadSettingText(where.file, where.section, where.key, text)) << where.key;
    EXPECT_FALSE(ReadSettingInt(where.file, where.section, where.key, 10, number)) << where.key;
    EXPECT_FALSE(ReadSettingBool(where.file, where.section, where.key, flag)) << where.key;
    EXPECT_EQ(text, "default");
    EXPECT_EQ(number, 42);
    EXPECT_TRUE(flag);
  }
}

TEST_F(Settings, IntegersParseWholeOrNotAtAll) {
  const struct {
    const char* stored;
    bool present;
    int32_t expected;
  } cases[] = {
      {"19200", true, 19200},
      {" 12", true, 12},
      {"-42", true, -42},
      {"+7", true, 7},
      {"-2147483648", true, INT32_MIN},
      {"12abc", false, 99},
      {"0x10", false, 99},
      {"1.5", false, 99},
      {"2147483648", false, 99},
      {"99999999999", false, 99},
      {"abc", false, 99},
  };
  for (const auto& c : cases) {
    Store("setup.ini", std::string("[S]\r\nK=") + c.stored + "\r\n");
    int32_t number = 99;
    EXPECT_EQ(ReadSettingInt(file_, "S", "K", 10, number), c.present) << c.stored;
    EXPECT_EQ(number, c.expected) << c.stored;
  }
}

TEST_F(Settings, OnlyUpperCaseYesIsTrue) {
  const struct {
    const char* stored;
    bool expected;
  } cases[] = {{"YES", true}, {" YES ", true}, {"yes", false}, {"Yes", false},
               {"1", false},  {"TRUE", false}, {"NO", false}};
  for (const auto& c : cases) {
    Store("setup.ini", std::string("[S]\r\nK=") + c.stored + "\r\n");
    bool flag = !c.expected;
    EXPECT_TRUE(ReadSettingBool(file_, "S", "K", flag)) << c.stored;
    EXPECT_EQ(flag, c.expected) << c.stored;
  }
}

TEST_F(Settings, WritesRoundTripAndProduceWindowsLines) {
  ASSERT_TRUE(WriteSettingText(file_, "CommonArea", "LastFile", "C:\\Setups\\bench.ini"));
  ASSERT_TRUE(WriteSettingText(file_, "CommonArea", "Note", "two  blanks"));
  ASSERT_TRUE(WriteSettingInt(file_, "BITSYNC_1", "BitRate", 1024000));
  ASSERT_TRUE(WriteSettingInt(file_, "BITSYNC_1", "Offset", -42));
  ASSERT_TRUE(WriteSettingInt(file_, "BITSYNC_1", "Lowest", INT32_MIN));
  ASSERT_TRUE(WriteSettingBool(file_, "BITSYNC_1", "BerTestingEnabled", true));
  ASSERT_TRUE(WriteSettingBool(file_, "BITSYNC_1", "ExtBerMode", false));
  ASSERT_TRUE(CommitSettings(file_));
  EXPECT_EQ(Load("setup.ini"),
            "[CommonArea]\r\nLastFile=C:\\Setups\\bench.ini\r\nNote=two  blanks\r\n"
            "[BITSYNC_1]\r\nBitRate=1024000\r\nOffset=-42\r\nLowest=-2147483648\r\n"
            "BerTestingEnabled=YES\r\nExtBerMode=NO\r\n");

  std::string text;
  int32_t number = 0;
  bool flag = false;
  EXPECT_TRUE(ReadSettingText(file_, "commonarea", "lastfile", text));
  EXPECT_EQ(text, "C:\\Setups\\bench.ini");
  EXPECT_TRUE(ReadSettingInt(file_, "BITSYNC_1", "Lowest", 10, number));
  EXPECT_EQ(number, INT32_MIN);
  EXPECT_TRUE(ReadSettingBool(file_, "BITSYNC_1", "BerTestingEnabled", flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(ReadSettingBool(file_, "BITSYNC_1", "ExtBerMode", flag));
  EXPECT_FALSE(flag);

  ASSERT_TRUE(WriteSettingInt(file_, "BITSYNC_1", "bitrate", 19200));
  EXPECT_TRUE(ReadSettingInt(file_, "BITSYNC_1", "BitRate", 10, number));
  EXPECT_EQ(number, 19200);
}

TEST_F(Settings, WritesFailWhereTheFileCannotBeWritten) {
  EXPECT_FALSE(WriteSettingInt(PathOf("absent/setup.ini"), "S", "K", 1));
  EXPECT_FALSE(WriteSettingText(file_, "S", "K", "line\r\nbreak"));
  EXPECT_FALSE(std::filesystem::exists(file_));
}

std::string BinaryBytes(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
  return bytes;
}

TEST_F(Settings, BackupCopiesEveryByteAndOverwritesTheOldBackup) {
  for (const size_t size : {size_t{0}, size_t{100}, size_t{8192}, size_t{16384}, size_t{20000}}) {
    const std::string bytes = BinaryBytes(size);
    Store("setup.ini", bytes);
    Store("setup.ini.BAK", "older backup that is longer than nothing");
    BackupFile(file_);
    EXPECT_EQ(Load("setup.ini.BAK"), bytes) << size;
  }
}

TEST_F(Settings, BackupOfAMissingFileCreatesNothing) {
  BackupFile(file_);
  EXPECT_FALSE(std::filesystem::exists(file_ + ".BAK"));
}

TEST_F(Settings, CopyStopsQuietlyWhenEitherSideCannotBeOpened) {
  CopyFileBinary(PathOf("missing.ini"), PathOf("copy.ini"));
  EXPECT_FALSE(std::filesystem::exists(PathOf("copy.ini")));
  Store("setup.ini", "[S]\r\n");
  CopyFileBinary(file_, PathOf("absent/copy.ini"));
  EXPECT_EQ(Load("setup.ini"), "[S]\r\n");
}

TEST_F(Settings, FileTests) {
  Store("setup.ini", "[S]\r\n");
  Store(".hidden.ini", "[S]\r\n");
  std::filesystem::create_directory(PathOf("dir"));

  EXPECT_TRUE(FileExistsAtPath(file_));
  EXPECT_TRUE(FileExistsAtPath(PathOf("dir")));
  EXPECT_FALSE(FileExistsAtPath(PathOf("missing.ini")));
  EXPECT_TRUE(DirectoryExistsAtPath(PathOf("dir")));
  EXPECT_FALSE(DirectoryExistsAtPath(file_));
  EXPECT_FALSE(DirectoryExistsAtPath(PathOf("missing")));

  EXPECT_FALSE(IsFileWriteProtected(file_));
  EXPECT_FALSE(IsFileWriteProtected(PathOf(".hidden.ini")));
  EXPECT_FALSE(IsFileWriteProtected(PathOf("dir")));
  EXPECT_FALSE(IsFileWriteProtected(PathOf("missing.ini")));
}

TEST_F(Settings, ReadOnlyFileIsWriteProtected) {
  Store("setup.ini", "[S]\r\n");
  MakeReadOnly("setup.ini");
  zorv_test::RunUnprivileged(folder_, [&] {
    ASSERT_TRUE(platform::IsWriteDenied(file_));
    EXPECT_TRUE(IsFileWriteProtected(file_));
  });
}

TEST(FileBaseName, KeepsTheNameWithoutFolderAndExtension) {
  const struct {
    std::string path, expected;
  } cases[] = {
      {"C:\\dir\\setup.v2.ini", "setup"},
      {"/home/op/setups/bench.ini", "bench"},
      {"C:bench.ini", "bench"},
      {" \t\x01setup.ini\r\n", "setup"},
      {"noextension", "noextension"},
      {"C:\\dir\\.ini", ""},
      {"C:\\dir\\", ""},
      {"", ""},
      {"C:\\" + std::string(300, 'x') + ".ini", std::string(256, 'x')},
  };
  for (const auto& c : cases) EXPECT_EQ(FileBaseName(c.path), c.expected) << c.path;
}

}  // namespace
