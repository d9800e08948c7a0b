#include "platform/system_info.h"
#include "windows_api.h"

namespace platform {
namespace {

// A value of HKEY_LOCAL_MACHINE as text: strings as they are, a number in decimal, other data
// byte by byte (a zero byte as two blanks) between " (" and ")". Empty when it cannot be read.
std::string RegistryText(const char* key_path, const char* value_name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  DWORD size = 0;
  std::string text;
  if (::RegQueryValueExA(key, value_name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string data(size, '\0');
    if (::RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) == ERROR_SUCCESS) {
      data.resize(size);
      if (type == REG_SZ || type == REG_EXPAND_SZ) {
        text = data.c_str();
      } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        text = std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
      } else {
        text = " (";
        for (size_t i = 0; i + 1 < data.size(); ++i)
          text += data[i] ? std::string(1, data[i]) : "  ";
        text += ")";
      }
    }
  }
  ::RegCloseKey(key);
  return text;
}

constexpr char kProcessorKey[] = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

// A 32-bit process on 64-bit Windows runs under WOW64.
bool OsIs64Bit() {
  if constexpr (sizeof(void*) == 8) return true;
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

OsFacts ReadOsFacts() {
  OsFacts facts;
  facts.is_64_bit = OsIs64Bit();
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (::GetVersionExA(&version)) {
    facts.major_version = version.dwMajorVersion;
    facts.minor_version = version.dwMinorVersion;
    facts.platform_id = version.dwPlatformId;
    facts.build = std::to_string(version.dwBuildNumber);
    facts.service_pack = std::string(version.szCSDVersion);
  }
  facts.product_suite =
      RegistryText("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductSuite");
  return facts;
}

MemoryFacts ReadMemoryFacts() {
  MemoryFacts facts;
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return facts;
  facts.total_physical = status.ullTotalPhys;
  facts.available_physical = status.ullAvailPhys;
  facts.total_page_file = status.ullTotalPageFile;
  facts.available_page_file = status.ullAvailPageFile;
  facts.total_virtual = status.ullTotalVirtual;
  facts.available_virtual = status.ullAvailVirtual;
  return facts;
}

CpuFacts ReadCpuFacts() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  CpuFacts facts;
  facts.architecture = info.wProcessorArchitecture;
  facts.oem_id = info.dwOemId;
  facts.vendor = RegistryText(kProcessorKey, "VendorIdentifier");
  facts.active_processor_mask = static_cast<uint64_t>(info.dwActiveProcessorMask);
  facts.processor_count = info.dwNumberOfProcessors;
  facts.processor_type = info.dwProcessorType;
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) {
    facts.family = info.wProcessorLevel;
    facts.model = info.wProcessorRevision >> 8;
    facts.stepping = info.wProcessorRevision & 0xFF;
  }
  facts.name = RegistryText(kProcessorKey, "ProcessorNameString");
  facts.speed_mhz = RegistryText(kProcessorKey, "~MHz");
  facts.revision = info.wProcessorRevision;
  facts.page_size = info.dwPageSize;
  return facts;
}

std::vector<std::string> DiskNames() {
  std::vector<std::string> names;
  for (char letter = 'C'; letter <= 'Z'; ++letter) names.emplace_back(1, letter);
  return names;
}

bool DiskSpace(const std::string& root, uint64_t& free_bytes, uint64_t& total_bytes) {
  ULARGE_INTEGER available{}, total{}, free{};
  if (!::GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free)) return false;
  free_bytes = available.QuadPart;
  total_bytes = total.QuadPart;
  return true;
}

std::optional<uint32_t> DriveType(const std::string& root) {
  return ::GetDriveTypeA(root.c_str());
}

std::string SystemErrorMessage(uint32_t error_number) {
  char* buffer = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error_number, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length > 0 && buffer ? std::string(buffer, length) : std::string();
  if (buffer) ::LocalFree(buffer);
  return text;
}

}  // namespace platform
