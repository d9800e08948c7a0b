#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process.h"
#include "support/KesBorPcUtilsUnit.h"
#include "support/keserrorlog.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMebibyte = 1048576;

// A Windows 7 PC with one fixed drive C.
PcFacts WindowsSeven() {
  PcFacts facts;
  facts.os.is_64_bit = true;
  facts.os.major_version = 6;
  facts.os.minor_version = 1;
  facts.os.platform_id = 2;
  facts.os.build = "7601";
  facts.os.service_pack = "Service Pack 1";
  facts.os.product_suite = "";
  facts.memory = {8192 * kMebibyte,  4096 * kMebibyte + kMebibyte / 2,
                  16384 * kMebibyte, 12000 * kMebibyte,
                  2048 * kMebibyte,  2000 * kMebibyte};
  PcDisk c;
  c.name = "C";
  c.total_bytes = 102400 * kMebibyte;
  c.free_bytes = 51200 * kMebibyte + kMebibyte / 4;
  c.drive_type = 3;
  facts.disks.push_back(c);
  facts.cpu.architecture = 0;
  facts.cpu.oem_id = 0;
  facts.cpu.vendor = "GenuineIntel";
  facts.cpu.active_processor_mask = 0xF;
  facts.cpu.processor_count = 4;
  facts.cpu.processor_type = 586;
  facts.cpu.family = 6;
  facts.cpu.model = 58;
  facts.cpu.stepping = 9;
  facts.cpu.name = "Intel(R) Core(TM) i5-3470 CPU @ 3.20GHz";
  facts.cpu.speed_mhz = "";
  facts.cpu.revision = 0x3A09;
  facts.cpu.page_size = 4096;
  return facts;
}

TEST(PcInfoLines, WindowsReportLineForLine) {
  const std::vector<std::string> expected = {
      ">>>>>>>>>>>>>>>>>   PC INFO  <<<<<<<<<<<<<<<<<<<<<<",
      ".......  O/S INFO .......",
      "  O/S Bits      : 64",
      "  Major Version : 6",
      "  Minor Version : 1",
      "  O/S Name      : Windows 7",
      "  Build         : 7601",
      "  Platform ID   : (2)  Windows NT, Windows 2000, Windows XP, Windows 7, or Windows Server "
      "2003 family.",
      "  Service Pack  : Service Pack 1",
      "",
      ".......  PC MEMORY INFO .......",
      "  Memory (Total)              : 8192.000 MB ",
      "  Memory (Available)          : 4096.500 MB ",
      "  Page(Swap)File (Total)      : 16384.000 MB ",
      "  Page(Swap)File (Available)  : 12000.000 MB ",
      "  Virtual Memory (Total)      : 2048.000 MB ",
      "  Virtual Memory (Available)  : 2000.000 MB ",
      ".......  DISK INFO .......",
      "Disk C",
      "  Total Space : 102400.000 MBytes ",
      "  Free Space  : 51200.250 MBytes ",
      "    Drive Type  : Fixed.",
      "  Number of Drives : 1",
      "",
      ".......  CPU INFO .......",
      "  Architecture                : PROCESSOR_ARCHITECTURE_INTEL",
      "  OEM ID (vendor)             : 0 (GenuineIntel)",
      "  Active processor mask       : 0x0F",
      "  Number of processors        : 4",
      "  Processor type              : Intel Pentium",
      "  Processor level             : x86 Family 6 Model 58 Stepping 9",
      "  Processor name              : Intel(R) Core(TM) i5-3470 CPU @ 3.20GHz",
      "  Speed (registry)            : N/A",
      "  Processor Revision          : 14857",
      "  Page size (KBytes)          : 4",
      ">>>>>>>>>>>>>>>>> END PC INFO <<<<<<<<<<<<<<<<<<<<<<",
  };
  EXPECT_EQ(PcInfoLines(WindowsSeven()), expected);
}

