// Profile files: random file bytes, then reads of the file's own and random sections and keys,
// then one write. The readers must agree with each other, and the write must change nothing
// but its key: every other line and every other value stays, and the value reads back.

#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzScratch.h"
#include "platform/profile.h"

namespace {

using zorv_fuzz::Check;

// Cannot be a stored value: a read never returns a line break.
const std::string kMissing = "\n<missing>";

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// What a read gives for the value text of a key line.
std::string ReadAs(std::string_view stored) {
  stored = Trimmed(stored);
  if (stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
      stored.back() == stored.front()) {
    stored = stored.substr(1, stored.size() - 2);
  }
  return std::string(stored.substr(0, platform::kProfileValueLimit));
}

// The lines after a byte order mark, without their LF or CRLF endings.
std::vector<std::string> Lines(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

struct Value {
  std::string section;
  std::string key;
  std::string value;
};

// Every value the file holds, as ReadProfileString gives it, checked against the section
// readers.
std::vector<Value> AllValues(const std::string& file) {
  std::vector<Value> values;
  for (const std::string& section : platform::ReadProfileSectionNames(file)) {
    for (const platform::ProfileEntry& entry : platform::ReadProfileSection(file, section)) {
      const std::string read = platform::ReadProfileString(file, section, entry.key, kMissing);
      Check(read == ReadAs(entry.value), "a key reads otherwise than its section lists it");
      values.push_back({section, entry.key, read});
    }
  }
  return values;
}

// A name the file has, picked by the input, or one made of input bytes.
std::string PickName(FuzzedDataProvider& data, const std::vector<std::string>& names) {
  if (!names.empty() && data.ConsumeBool()) {
    return names[data.ConsumeIntegralInRange<size_t>(0, names.size() - 1)];
  }
  return data.ConsumeRandomLengthString(24);
}

void CheckWrite(const std::string& file, const std::string& before, const Value& write,
                const std::vector<Value>& values_before) {
  const bool written = platform::WriteProfileString(file, write.section, write.key, write.value);
  const std::string after = zorv_fuzz::ReadFileBytes(file);
  // All three empty is the commit, which leaves the file alone.
  const bool commit = write.section.empty() && write.key.empty() && write.value.empty();
  if (!written || commit) {
    Check(after == before, "a refused write or a commit changed the file");
    return;
  }
  const std::string read = platform::ReadProfileString(file, write.section, write.key, kMissing);
  Check(read == ReadAs(write.value), "a written value reads back otherwise");
  Check(before.starts_with("\xEF\xBB\xBF") == after.starts_with("\xEF\xBB\xBF"),
        "a write lost or added the byte order mark");

  // The lines differ in one place only: one line replaced by the key's, the key's line added,
  // or the section's header and the key's line added.
  const std::vector<std::string> old_lines = Lines(before);
  const std::vector<std::string> new_lines = Lines(after);
  const size_t shorter = std::min(old_lines.size(), new_lines.size());
  size_t prefix = 0;
  while (prefix < shorter && old_lines[prefix] == new_lines[prefix]) ++prefix;
  size_t suffix = 0;
  while (prefix + suffix < shorter &&
         old_lines[old_lines.size() - 1 - suffix] == new_lines[new_lines.size() - 1 - suffix]) {
    ++suffix;
  }
  const size_t removed = old_lines.size() - prefix - suffix;
  const size_t added = new_lines.size() - prefix - suffix;
  Check(removed <= 1 && added <= 2 && added >= removed, "a write changed other lines");
  if (added > 0) {
    Check(new_lines[new_lines.size() - 1 - suffix].ends_with("=" + write.value),
          "the changed line is not the key's");
  }

  for (const Value& value : values_before) {
    if (SameName(value.section, Trimmed(write.section)) && SameName(value.key, Trimmed(write.key)))
      continue;
    Check(platform::ReadProfileString(file, value.section, value.key, kMissing) == value.value,
          "a write changed another key's value");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::string file = zorv_fuzz::ScratchPath("profile.ini");
  // The file comes last, so that the choices stay put while the fuzzer grows the file.
  const uint8_t picks_byte = data.ConsumeIntegral<uint8_t>();
  const std::string write_value = data.ConsumeRandomLengthString(40);
  const std::string choices = data.ConsumeRandomLengthString(64);
  const std::string content = data.ConsumeRemainingBytesAsString();
  zorv_fuzz::WriteFileBytes(file, content);

  const std::vector<Value> values = AllValues(file);
  const std::vector<std::string> sections = platform::ReadProfileSectionNames(file);
  FuzzedDataProvider picks(reinterpret_cast<const uint8_t*>(choices.data()), choices.size());
  Value write;
  write.section = PickName(picks, sections);
  std::vector<std::string> keys;
  for (const platform::ProfileEntry& entry : platform::ReadProfileSection(file, write.section)) {
    keys.push_back(entry.key);
  }
  write.key = PickName(picks, keys);
  write.value = write_value;
  // A random read of a name the file may not have.
  platform::ReadProfileString(file, picks.ConsumeRandomLengthString(16),
                              picks.ConsumeRandomLengthString(16), kMissing);
  if (picks_byte & 1) {
    CheckWrite(file, content, write, values);
  } else {
    // A new file.
    std::filesystem::remove(file);
    CheckWrite(file, "", write, {});
  }
  return 0;
}
