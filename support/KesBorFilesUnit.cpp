#include "support/KesBorFilesUnit.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "platform/profile.h"
#include "support/KesBorGenUnit.h"

const char* const kAbsentMarker = "BOGUS SECTION or KEY";

namespace {

constexpr size_t kCopyChunk = 8192;
constexpr size_t kLongestPath = 259;
constexpr int kIntegerTextLength = 16;

// The stored text, or false when the file, section or key is missing. A stored value that is
// the marker itself cannot be told from a missing key, and reads as missing too.
bool ReadPresent(const std::string& file, const std::string& section, const std::string& key,
                 std::string& text) {
  text = platform::ReadProfileString(file, section, key, kAbsentMarker);
  return text != kAbsentMarker;
}

}  // namespace

bool ReadSettingText(const std::string& file, const std::string& section, const std::string& key,
                     std::string& value) {
  std::string text;
  if (!ReadPresent(file, section, key, text)) return false;
  value = text;
  return true;
}

bool ReadSettingInt(const std::string& file, const std::string& section, const std::string& key,
                    int base, int32_t& value) {
  std::string text;
  int32_t parsed = 0;
  if (!ReadPresent(file, section, key, text) || !ParseIntWhole(text, parsed, base)) return false;
  value = parsed;
  return true;
}

bool ReadSettingBool(const std::string& file, const std::string& section, const std::string& key,
                     bool& value) {
  std::string text;
  if (!ReadPresent(file, section, key, text)) return false;
  value = text == "YES";
  return true;
}

bool WriteSettingText(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) {
  return platform::WriteProfileString(file, section, key, value);
}

bool WriteSettingInt(const std::string& file, const std::string& section, const std::string& key,
                     int32_t value) {
  return WriteSettingText(file, section, key, FormatFixed(kIntegerTextLength, 0, value));
}

bool WriteSettingBool(const std::string& file, const std::string& section, const std::string& key,
                      bool value) {
  return WriteSettingText(file, section, key, YesNoText(value));
}

bool CommitSettings(const std::string& file) {
  const bool committed = platform::WriteProfileString(file, "", "", "");
  std::fflush(nullptr);
  return committed;
}

void BackupFile(const std::string& path) {
  if (FileExistsAtPath(path)) CopyFileBinary(path, path + ".BAK");
}

void CopyFileBinary(const std::string& source, const std::string& destination) {
  std::FILE* in = std::fopen(platform::NativePath(source).c_str(), "rb");
  if (in == nullptr) return;
  std::FILE* out = std::fopen(platform::NativePath(destination).c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return;
  }
  char chunk[kCopyChunk];
  size_t count = 0;
  do {
    count = std::fread(chunk, 1, sizeof chunk, in);
    if (count > 0) std::fwrite(chunk, 1, count, out);
  } while (count == sizeof chunk);
  std::fclose(out);
  std::fclose(in);
}

bool IsFileWriteProtected(const std::string& path) {
  // Where the system has no such attributes, a file this process may not write (permissions
  // or a read-only file system) reports the read-only bit.
  const std::optional<uint32_t> attributes = platform::FileAttributes(path);
  if (!attributes || (*attributes & platform::kAttributeDirectory)) return false;
  if (*attributes == platform::kAttributeNormal) return false;
  constexpr uint32_t kProtecting = platform::kAttributeReadOnly | platform::kAttributeSystem |
                                   platform::kAttributeCompressed | platform::kAttributeOffline;
  return (*attributes & kProtecting) != 0;
}

bool FileExistsAtPath(const std::string& path) {
  return platform::FileAttributes(path).has_value();
}

bool DirectoryExistsAtPath(const std::string& path) {
  return platform::IsDirectory(path);
}

std::string FileBaseName(const std::string& path) {
  try {
    const std::string kept = path.substr(0, std::min(path.size(), kLongestPath));
    const auto is_control_or_blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    const auto first = std::find_if_not(kept.begin(), kept.end(), is_control_or_blank);
    const auto last = std::find_if_not(kept.rbegin(), kept.rend(), is_control_or_blank).base();
    const std::string trimmed = first < last ? std::string(first, last) : std::string();
    const std::string name = trimmed.substr(trimmed.find_last_of("\\/:") + 1);
    return name.substr(0, name.find('.'));
  } catch (...) {
    return std::string();
  }
}
