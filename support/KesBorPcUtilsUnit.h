#pragma once
// The report of the PC (operating system, memory, disks, processor) that the operator program
// writes into its log at start-up, for service staff reading the log.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/system_info.h"

struct PcDisk {
  std::string name;  // a drive letter, or a mount point where there are no letters
  uint64_t free_bytes = 0;
  uint64_t total_bytes = 0;
  std::optional<uint32_t> drive_type;
};

struct PcFacts {
  platform::OsFacts os;
  platform::MemoryFacts memory;
  std::vector<PcDisk> disks;  // those that report their space
  platform::CpuFacts cpu;
};

// True for a 32-bit process on a 64-bit operating system.
bool IsWow64();
// Space on a drive: a letter from A to Z in either case, or a mount point where there are no
// letters. False for a letter outside A to Z or a drive that reports nothing.
bool DiskSpace(const std::string& drive, uint64_t& free_bytes, uint64_t& total_bytes);

PcFacts ReadPcFacts();
// The report's lines; a fact the system does not give leaves its line out.
std::vector<std::string> PcInfoLines(const PcFacts& facts);
// Writes the report of this PC through LogInfo, code 0, no box.
void LogPcInfo();
