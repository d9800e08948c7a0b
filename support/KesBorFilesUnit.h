#pragma once
// Typed access to sectioned key/value (profile) files, backups and file tests.

#include <cstdint>
#include <string>

extern const char* const kAbsentMarker;  // "BOGUS SECTION or KEY"

bool ReadSettingText(const std::string& file, const std::string& section, const std::string& key,
                     std::string& value);
bool ReadSettingInt(const std::string& file, const std::string& section, const std::string& key,
                    int base, int32_t& value);
bool ReadSettingBool(const std::string& file, const std::string& section, const std::string& key,
                     bool& value);
bool WriteSettingText(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);
bool WriteSettingInt(const std::string& file, const std::string& section, const std::string& key,
                     int32_t value);
bool WriteSettingBool(const std::string& file, const std::string& section, const std::string& key,
                      bool value);
bool CommitSettings(const std::string& file);

void BackupFile(const std::string& path);
void CopyFileBinary(const std::string& source, const std::string& destination);
bool IsFileWriteProtected(const std::string& path);
bool FileExistsAtPath(const std::string& path);
bool DirectoryExistsAtPath(const std::string& path);
std::string FileBaseName(const std::string& path);
