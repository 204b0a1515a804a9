// The private-profile (INI) functions on POSIX, following the rules of the Windows ones.
//
// Reading (the file is read on every call): LF, CR LF and lone CR end lines; blanks and tabs
// around a line are ignored; "[name]" opens a section; a line whose first character is ';' is a
// comment; "key=value" is a key, the name being the text before the first '=' and the value the
// text after it, both trimmed of blanks and tabs, then one pair of matching surrounding double or
// single quotes is removed from the value. Section and key names are compared without letter
// case, folding ASCII and the windows-1251 Cyrillic letters. Only the first section of a name is
// searched, and the first key of a name in it wins. Lines before the first section and lines
// without '=' are ignored.
//
// Writing keeps every other byte of the file: an existing key gets its new value in place, a
// missing key is added after the last non-blank line of its section, a missing section is added
// at the end after a blank line; added lines end in CR LF. The new content goes to a temporary
// file in the same folder that then replaces the file, so a crash never leaves half a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/profile.h"
#include "platform/profile_check.h"

namespace corvid::platform {
namespace {

using profile_detail::DefaultResult;

// Serialises the read-modify-write of WritePrivateProfileText within the process.
std::mutex g_write_lock;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Upper case of ASCII letters and of the windows-1251 Cyrillic letters.
unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0) return static_cast<unsigned char>(c - 0x20);  // а..я
  switch (c) {
    case 0x90:
      return 0x80;  // ђ
    case 0x83:
      return 0x81;  // ѓ
    case 0x9A:
      return 0x8A;  // љ
    case 0x9C:
      return 0x8C;  // њ
    case 0x9D:
      return 0x8D;  // ќ
    case 0x9E:
      return 0x8E;  // ћ
    case 0x9F:
      return 0x8F;  // џ
    case 0xA2:
      return 0xA1;  // ў
    case 0xBC:
      return 0xA3;  // ј
    case 0xB4:
      return 0xA5;  // ґ
    case 0xB8:
      return 0xA8;  // ё
    case 0xBA:
      return 0xAA;  // є
    case 0xBF:
      return 0xAF;  // ї
    case 0xB3:
      return 0xB2;  // і
    case 0xBE:
      return 0xBD;  // ѕ
    default:
      return c;
  }
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One line of the file: its text is [begin, end), its line end [end, next).
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back({pos, text.size(), text.size()});
      break;
    }
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

enum class Kind { kBlank, kSection, kKey, kOther };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // section or key name
  std::string_view value;  // key value, trimmed, quotes still on
};

Parsed ParseLine(const std::string& text, const Line& line) {
  const std::string_view body =
      Trim(std::string_view(text).substr(line.begin, line.end - line.begin));
  Parsed parsed;
  if (body.empty()) {
    parsed.kind = Kind::kBlank;
  } else if (body.front() == '[') {
    const std::size_t close = body.find(']');
    parsed.kind = Kind::kSection;
    parsed.name = Trim(body.substr(1, close == std::string_view::npos ? close : close - 1));
  } else if (body.front() != ';') {
    const std::size_t eq = body.find('=');
    if (eq != std::string_view::npos) {
      parsed.kind = Kind::kKey;
      parsed.name = Trim(body.substr(0, eq));
      parsed.value = Trim(body.substr(eq + 1));
    }
  }
  return parsed;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Where a key of a section is, or would go.
struct Location {
  std::size_t section = kNone;         // line of the section's header
  std::size_t last_non_blank = kNone;  // last non-blank line of the section (maybe the header)
  std::size_t key = kNone;             // line of the key
};

Location Locate(const std::string& text, const std::vector<Line>& lines, const std::string& section,
                const std::string& key) {
  Location at;
  const std::string_view wanted_section = Trim(section);
  const std::string_view wanted_key = Trim(key);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed parsed = ParseLine(text, lines[i]);
    if (at.section == kNone) {
      if (parsed.kind == Kind::kSection && SameName(parsed.name, wanted_section)) {
        at.section = at.last_non_blank = i;
      }
      continue;
    }
    if (parsed.kind == Kind::kSection) break;  // the end of the first matching section
    if (parsed.kind != Kind::kBlank) at.last_non_blank = i;
    if (parsed.kind == Kind::kKey && at.key == kNone && SameName(parsed.name, wanted_key)) {
      at.key = i;
    }
  }
  return at;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The whole file; an empty optional when it cannot be read. A missing file reads as empty
// when `missing_is_empty`.
std::optional<std::string> ReadWholeFile(const std::string& path, bool missing_is_empty) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT && missing_is_empty) return std::string();
    return std::nullopt;
  }
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces the file at `path` (the target of a symbolic link) by `data` through a temporary
// file in the same folder, keeping the file's permissions.
bool ReplaceFile(const std::string& path, const std::string& data) {
  std::string target = path;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return false;
    target = resolved;
  }
  const bool existed = ::stat(target.c_str(), &st) == 0;

  static std::atomic<unsigned> counter{0};
  const std::string temp =
      target + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok =
      (!existed || ::fchmod(fd, st.st_mode & 07777) == 0) && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool EndsWithLineBreak(const std::string& text) {
  return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

}  // namespace

std::string GetPrivateProfileText(const std::string& section, const std::string& key,
                                  const std::string& default_value, std::size_t buffer_size,
                                  const std::string& path) {
  if (buffer_size == 0) return {};
  if (section.empty() || key.empty()) return DefaultResult(default_value, buffer_size);
  const std::optional<std::string> text = ReadWholeFile(path, true);
  if (!text) return DefaultResult(default_value, buffer_size);
  const std::vector<Line> lines = SplitLines(*text);
  const Location at = Locate(*text, lines, section, key);
  if (at.key == kNone) return DefaultResult(default_value, buffer_size);
  std::string value(Unquote(ParseLine(*text, lines[at.key]).value));
  if (value.size() > buffer_size - 1) value.resize(buffer_size - 1);
  return value;
}

bool WritePrivateProfileText(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& path) {
  if (!profile_detail::ValidWrite(section, key, value)) return false;
  std::lock_guard<std::mutex> lock(g_write_lock);
  const std::optional<std::string> read = ReadWholeFile(path, true);
  if (!read) return false;
  const std::string& text = *read;
  const std::vector<Line> lines = SplitLines(text);
  const Location at = Locate(text, lines, section, key);

  std::string out;
  if (at.key != kNone) {
    // In place: everything up to the '=' and the blanks after it stays, then the new value.
    const Line& line = lines[at.key];
    std::size_t start = text.find('=', line.begin) + 1;
    while (start < line.end && IsBlank(text[start])) ++start;
    out = text.substr(0, start) + value + text.substr(line.end);
  } else if (at.section != kNone) {
    const Line& last = lines[at.last_non_blank];
    out = text.substr(0, last.next);
    if (last.next == last.end) out += "\r\n";  // the last line of the file had no line end
    out += key + "=" + value + "\r\n" + text.substr(last.next);
  } else {
    out = text;
    if (!out.empty() && !EndsWithLineBreak(out)) out += "\r\n";
    if (!lines.empty() && ParseLine(text, lines.back()).kind != Kind::kBlank) out += "\r\n";
    out += "[" + section + "]\r\n" + key + "=" + value + "\r\n";
  }
  return ReplaceFile(path, out);
}

}  // namespace corvid::platform
