#pragma once
// Facts about the PC for the start-up report. A fact the system cannot give is left empty, so
// that the report leaves its line out rather than print an invented value.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct OsFacts {
  bool is_64_bit = false;  // the operating system, whatever the process is
  std::optional<uint32_t> major_version;
  std::optional<uint32_t> minor_version;
  std::optional<uint32_t> platform_id;  // Windows: picks the version name and platform text
  std::optional<std::string> name;      // where the system names itself (os-release)
  std::optional<std::string> build;
  std::optional<std::string> service_pack;
  std::optional<std::string> product_suite;
};

// Bytes.
struct MemoryFacts {
  std::optional<uint64_t> total_physical;
  std::optional<uint64_t> available_physical;
  std::optional<uint64_t> total_page_file;
  std::optional<uint64_t> available_page_file;
  std::optional<uint64_t> total_virtual;
  std::optional<uint64_t> available_virtual;
};

struct CpuFacts {
  std::optional<uint32_t> architecture;  // Windows architecture number
  std::optional<std::string> machine;    // where the architecture has a name, not a number
  std::optional<uint32_t> oem_id;
  std::optional<std::string> vendor;
  std::optional<uint64_t> active_processor_mask;
  uint32_t processor_count = 0;
  std::optional<uint32_t> processor_type;
  // x86 processors only.
  std::optional<uint32_t> family;
  std::optional<uint32_t> model;
  std::optional<uint32_t> stepping;
  std::optional<std::string> name;
  std::optional<std::string> speed_mhz;  // empty when the system does not know it
  std::optional<uint32_t> revision;
  uint32_t page_size = 0;
};

OsFacts ReadOsFacts();
MemoryFacts ReadMemoryFacts();
CpuFacts ReadCpuFacts();

// The disks to report: drive letters "C" to "Z" on Windows; elsewhere the root first, then the
// mount points of the other local file systems.
std::vector<std::string> DiskNames();
// Space on the disk whose root is given ("C:" or a mount point).
bool DiskSpace(const std::string& root, uint64_t& free_bytes, uint64_t& total_bytes);
// The Windows drive type number (2 removable, 3 fixed, 5 CD-ROM, ...) where it is known.
std::optional<uint32_t> DriveType(const std::string& root);

// The system's message text for an error number.
std::string SystemErrorMessage(uint32_t error_number);

}  // namespace platform
