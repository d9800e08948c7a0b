#include "platform/profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "profile_files.h"

namespace {

using platform::ReadProfileSection;
using platform::ReadProfileSectionNames;
using platform::ReadProfileString;
using platform::WriteProfileString;
using ::testing::ElementsAre;
using ::testing::Field;

auto Entry(const char* key, const char* value) {
  return ::testing::AllOf(Field(&platform::ProfileEntry::key, key),
                          Field(&platform::ProfileEntry::value, value));
}

struct Lookup {
  const char* section;
  const char* key;
  const char* expected;
};

const Lookup kHandWrittenLookups[] = {
    {"commonarea", "NUMCARDS", "2"},
    {" CommonArea ", "\tNumCards ", "2"},
    {"CommonArea", "LastFile", "C:\\Setups\\bench.ini"},
    {"CommonArea", "Title", "  padded  "},
    {"CommonArea", "Half", "\"open"},
    {"CommonArea", "a line without equals", kAbsent},
    {"CommonArea", "Model", kAbsent},
    {"BITSYNC_1", "Model", "KELT_20"},
    {"BITSYNC_1", "BitRate", "1024000"},
    {"BITSYNC_1", "Empty", ""},
    {"BITSYNC_1", "Extra", kAbsent},
    {"BITSYNC_1", "", kAbsent},
    {"", "Model", kAbsent},
    {"IRIG_1", "SourceFormat", kAbsent},
};

class HandWrittenProfile : public ProfileFolder,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(HandWrittenProfile, ReadsLikeWindows) {
  Store("setup.ini", HandWrittenFile(GetParam()));
  for (const Lookup& lookup : kHandWrittenLookups) {
    EXPECT_EQ(ReadProfileString(PathOf("setup.ini"), lookup.section, lookup.key, kAbsent),
              lookup.expected)
        << "[" << lookup.section << "] " << lookup.key;
  }
}

TEST_P(HandWrittenProfile, ListsEachSectionAndKeyOnceAsTheReadsFindThem) {
  Store("setup.ini", HandWrittenFile(GetParam()));
  const std::string file = PathOf("setup.ini");

  EXPECT_THAT(ReadProfileSectionNames(file), ElementsAre("CommonArea", "BITSYNC_1"));
  // The first section and the first key of a name count, as for a read.
  EXPECT_THAT(
      ReadProfileSection(file, "bitsync_1"),
      ElementsAre(Entry("model", "KELT_20"), Entry("BitRate", "1024000"), Entry("Empty", "")));
  EXPECT_THAT(ReadProfileSection(file, "IRIG_1"), ElementsAre());
  EXPECT_THAT(ReadProfileSection(PathOf("missing.ini"), "CommonArea"), ElementsAre());
  EXPECT_THAT(ReadProfileSectionNames(PathOf("missing.ini")), ElementsAre());
}

INSTANTIATE_TEST_SUITE_P(LineEndings, HandWrittenProfile, ::testing::Values("\r\n", "\n"),
                         [](const auto& info) {
                           return std::string(info.param) == "\n" ? "LF" : "CRLF";
                         });

using ProfileWrite = ProfileFolder;

TEST_F(ProfileWrite, CreatesTheFileOnTheFirstWrite) {
  const std::string file = PathOf("new.ini");
  ASSERT_TRUE(WriteProfileString(file, "S", "A", "1"));
  ASSERT_TRUE(WriteProfileString(file, "S", "B", ""));
  EXPECT_EQ(Load("new.ini"), "[S]\r\nA=1\r\nB=\r\n");
}

TEST_F(ProfileWrite, CommitWithEmptyTextsSucceedsAndTouchesNothing) {
  Store("setup.ini", "[S]\nA=1\n");
  EXPECT_TRUE(WriteProfileString(PathOf("setup.ini"), "", "", ""));
  EXPECT_TRUE(WriteProfileString(PathOf("missing.ini"), "", "", ""));
  EXPECT_EQ(Load("setup.ini"), "[S]\nA=1\n");
  EXPECT_FALSE(std::filesystem::exists(PathOf("missing.ini")));
}

TEST_F(ProfileWrite, RefusesWhatWouldNotReadBackAsWritten) {
  struct Entry {
    std::string section, key, value;
  };
  const Entry refused[] = {
      {"S", "K", "two\r\nlines"}, {"S", "K", "cr\rhere"}, {"S", "K", std::string("a\0b", 3)},
      {"S", "K\n", "v"},          {"S]x", "K", "v"},      {"S", "K=L", "v"},
      {"S", ";K", "v"},           {"S", " [K", "v"},      {"", "K", "v"},
      {"  ", "K", "v"},           {"S", "", "v"},         {"S", "", ""},
  };
  const std::string before = "[S]\r\nK=old\r\n";
  Store("setup.ini", before);
  for (const Entry& entry : refused) {
    EXPECT_FALSE(WriteProfileString(PathOf("setup.ini"), entry.section, entry.key, entry.value))
        << "[" << entry.section << "] " << entry.key << "=" << entry.value;
  }
  EXPECT_EQ(Load("setup.ini"), before);
}

// Windows looks a relative name up in its own folder; the system means the current directory.
TEST_F(ProfileWrite, ARelativeNameIsInTheCurrentDirectory) {
  const std::string previous = platform::CurrentDirectory();
  ASSERT_TRUE(platform::SetCurrentDirectory(folder_.string()));
  const bool written = WriteProfileString("relative.ini", "S", "K", "v");
  const std::string read = ReadProfileString("relative.ini", "S", "K", kAbsent);
  platform::SetCurrentDirectory(previous);
  EXPECT_TRUE(written);
  EXPECT_EQ(read, "v");
  EXPECT_EQ(Load("relative.ini"), "[S]\r\nK=v\r\n");
}

TEST_F(ProfileWrite, MissingFolderFailsWithoutCreatingIt) {
  EXPECT_FALSE(WriteProfileString(PathOf("absent/setup.ini"), "S", "K", "v"));
  EXPECT_FALSE(std::filesystem::exists(PathOf("absent")));
}

TEST_F(ProfileWrite, ReadOnlyFileFailsAndStaysAsItWas) {
  Store("setup.ini", "[S]\nK=old\n");
  MakeReadOnly("setup.ini");
  zorv_test::RunUnprivileged(folder_, [&] {
    ASSERT_TRUE(platform::IsWriteDenied(PathOf("setup.ini")));
    EXPECT_FALSE(WriteProfileString(PathOf("setup.ini"), "S", "K", "new"));
    EXPECT_EQ(Load("setup.ini"), "[S]\nK=old\n");
  });
}

TEST_F(ProfileWrite, ADirectoryInPlaceOfTheFileFails) {
  std::filesystem::create_directory(PathOf("setup.ini"));
  EXPECT_FALSE(WriteProfileString(PathOf("setup.ini"), "S", "K", "v"));
  EXPECT_TRUE(std::filesystem::is_directory(PathOf("setup.ini")));
}

TEST_F(ProfileWrite, ConcurrentWritersLoseNoKey) {
  const std::string file = PathOf("setup.ini");
  constexpr int kKeysPerThread = 100;
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < kKeysPerThread; ++i) {
      WriteProfileString(file, "S", prefix + std::to_string(i), std::to_string(i));
    }
  };
  std::thread first(writer, "A");
  std::thread second(writer, "B");
  first.join();
  second.join();
  for (int i = 0; i < kKeysPerThread; ++i) {
    EXPECT_EQ(ReadProfileString(file, "S", "A" + std::to_string(i), kAbsent), std::to_string(i));
    EXPECT_EQ(ReadProfileString(file, "S", "B" + std::to_string(i), kAbsent), std::to_string(i));
  }
}

