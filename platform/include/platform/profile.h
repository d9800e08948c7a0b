#pragma once
// Profile (ini) files: "[Section]" lines open sections, "Key=Value" lines follow. Windows uses
// its own profile functions; elsewhere our reader and writer keep the behaviour operators'
// files rely on, so one file moves between stations unchanged:
// - section and key names match case-insensitively; blanks around names and values are
//   dropped, and a value in matching double or single quotes loses them;
// - ";" lines are comments; a line in a section that is not Key=Value is skipped; a "[" line
//   without "]" opens no readable section; the first of duplicate sections or keys counts;
// - a write replaces an existing key's value in place, appends a new key after the last key of
//   its section and a new section at the end of the file, and creates the file; every other
//   line stays as it was, and lines end in CRLF (files with LF endings are read as well);
// - a UTF-8 byte order mark at the start of the file (some editors write one) is skipped, and
//   a write keeps it;
// - a write replaces the file in one rename, so a process dying mid-write leaves the old file.

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Longest value a read returns; longer ones are cut.
constexpr size_t kProfileValueLimit = 1023;

// The value of the key, or `fallback` when the file, section or key is missing (Windows also
// drops trailing blanks of the fallback).
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback);

// Stores the value. False when the platform refuses: the folder is missing, the file may not
// be written or cannot be read, or a name or value would not read back as written (CR, LF or
// NUL anywhere, "]" in a section, "=" in a key, a key starting with ";" or "["). Section, key
// and value all empty commits pending writes and succeeds.
bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

// The names of the file's sections in file order, each once; nothing when the file is missing.
std::vector<std::string> ReadProfileSectionNames(const std::string& file);

struct ProfileEntry {
  std::string key;
  // As the file holds it: blanks around it dropped, quotes kept, so that writing it back leaves
  // what a read gives unchanged.
  std::string value;
};

// The keys of the section in file order, each once (the first of duplicates counts), with
// their values; nothing when the file or section is missing.
std::vector<ProfileEntry> ReadProfileSection(const std::string& file, const std::string& section);

}  // namespace platform