std::string LineStartingWith(const std::vector<std::string>& lines, const std::string& label) {
  const auto found = std::find_if(lines.begin(), lines.end(),
                                  [&](const std::string& l) { return l.rfind(label, 0) == 0; });
  return found == lines.end() ? std::string() : *found;
}

TEST(PcInfoLines, WindowsTablesByNumber) {
  const struct {
    uint32_t major, minor, platform;
    const char* name;
  } versions[] = {
      {3, 51, 2, "Windows NT 3.51"},
      {3, 10, 2, "Unknown (NT 3.X ?)"},
      {4, 0, 2, "Windows NT 4.0"},
      {4, 0, 1, "Windows 95"},
      {4, 10, 1, "Windows 98"},
      {4, 90, 1, "Windows Me"},
      {4, 3, 1, "Windows ??"},
      {5, 1, 2, "Windows XP"},
      {5, 7, 2, "Newer Windows Version"},
      {6, 0, 2, "Vista"},
      {6, 2, 2, "Newer Windows Version"},
      {10, 0, 2, ""},
  };
  for (const auto& v : versions) {
    PcFacts facts = WindowsSeven();
    facts.os.major_version = v.major;
    facts.os.minor_version = v.minor;
    facts.os.platform_id = v.platform;
    EXPECT_EQ(LineStartingWith(PcInfoLines(facts), "  O/S Name"),
              std::string("  O/S Name      : ") + v.name)
        << v.major << "." << v.minor;
  }
  PcFacts facts = WindowsSeven();
  facts.os.platform_id = 7;
  facts.os.product_suite = "Terminal Server";
  facts.disks[0].drive_type = 9;
  facts.cpu.architecture = 9;
  facts.cpu.processor_type = 8664;
  facts.cpu.speed_mhz = "3192";
  facts.cpu.active_processor_mask = 0x1FF;  // nine processors: no digit may be cut off
  const auto lines = PcInfoLines(facts);
  EXPECT_EQ(LineStartingWith(lines, "  Platform ID"),
            "  Platform ID   : (7)  A Windows version NOT SUPPORTED at this time");
  EXPECT_EQ(LineStartingWith(lines, "  Product Suite"), "  Product Suite : Terminal Server");
  EXPECT_EQ(LineStartingWith(lines, "    Drive Type"),
            "    Drive Type  : The drive type is not valid.");
  EXPECT_EQ(LineStartingWith(lines, "  Architecture"),
            "  Architecture                : PROCESSOR_ARCHITECTURE_UNKNOWN");
  EXPECT_EQ(LineStartingWith(lines, "  Processor type"), "  Processor type              : 8664");
  EXPECT_EQ(LineStartingWith(lines, "  Speed"), "  Speed (registry)            : 3192 MHz");
  EXPECT_EQ(LineStartingWith(lines, "  Active"), "  Active processor mask       : 0x1FF");
}

