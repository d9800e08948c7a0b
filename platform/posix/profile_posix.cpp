#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

#include "../common/profile_text.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace platform {
namespace {

// Setup files are a few kilobytes; anything far larger is not a profile file, and reading it
// whole could exhaust memory.
constexpr size_t kFileLimit = 64u << 20;
constexpr size_t kNone = std::string_view::npos;

// The UTF-8 byte order mark some editors put at the start of a text file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The byte order mark that starts the text, or nothing.
std::string_view ByteOrderMarkOf(std::string_view text) {
  return text.substr(0, text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
}

// The text of the lines, without a byte order mark before the first.
std::string_view LinesOf(std::string_view text) {
  return text.substr(ByteOrderMarkOf(text).size());
}

// Walks the lines of a file's text, without their LF or CRLF endings.
class LineWalker {
 public:
  explicit LineWalker(std::string_view text) : rest_(text) {}

  bool Next(std::string_view& line) {
    if (done_ || rest_.empty()) return false;
    const size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    if (end == kNone) {
      done_ = true;
    } else {
      rest_.remove_prefix(end + 1);
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

 private:
  std::string_view rest_;
  bool done_ = false;
};

struct ParsedLine {
  enum class Kind { kOther, kSection, kKey };
  Kind kind = Kind::kOther;
  std::string_view name;   // trimmed; empty for a "[" line without "]"
  std::string_view value;  // trimmed, quotes still on
};

ParsedLine Parse(std::string_view line) {
  // Text after a NUL byte is what C string functions would never see.
  const std::string_view body = TrimBlanks(line.substr(0, line.find('\0')));
  if (body.empty() || body.front() == ';') return {};
  if (body.front() == '[') {
    const size_t close = body.find(']');
    if (close == kNone) return {ParsedLine::Kind::kSection, {}, {}};
    return {ParsedLine::Kind::kSection, TrimBlanks(body.substr(1, close - 1)), {}};
  }
  const size_t equals = body.find('=');
  if (equals == kNone) return {};
  const std::string_view name = TrimBlanks(body.substr(0, equals));
  if (name.empty()) return {};
  return {ParsedLine::Kind::kKey, name, TrimBlanks(body.substr(equals + 1))};
}

// Where a key is, or would go, in a file's text. Line numbers count from 0.
struct KeyPlace {
  size_t section_line = kNone;   // header of the first section of that name
  size_t key_line = kNone;       // first line of the key inside it
  size_t last_key_line = kNone;  // last key line of the section, or its header
  std::string_view key_name;     // the key as the file spells it
  std::string_view value;
};

KeyPlace Locate(std::string_view text, std::string_view section, std::string_view key) {
  KeyPlace place;
  LineWalker walker(text);
  std::string_view line;
  for (size_t number = 0; walker.Next(line); ++number) {
    const ParsedLine parsed = Parse(line);
    if (parsed.kind == ParsedLine::Kind::kSection) {
      if (place.section_line != kNone) break;
      if (!parsed.name.empty() && SameProfileName(parsed.name, section)) {
        place.section_line = number;
        place.last_key_line = number;
      }
    } else if (parsed.kind == ParsedLine::Kind::kKey && place.section_line != kNone) {
      place.last_key_line = number;
      if (place.key_line == kNone && SameProfileName(parsed.name, key)) {
        place.key_line = number;
        place.key_name = parsed.name;
        place.value = parsed.value;
      }
    }
  }
  return place;
}

std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kProfileValueLimit));
}

void AppendLine(std::string& out, std::string_view first, std::string_view second = {},
                std::string_view third = {}) {
  out.append(first).append(second).append(third).append("\r\n");
}

// The file's text with the key set: every other line kept, every line ending in CRLF.
std::string Rewritten(std::string_view file_text, std::string_view section, std::string_view key,
                      std::string_view value) {
  const std::string_view text = LinesOf(file_text);
  const KeyPlace place = Locate(text, section, key);
  std::string out(ByteOrderMarkOf(file_text));
  out.reserve(text.size() + text.size() / 16 + section.size() + key.size() + value.size() + 16);
  LineWalker walker(text);
  std::string_view line;
  for (size_t number = 0; walker.Next(line); ++number) {
    if (number == place.key_line) {
      AppendLine(out, place.key_name, "=", value);
    } else {
      AppendLine(out, line);
    }
    if (place.key_line == kNone && number == place.last_key_line) AppendLine(out, key, "=", value);
  }
  if (place.section_line == kNone) {
    AppendLine(out, "[", section, "]");
    AppendLine(out, key, "=", value);
  }
  return out;
}

// The whole content of a regular file, or nothing when it cannot be read or is too large.
// Opened without blocking, so a FIFO in its place cannot hang the caller.
std::optional<std::string> ReadRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> content;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<size_t>(info.st_size) <= kFileLimit) {
    content.emplace();
    char chunk[65536];
    ssize_t got = 0;
    while (content && (got = ::read(fd, chunk, sizeof chunk)) > 0) {
      content->append(chunk, static_cast<size_t>(got));
      if (content->size() > kFileLimit) content.reset();
    }
    if (got < 0) content.reset();
  }
  ::close(fd);
  return content;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written <= 0) return false;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Writes a new file beside the target and renames it over the target, so the target is
