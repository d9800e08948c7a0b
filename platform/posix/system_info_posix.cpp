#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "platform/system_info.h"

namespace platform {
namespace {

std::optional<std::string> MachineName() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return std::string(names.machine);
}

// "key : value" or "KEY=value" lines of a file; the first occurrence of each key wins, which
// in /proc/cpuinfo is the first processor.
std::map<std::string, std::string> ReadKeyValues(const std::string& path, char separator) {
  std::map<std::string, std::string> values;
  std::ifstream file(path);
  std::string line;
  const auto trim = [](const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\"");
    const size_t last = s.find_last_not_of(" \t\"");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
  };
  while (std::getline(file, line)) {
    const size_t at = line.find(separator);
    if (at == std::string::npos) continue;
    values.emplace(trim(line.substr(0, at)), trim(line.substr(at + 1)));
  }
  return values;
}

std::optional<std::string> Value(const std::map<std::string, std::string>& values,
                                 const std::string& key) {
  const auto found = values.find(key);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

std::optional<uint32_t> Number(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  return static_cast<uint32_t>(std::strtoul(text->c_str(), nullptr, 10));
}

// The online processors ("0-3,6") as a bit mask of the first 64.
std::optional<uint64_t> OnlineProcessorMask() {
  std::ifstream file("/sys/devices/system/cpu/online");
  std::string list;
  if (!std::getline(file, list) || list.empty()) return std::nullopt;
  uint64_t mask = 0;
  const char* at = list.c_str();
  while (*at) {
    char* end = nullptr;
    const unsigned long first = std::strtoul(at, &end, 10);
    if (end == at) return std::nullopt;  // not a processor list
    unsigned long last = first;
    if (*end == '-') {
      const char* next = end + 1;
      last = std::strtoul(next, &end, 10);
      if (end == next) return std::nullopt;
    }
    for (unsigned long cpu = first; cpu <= last && cpu < 64; ++cpu) mask |= uint64_t{1} << cpu;
    if (*end == ',') {
      ++end;
    } else if (*end) {
      return std::nullopt;
    }
    at = end;
  }
  return mask;
}

struct Mount {
  std::string device;
  std::string point;
  std::string type;
};

std::vector<Mount> Mounts() {
  std::vector<Mount> mounts;
  FILE* table = ::setmntent("/proc/self/mounts", "r");
  if (!table) return mounts;
  mntent entry{};
  char buffer[4096];
  while (::getmntent_r(table, &entry, buffer, sizeof buffer)) {
    mounts.push_back({entry.mnt_fsname, entry.mnt_dir, entry.mnt_type});
  }
  ::endmntent(table);
  return mounts;
}

// A disk of this PC: a block device, or a local file system that has no device of its own.
bool IsLocalDisk(const Mount& mount) {
  return mount.device.rfind("/dev/", 0) == 0 || mount.type == "overlay" || mount.type == "zfs";
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// /sys/class/block/<name>/removable; a partition carries it on its disk, one folder up.
bool IsRemovableDevice(const std::string& device) {
  char resolved[PATH_MAX];
  if (!::realpath(device.c_str(), resolved)) return false;
  const std::string name = std::string(resolved).substr(std::string(resolved).rfind('/') + 1);
  const std::string block = "/sys/class/block/" + name;
  std::string flag = ReadFirstLine(block + "/removable");
  if (flag.empty()) flag = ReadFirstLine(block + "/../removable");
  return flag == "1";
}

}  // namespace

OsFacts ReadOsFacts() {
  OsFacts facts;
  utsname names{};
  if (::uname(&names) == 0) {
    const std::string machine = names.machine;
    facts.is_64_bit = machine.find("64") != std::string::npos || machine == "s390x";
    char* end = nullptr;
    facts.major_version = static_cast<uint32_t>(std::strtoul(names.release, &end, 10));
    if (*end == '.') facts.minor_version = static_cast<uint32_t>(std::strtoul(end + 1, &end, 10));
    facts.build = std::string(names.release);
  }
  auto release = ReadKeyValues("/etc/os-release", '=');
  if (release.empty()) release = ReadKeyValues("/usr/lib/os-release", '=');
  facts.name = Value(release, "PRETTY_NAME");
  if (!facts.name) facts.name = Value(release, "NAME");
  return facts;
}

MemoryFacts ReadMemoryFacts() {
  MemoryFacts facts;
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return facts;
  const uint64_t unit = info.mem_unit;
  facts.total_physical = info.totalram * unit;
  facts.available_physical = info.freeram * unit;
  facts.total_page_file = info.totalswap * unit;
  facts.available_page_file = info.freeswap * unit;
  return facts;
}

CpuFacts ReadCpuFacts() {
  CpuFacts facts;
  facts.machine = MachineName();
  const auto info = ReadKeyValues("/proc/cpuinfo", ':');
  facts.vendor = Value(info, "vendor_id");
  facts.active_processor_mask = OnlineProcessorMask();
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  facts.processor_count = online > 0 ? static_cast<uint32_t>(online) : 0;
  facts.family = Number(Value(info, "cpu family"));
  facts.model = Number(Value(info, "model"));
  facts.stepping = Number(Value(info, "stepping"));
  facts.name = Value(info, "model name");
  facts.speed_mhz = Value(info, "cpu MHz");
  const long page = ::sysconf(_SC_PAGESIZE);
  facts.page_size = page > 0 ? static_cast<uint32_t>(page) : 0;
  return facts;
}

std::vector<std::string> DiskNames() {
  // The root holds the system, as C: does on Windows: it is reported whatever carries it (a
  // network or virtual file system, or a folder a chroot made the root, which no mount names).
  std::vector<std::string> names{"/"};
  std::set<dev_t> seen;  // a file system bound into several places counts once
  struct stat root {};
  if (::stat("/", &root) == 0) seen.insert(root.st_dev);
  for (const Mount& mount : Mounts()) {
    struct stat info {};
    if (!IsLocalDisk(mount) || ::stat(mount.point.c_str(), &info) != 0) continue;
    if (seen.insert(info.st_dev).second) names.push_back(mount.point);
  }
  return names;
}

bool DiskSpace(const std::string& root, uint64_t& free_bytes, uint64_t& total_bytes) {
  struct statvfs fs {};
  if (root.empty() || ::statvfs(root.c_str(), &fs) != 0 || fs.f_blocks == 0) return false;
  free_bytes = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
  total_bytes = static_cast<uint64_t>(fs.f_blocks) * fs.f_frsize;
  return true;
}

std::optional<uint32_t> DriveType(const std::string& root) {
  constexpr uint32_t kRemovable = 2, kFixed = 3, kCdRom = 5;
  std::optional<Mount> found;
  for (const Mount& mount : Mounts()) {
    if (mount.point == root) found = mount;  // the last mount on a point is the one seen
  }
  if (!found) return std::nullopt;
  if (found->type == "iso9660" || found->type == "udf") return kCdRom;
  if (found->device.rfind("/dev/", 0) != 0) return std::nullopt;
  return IsRemovableDevice(found->device) ? kRemovable : kFixed;
}

std::string SystemErrorMessage(uint32_t error_number) {
  return std::system_category().message(static_cast<int>(error_number));
}

}  // namespace platform
