#pragma once
// A fresh folder per test for the settings-file tests, with raw byte access to its files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/UnprivilegedRun.h"

// The fallback the profile tests pass, so that an absent key shows.
inline constexpr const char* kAbsent = "<absent>";

// A setup file as an operator edits it on a Windows station.
inline std::string HandWrittenFile(const std::string& eol) {
  return "; Zorv setup, edited by hand" + eol +        //
         "[CommonArea]" + eol +                        //
         "  NumCards = 2 " + eol +                     //
         "LastFile=\"C:\\Setups\\bench.ini\"" + eol +  //
         "Title='  padded  '" + eol +                  //
         "Half=\"open" + eol +                         //
         "a line without equals" + eol +               //
         "; BITSYNC_1 follows" + eol +                 //
         eol +                                         //
         "[ BITSYNC_1 ]" + eol +                       //
         "model=KELT_20" + eol +                       //
         "BitRate\t=\t1024000" + eol +                 //
         "Empty=" + eol +                              //
         "Model=duplicate" + eol +                     //
         "[bitsync_1]" + eol +                         //
         "Extra=second section of the same name" + eol;
}

class ProfileFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps suites run at once from several build folders apart.
    std::string name = "zorv_" + std::to_string(platform::ProcessId()) + "_" +
                       test->test_suite_name() + "_" + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { zorv_test::ScratchFolder::Remove(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  void Store(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary | std::ios::trunc) << bytes;
  }

  std::string Load(const std::string& name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Takes every write permission away. A privileged user writes the file all the same: check
  // it through zorv_test::RunUnprivileged.
  void MakeReadOnly(const std::string& name) const {
    using std::filesystem::perms;
    std::filesystem::permissions(PathOf(name),
                                 perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
  }

  std::filesystem::path folder_;
};