using ProfileRead = ProfileFolder;

TEST_F(ProfileRead, ValuesAreCutTo1023Characters) {
  const std::string long_value(2000, 'v');
  Store("setup.ini", "[S]\nPlain=" + long_value + "\nQuoted=\"" + long_value + "\"\n");
  EXPECT_EQ(ReadProfileString(PathOf("setup.ini"), "S", "Plain", kAbsent),
            std::string(platform::kProfileValueLimit, 'v'));
  EXPECT_EQ(ReadProfileString(PathOf("setup.ini"), "S", "Quoted", kAbsent),
            std::string(platform::kProfileValueLimit, 'v'));
  EXPECT_EQ(ReadProfileString(PathOf("setup.ini"), "S", "Missing", long_value),
            std::string(platform::kProfileValueLimit, 'v'));
}

TEST_F(ProfileRead, FallbackLosesTrailingBlanks) {
  EXPECT_EQ(ReadProfileString(PathOf("missing.ini"), "S", "K", " default  "), " default");
}

std::string RandomBytes(size_t count) {
  std::mt19937 generator(20240301);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string TenMegabytesOfSections() {
  const std::string filler(1000, 'f');
  std::string text;
  text.reserve((10u << 20) + 2048);
  for (int i = 0; text.size() < 10u << 20; ++i) {
    text += "[Section" + std::to_string(i) + "]\r\nKey=" + filler + "\r\n";
  }
  return text + "[Last]\r\nKey=end\r\n";
}

struct BadInput {
  const char* name;
  std::string content;
  const char* section;
  const char* key;
  std::string expected;
};

TEST_F(ProfileRead, SurvivesBadInput) {
  const std::string megabyte(1u << 20, 'x');
  const BadInput cases[] = {
      {"binary noise", RandomBytes(100000), "S", "K", kAbsent},
      {"binary noise before a good section", RandomBytes(4096) + "\n[S]\nK=V\n", "S", "K", "V"},
      {"NUL inside a value", std::string("[S]\nK=ab\0cd\nL=2\n", 16), "S", "K", "ab"},
      {"megabyte value", "[S]\nK=" + megabyte + "\nL=2\n", "S", "L", "2"},
      {"megabyte line without equals", "[S]\n" + megabyte + "\nL=2", "S", "L", "2"},
      {"megabyte key", "[S]\n" + megabyte + "=1\nL=2\n", "S", "L", "2"},
      {"megabyte header", "[" + megabyte + "\n[S]\nL=2\n", "S", "L", "2"},
      {"header without ]", "[S\nK=V\n", "S", "K", kAbsent},
      {"empty header", "[]\nK=V\n", "S", "K", kAbsent},
      {"equals with no key", "[S]\n=V\n  = W\nK=X\n", "S", "K", "X"},
      {"key before any section", "K=V\n[S]\n", "S", "K", kAbsent},
      {"only line breaks", std::string(100000, '\n'), "S", "K", kAbsent},
      {"empty file", "", "S", "K", kAbsent},
      {"10 MB file", TenMegabytesOfSections(), "Last", "Key", "end"},
  };
  for (const BadInput& input : cases) {
    Store("bad.ini", input.content);
    EXPECT_EQ(ReadProfileString(PathOf("bad.ini"), input.section, input.key, kAbsent),
              input.expected)
        << input.name;
    EXPECT_TRUE(WriteProfileString(PathOf("bad.ini"), "New", "Key", "1")) << input.name;
    EXPECT_EQ(ReadProfileString(PathOf("bad.ini"), "New", "Key", kAbsent), "1") << input.name;
  }
}

TEST_F(ProfileRead, AByteOrderMarkBeforeTheFirstSectionIsSkipped) {
  // As an editor that writes UTF-8 with a byte order mark saves a setup file.
  Store("marked.ini", "\xEF\xBB\xBF[BITSYNC_0]\r\nModel=KELT_10\r\n");

  EXPECT_EQ(ReadProfileString(PathOf("marked.ini"), "BITSYNC_0", "Model", kAbsent), "KELT_10");
  EXPECT_THAT(ReadProfileSectionNames(PathOf("marked.ini")), ElementsAre("BITSYNC_0"));
}

TEST_F(ProfileRead, ADirectoryOrMissingFileGivesTheFallback) {
  std::filesystem::create_directory(PathOf("dir.ini"));
  EXPECT_EQ(ReadProfileString(PathOf("dir.ini"), "S", "K", kAbsent), kAbsent);
  EXPECT_EQ(ReadProfileString(PathOf("missing.ini"), "S", "K", kAbsent), kAbsent);
}

}  // namespace