// always either the old file or the new one.
bool ReplaceFile(const std::string& target, std::string_view data,
                 std::optional<mode_t> keep_mode) {
  static std::atomic<unsigned> serial{0};
  const std::string folder = target.substr(0, target.find_last_of('/') + 1);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = folder + ".~profile." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = (!keep_mode || ::fchmod(fd, *keep_mode) == 0) && WriteAll(fd, data);
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// The file a path names: symbolic links resolved, so that a write replaces the file they
// point to and not the link.
std::string ResolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The stored value, or nothing when the file, section or key is missing or unreadable.
std::optional<std::string> StoredValue(const std::string& file, const std::string& section,
                                       const std::string& key) {
  try {
    const std::string_view wanted_section = TrimBlanks(section);
    const std::string_view wanted_key = TrimBlanks(key);
    if (wanted_section.empty() || wanted_key.empty()) return std::nullopt;
    const std::optional<std::string> content = ReadRegularFile(NativePath(file));
    if (!content) return std::nullopt;
    const KeyPlace place = Locate(LinesOf(*content), wanted_section, wanted_key);
    if (place.key_line == kNone) return std::nullopt;
    return Unquoted(place.value);
  } catch (...) {
    return std::nullopt;
  }
}

std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

bool WriteEntry(const std::string& file, std::string_view section, std::string_view key,
                std::string_view value) {
  const std::string target = ResolvedPath(NativePath(file));
  std::string text;
  std::optional<mode_t> keep_mode;
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode) || IsWriteDenied(target)) return false;
    std::optional<std::string> content = ReadRegularFile(target);
    if (!content) return false;
    text = std::move(*content);
    keep_mode = info.st_mode & 07777;
  } else if (errno != ENOENT) {
    return false;
  }
  return ReplaceFile(target, Rewritten(text, section, key, value), keep_mode);
}

// Calls `take` with every parsed line of the file until it returns false; nothing happens when
// the file cannot be read.
template <typename Take>
void WalkFile(const std::string& file, Take take) {
  const std::optional<std::string> content = ReadRegularFile(NativePath(file));
  if (!content) return;
  LineWalker walker(LinesOf(*content));
  std::string_view line;
  while (walker.Next(line) && take(Parse(line))) {
  }
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  try {
    if (std::optional<std::string> value = StoredValue(file, section, key)) return *value;
    const std::string_view kept =
        std::string_view(fallback).substr(0, fallback.find_last_not_of(' ') + 1);
    return std::string(kept.substr(0, kProfileValueLimit));
  } catch (...) {
    return std::string();  // memory exhausted
  }
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
  // Every write goes straight to the file: a commit has nothing left to do.
  if (section.empty() && key.empty() && value.empty()) return true;
  if (!IsStorableProfileEntry(section, key, value)) return false;
  try {
    const std::lock_guard<std::mutex> hold(WriteLock());
    return WriteEntry(file, TrimBlanks(section), TrimBlanks(key), value);
  } catch (...) {
    return false;
  }
}

std::vector<std::string> ReadProfileSectionNames(const std::string& file) {
  std::vector<std::string> names;
  try {
    WalkFile(file, [&](const ParsedLine& parsed) {
      if (parsed.kind == ParsedLine::Kind::kSection && !parsed.name.empty()) {
        AddFirstOfName(names, parsed.name);
      }
      return true;
    });
  } catch (...) {
    names.clear();  // memory exhausted
  }
  return names;
}

std::vector<ProfileEntry> ReadProfileSection(const std::string& file, const std::string& section) {
  std::vector<ProfileEntry> entries;
  const std::string_view wanted = TrimBlanks(section);
  try {
    bool inside = false;
    WalkFile(file, [&](const ParsedLine& parsed) {
      if (parsed.kind == ParsedLine::Kind::kSection) {
        // Only the first section of the name counts.
        if (inside) return false;
        inside = !parsed.name.empty() && SameProfileName(parsed.name, wanted);
      } else if (parsed.kind == ParsedLine::Kind::kKey && inside) {
        AddFirstOfKey(entries, parsed.name, parsed.value);
      }
      return true;
    });
  } catch (...) {
    entries.clear();  // memory exhausted
  }
  return entries;
}

}  // namespace platform
