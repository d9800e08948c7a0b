#include "support/KesBorPcUtilsUnit.h"

#include <cctype>
#include <cstdio>

#include "support/KesBorGenUnit.h"

namespace {

std::string WindowsName(uint32_t major, uint32_t minor, uint32_t platform_id) {
  switch (major) {
    case 3:
      return minor == 51 ? "Windows NT 3.51" : "Unknown (NT 3.X ?)";
    case 4:
      if (minor == 10) return "Windows 98";
      if (minor == 90) return "Windows Me";
      if (minor != 0) return "Windows ??";
      return platform_id == 2 ? "Windows NT 4.0" : "Windows 95";
    case 5:
      if (minor == 0) return "Windows 2000";
      if (minor == 1) return "Windows XP";
      if (minor == 2) return "Windows Server 2003 family";
      return "Newer Windows Version";
    case 6:
      if (minor == 0) return "Vista";
      if (minor == 1) return "Windows 7";
      return "Newer Windows Version";
    default:
      return "";
  }
}

std::string PlatformText(uint32_t platform_id) {
  switch (platform_id) {
    case 0:
      return "Win32s under Windows 3.x";
    case 1:
      return "Windows 95, Windows 98, or Windows Me.";
    case 2:
      return "Windows NT, Windows 2000, Windows XP, Windows 7, or Windows Server 2003 family.";
    default:
      return "A Windows version NOT SUPPORTED at this time";
  }
}

std::string DriveTypeText(uint32_t type) {
  static const char* const kTexts[] = {"The drive type cannot be determined.",
                                       "The root directory does not exist.",
                                       "Removable.",
                                       "Fixed.",
                                       "Remote (network).",
                                       "CD-ROM.",
                                       "RAM disk."};
  return type < std::size(kTexts) ? kTexts[type] : "The drive type is not valid.";
}

std::string ArchitectureName(uint32_t architecture) {
  static const char* const kNames[] = {
      "PROCESSOR_ARCHITECTURE_INTEL", "PROCESSOR_ARCHITECTURE_MIPS",
      "PROCESSOR_ARCHITECTURE_ALPHA", "PROCESSOR_ARCHITECTURE_PPC",
      "PROCESSOR_ARCHITECTURE_SHX",   "PROCESSOR_ARCHITECTURE_ARM",
      "PROCESSOR_ARCHITECTURE_IA64",  "PROCESSOR_ARCHITECTURE_ALPHA64",
      "PROCESSOR_ARCHITECTURE_MSIL"};
  return architecture < std::size(kNames) ? kNames[architecture] : "PROCESSOR_ARCHITECTURE_UNKNOWN";
}

std::string ProcessorTypeText(uint32_t type) {
  switch (type) {
    case 386:
      return "Intel 386";
    case 486:
      return "Intel 486";
    case 586:
      return "Intel Pentium";
    case 601:
      return "PPC 601";
    case 603:
      return "PPC 603";
    case 604:
      return "PPC 604";
    case 620:
      return "PPC 620";
    case 860:
      return "Intel 860";
    case 2000:
      return "MIPS R2000";
    case 3000:
      return "MIPS R3000";
    case 4000:
      return "MIPS R4000";
    case 21064:
      return "ALPHA 21064";
    default:
      return std::to_string(type);
  }
}

std::string Mebibytes(uint64_t bytes) {
  return FormatFixed(10, 3, bytes / 1048576.0);
}

// The mask with at least two hex digits and never cut, however many processors there are.
std::string ProcessorMaskText(uint64_t mask) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%02llX", static_cast<unsigned long long>(mask));
  return std::string("0x") + digits;
}

// "X:" for a drive letter; a mount point as it is; nothing for anything else.
std::string DiskRoot(const std::string& drive) {
  if (drive.size() == 1 && std::isalpha(static_cast<unsigned char>(drive[0]))) {
    return {static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0]))), ':'};
  }
  const bool mount_point = !drive.empty() && (drive[0] == '/' || drive[0] == '\\');
  return mount_point ? drive : std::string();
}