// Facts as Linux gives them: the labels it has no fact for are left out, none invented.
TEST(PcInfoLines, LabelsWithoutAFactAreLeftOut) {
  PcFacts facts;
  facts.os.is_64_bit = true;
  facts.os.major_version = 6;
  facts.os.minor_version = 1;
  facts.os.name = "Debian GNU/Linux 12 (bookworm)";
  facts.os.build = "6.1.0-18-amd64";
  facts.memory.total_physical = 1024 * kMebibyte;
  facts.cpu.machine = "x86_64";
  facts.cpu.vendor = "AuthenticAMD";
  facts.cpu.processor_count = 2;
  facts.cpu.page_size = 4096;
  const auto lines = PcInfoLines(facts);
  EXPECT_EQ(LineStartingWith(lines, "  O/S Name"),
            "  O/S Name      : Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(LineStartingWith(lines, "  Architecture"), "  Architecture                : x86_64");
  EXPECT_EQ(LineStartingWith(lines, "  OEM ID"), "  OEM ID (vendor)             : AuthenticAMD");
  EXPECT_EQ(LineStartingWith(lines, "  Number of Drives"), "  Number of Drives : 0");
  for (const char* absent :
       {"  Platform ID", "  Service Pack", "  Product Suite", "  Memory (Available)",
        "  Virtual Memory", "  Processor type", "  Processor level", "  Processor name", "  Speed",
        "  Processor Revision", "  Active processor mask"}) {
    EXPECT_EQ(LineStartingWith(lines, absent), "") << absent;
  }
}

TEST(DiskSpace, LettersOutsideTheAlphabetAndMountPoints) {
  uint64_t free_bytes = 0, total_bytes = 0;
  EXPECT_FALSE(DiskSpace("1", free_bytes, total_bytes));
  EXPECT_FALSE(DiskSpace("#", free_bytes, total_bytes));
  EXPECT_FALSE(DiskSpace("", free_bytes, total_bytes));
  EXPECT_FALSE(DiskSpace("relative", free_bytes, total_bytes));
  const auto disks = ReadPcFacts().disks;
  EXPECT_FALSE(disks.empty());  // the disk these tests run from, at least
  for (const PcDisk& disk : disks) {
    ASSERT_TRUE(DiskSpace(disk.name, free_bytes, total_bytes)) << disk.name;
    EXPECT_GT(total_bytes, 0u) << disk.name;
    EXPECT_LE(free_bytes, total_bytes) << disk.name;
  }
}

TEST(LogPcInfo, EveryReportLineIsALogLineFollowedByAnEmptyLine) {
  const fs::path saved = fs::current_path();
  const fs::path folder =
      fs::temp_directory_path() / ("zorv_pc_info_" + std::to_string(platform::ProcessId()));
  fs::create_directories(folder);
  fs::current_path(folder);
  OpenErrorLog(false, "3.32", "ZorvApp", "", "ZorvApp");
  LogPcInfo();
  CloseErrorLog(false);
  std::stringstream text;
  // Read and closed at once: Windows deletes no open file with the folder.
  text << std::ifstream(folder / "ZorvApp.Log", std::ios::binary).rdbuf();
  fs::current_path(saved);
  fs::remove_all(folder);
  std::memset(StartDirectory, 0, sizeof StartDirectory);

  // Split into lines; each report line is a stamped log line whose own line end leaves an
  // empty line after it.
  std::vector<std::string> lines;
  const std::string log = text.str();
  for (size_t at = 0; at < log.size();) {
    const size_t end = log.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(log.substr(at, end - at));
    at = end + 2;
  }
  const size_t stamp = std::string("000000  061:12:00:00.000000  ").size();
  std::vector<std::string> report;
  for (size_t i = 2; i + 1 < lines.size(); i += 2) {  // after the two start lines
    ASSERT_EQ(lines[i].substr(0, 8), "000000  ") << lines[i];
    EXPECT_EQ(lines[i + 1], "") << lines[i];
    report.push_back(lines[i].substr(stamp));
  }
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.front(), ">>>>>>>>>>>>>>>>>   PC INFO  <<<<<<<<<<<<<<<<<<<<<<");
  EXPECT_EQ(report.back(), ">>>>>>>>>>>>>>>>> END PC INFO <<<<<<<<<<<<<<<<<<<<<<");
  EXPECT_NE(LineStartingWith(report, "  O/S Bits      : "), "");
  EXPECT_NE(LineStartingWith(report, "  Number of processors        : "), "");
  const auto disks = std::count_if(report.begin(), report.end(),
                                   [](const std::string& l) { return l.rfind("Disk ", 0) == 0; });
  EXPECT_EQ(LineStartingWith(report, "  Number of Drives"),
            "  Number of Drives : " + std::to_string(disks));
  EXPECT_EQ(lines.back().substr(stamp), "------------------PROGRAM END--------------------");
}

}  // namespace