class Report {
 public:
  void Add(const std::string& line) { lines_.push_back(line); }
  void Add(const std::string& label, const std::optional<std::string>& value) {
    if (value) lines_.push_back(label + *value);
  }
  void Add(const std::string& label, const std::optional<uint32_t>& value) {
    if (value) lines_.push_back(label + std::to_string(*value));
  }
  void AddMemory(const std::string& label, const std::optional<uint64_t>& bytes) {
    if (bytes) lines_.push_back(label + Mebibytes(*bytes) + " MB ");
  }
  std::vector<std::string> Lines() { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
};

void AddOs(Report& report, const platform::OsFacts& os) {
  report.Add(".......  O/S INFO .......");
  report.Add("  O/S Bits      : " + std::string(os.is_64_bit ? "64" : "32"));
  report.Add("  Major Version : ", os.major_version);
  report.Add("  Minor Version : ", os.minor_version);
  std::optional<std::string> name = os.name;
  if (os.platform_id && os.major_version && os.minor_version) {
    name = WindowsName(*os.major_version, *os.minor_version, *os.platform_id);
  }
  report.Add("  O/S Name      : ", name);
  report.Add("  Build         : ", os.build);
  if (os.platform_id) {
    report.Add("  Platform ID   : (" + std::to_string(*os.platform_id) + ")  " +
               PlatformText(*os.platform_id));
  }
  report.Add("  Service Pack  : ", os.service_pack);
  if (os.product_suite && !os.product_suite->empty()) {
    report.Add("  Product Suite : " + *os.product_suite);
  }
  report.Add("");
}

void AddMemory(Report& report, const platform::MemoryFacts& memory) {
  report.Add(".......  PC MEMORY INFO .......");
  report.AddMemory("  Memory (Total)              : ", memory.total_physical);
  report.AddMemory("  Memory (Available)          : ", memory.available_physical);
  report.AddMemory("  Page(Swap)File (Total)      : ", memory.total_page_file);
  report.AddMemory("  Page(Swap)File (Available)  : ", memory.available_page_file);
  report.AddMemory("  Virtual Memory (Total)      : ", memory.total_virtual);
  report.AddMemory("  Virtual Memory (Available)  : ", memory.available_virtual);
}

void AddDisks(Report& report, const std::vector<PcDisk>& disks) {
  report.Add(".......  DISK INFO .......");
  for (const PcDisk& disk : disks) {
    report.Add("Disk " + disk.name);
    report.Add("  Total Space : " + Mebibytes(disk.total_bytes) + " MBytes ");
    report.Add("  Free Space  : " + Mebibytes(disk.free_bytes) + " MBytes ");
    if (disk.drive_type) report.Add("    Drive Type  : " + DriveTypeText(*disk.drive_type));
  }
  report.Add("  Number of Drives : " + std::to_string(disks.size()));
  report.Add("");
}

void AddCpu(Report& report, const platform::CpuFacts& cpu) {
  report.Add(".......  CPU INFO .......");
  std::optional<std::string> architecture = cpu.machine;
  if (cpu.architecture) architecture = ArchitectureName(*cpu.architecture);
  report.Add("  Architecture                : ", architecture);
  const bool has_vendor = cpu.vendor && !cpu.vendor->empty();
  if (cpu.oem_id) {
    report.Add("  OEM ID (vendor)             : " + std::to_string(*cpu.oem_id) +
               (has_vendor ? " (" + *cpu.vendor + ")" : ""));
  } else if (has_vendor) {
    report.Add("  OEM ID (vendor)             : " + *cpu.vendor);
  }
  if (cpu.active_processor_mask) {
    report.Add("  Active processor mask       : " + ProcessorMaskText(*cpu.active_processor_mask));
  }
  report.Add("  Number of processors        : " + std::to_string(cpu.processor_count));
  if (cpu.processor_type) {
    report.Add("  Processor type              : " + ProcessorTypeText(*cpu.processor_type));
  }
  if (cpu.family && cpu.model && cpu.stepping) {
    report.Add("  Processor level             : x86 Family " + std::to_string(*cpu.family) +
               " Model " + std::to_string(*cpu.model) + " Stepping " +
               std::to_string(*cpu.stepping));
  }
  report.Add("  Processor name              : ", cpu.name);
  if (cpu.speed_mhz) {
    report.Add("  Speed (registry)            : " +
               (cpu.speed_mhz->empty() ? std::string("N/A") : *cpu.speed_mhz + " MHz"));
  }
  report.Add("  Processor Revision          : ", cpu.revision);
  report.Add("  Page size (KBytes)          : " + std::to_string(cpu.page_size / 1024));
}

}  // namespace

bool IsWow64() {
  return sizeof(void*) == 4 && platform::ReadOsFacts().is_64_bit;
}

bool DiskSpace(const std::string& drive, uint64_t& free_bytes, uint64_t& total_bytes) {
  const std::string root = DiskRoot(drive);
  return !root.empty() && platform::DiskSpace(root, free_bytes, total_bytes);
}

PcFacts ReadPcFacts() {
  PcFacts facts;
  facts.os = platform::ReadOsFacts();
  facts.memory = platform::ReadMemoryFacts();
  for (const std::string& name : platform::DiskNames()) {
    PcDisk disk;
    disk.name = name;
    if (DiskSpace(name, disk.free_bytes, disk.total_bytes)) {
      disk.drive_type = platform::DriveType(DiskRoot(name));
      facts.disks.push_back(disk);
    }
  }
  facts.cpu = platform::ReadCpuFacts();
  return facts;
}

std::vector<std::string> PcInfoLines(const PcFacts& facts) {
  Report report;
  report.Add(">>>>>>>>>>>>>>>>>   PC INFO  <<<<<<<<<<<<<<<<<<<<<<");
  AddOs(report, facts.os);
  AddMemory(report, facts.memory);
  AddDisks(report, facts.disks);
  AddCpu(report, facts.cpu);
  report.Add(">>>>>>>>>>>>>>>>> END PC INFO <<<<<<<<<<<<<<<<<<<<<<");
  return report.Lines();
}

void LogPcInfo() {
  try {
    for (const std::string& line : PcInfoLines(ReadPcFacts())) LogInfo(line + "\r\n", 0, false);
  } catch (...) {
    // The report is a courtesy to service staff; a machine that cannot give it logs less.
  }
}
