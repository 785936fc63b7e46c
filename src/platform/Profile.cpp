#include "platform/Profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#ifdef _WIN32
#include <filesystem>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// A settings file is a few lines; anything larger is not one.
constexpr std::size_t kMaxProfileBytes = std::size_t{4} << 20;

enum class FileState { Missing, Read, Unreadable, Refused };

// Says once per file, on the standard error stream, why it is read as empty.
void WarnOnce(const std::string& file, const std::string& why) {
    static std::mutex mutex;
    static std::set<std::string> warned;
    std::lock_guard<std::mutex> guard(mutex);
    if (!warned.insert(file).second) return;
    std::fprintf(stderr, "trackmill: the settings file %s %s; the default settings are used\n",
                 file.c_str(), why.c_str());
}

// Reads the whole file when it is a regular file of at most kMaxProfileBytes. Anything
// else (a FIFO, which would block the reader, a device such as /dev/zero, which never
// ends, a huge file) is refused with a warning and reads as empty.
FileState ReadWholeFile(const std::string& file, std::string& content) {
    content.clear();
#ifdef _WIN32
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (!std::filesystem::exists(status)) return FileState::Missing;
    if (!std::filesystem::is_regular_file(status)) {
        WarnOnce(file, "is not a regular file");
        return FileState::Refused;
    }
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return FileState::Unreadable;
#else
    // Opened without waiting (a FIFO with no writer would block the open itself), then
    // checked on what was opened.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        WarnOnce(file, "is not a regular file");
        return FileState::Refused;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return FileState::Unreadable;
    }
#endif
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
        content.append(buffer, n);
        if (content.size() > kMaxProfileBytes) {
            std::fclose(f);
            content.clear();
            WarnOnce(file, "is larger than 4 MiB");
            return FileState::Refused;
        }
        if (n < sizeof buffer) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) {
        content.clear();
        return FileState::Unreadable;
    }
    return FileState::Read;
}

std::optional<std::string> ReadWholeFile(const std::string& file) {
    std::string content;
    if (ReadWholeFile(file, content) != FileState::Read) return std::nullopt;
    return content;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// One line of the file: [begin, end) is its text without the line break, next is
// where the following line starts.
struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

// Walks the lines of an ini text and classifies them.
class IniScanner {
  public:
    explicit IniScanner(const std::string& text) : text_(text) {
        // A UTF-8 byte-order mark is not part of the first line's text.
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
    }

    bool Next(Line& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t nl = text_.find('\n', pos_);
        line.begin = pos_;
        line.next = nl == std::string::npos ? text_.size() : nl + 1;
        line.end = nl == std::string::npos ? text_.size() : nl;
        if (line.end > line.begin && text_[line.end - 1] == '\r') --line.end;
        pos_ = line.next;
        return true;
    }

    std::string_view Text(const Line& line) const {
        return std::string_view(text_).substr(line.begin, line.end - line.begin);
    }

    // The section name when the line is a "[name]" line.
    std::optional<std::string_view> SectionName(const Line& line) const {
        std::string_view t = Trim(Text(line));
        if (t.empty() || t.front() != '[') return std::nullopt;
        t.remove_prefix(1);
        const std::size_t close = t.find(']');
        if (close != std::string_view::npos) t = t.substr(0, close);
        return Trim(t);
    }

    // The key and value when the line is a "key=value" line (not a comment).
    bool KeyValue(const Line& line, std::string_view& key, std::string_view& value) const {
        const std::string_view t = Trim(Text(line));
        if (t.empty() || t.front() == ';') return false;
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) return false;
        key = Trim(t.substr(0, eq));
        value = Trim(t.substr(eq + 1));
        return true;
    }

  private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

// The value of section/key in the text, if the key is there.
std::optional<std::string> FindValue(const std::string& text, const std::string& section,
                                     const std::string& key) {
    IniScanner scanner(text);
    Line line;
    bool inSection = false;
    bool sectionSeen = false;
    while (scanner.Next(line)) {
        if (auto name = scanner.SectionName(line)) {
            // Only the first section of that name counts.
            if (sectionSeen) return std::nullopt;
            inSection = EqualNoCase(*name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) continue;
        std::string_view k, v;
        if (scanner.KeyValue(line, k, v) && EqualNoCase(k, key)) {
            // A value is text: it ends at the first NUL byte, as a C string would.
            const std::size_t nul = v.find('\0');
            if (nul != std::string_view::npos) v = v.substr(0, nul);
            return std::string(v);
        }
    }
    return std::nullopt;
}

// The line break the file already uses, or the platform's for a new file.
std::string LineBreakOf(const std::string& text) {
    if (text.find("\r\n") != std::string::npos) return "\r\n";
    if (text.find('\n') != std::string::npos) return "\n";
#ifdef _WIN32
    return "\r\n";
#else
    return "\n";
#endif
}

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& file) {
    std::string value = defaultValue;
    if (auto text = ReadWholeFile(file)) {
        if (auto found = FindValue(*text, section, key)) value = std::move(*found);
    }
    if (bufferSize == 0) return {};
    if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return value;
}

int ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& file) {
    auto text = ReadWholeFile(file);
    if (!text) return defaultValue;
    const auto found = FindValue(*text, section, key);
    if (!found || found->empty()) return defaultValue;
    const std::string& v = *found;
    std::size_t i = 0;
    bool negative = false;
    if (v[i] == '+' || v[i] == '-') negative = v[i++] == '-';
    long long magnitude = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (v[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            magnitude = static_cast<long long>(INT_MAX) + 1;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX) return INT_MAX;
    return static_cast<int>(signedValue);
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file) {
    // A file that is there but cannot be read whole is not replaced.
    std::string text;
    const FileState state = ReadWholeFile(file, text);
    if (state == FileState::Unreadable || state == FileState::Refused) return false;
    const std::string br = LineBreakOf(text);
    const std::string keyLine = key + "=" + value;

    IniScanner scanner(text);
    Line line;
    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = 0;  // after the section's last non-blank line
    std::optional<Line> keyLineFound;
    while (scanner.Next(line)) {
        if (auto name = scanner.SectionName(line)) {
            if (sectionFound) break;
            inSection = EqualNoCase(*name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = line.next;
            }
            continue;
        }
        if (!inSection) continue;
        std::string_view k, v;
        if (scanner.KeyValue(line, k, v) && EqualNoCase(k, key)) {
            keyLineFound = line;
            break;
        }
        if (!Trim(scanner.Text(line)).empty()) insertAt = line.next;
    }

    std::string updated;
    if (keyLineFound) {
        // Replace that one line's text; its line break and every other byte stay.
        updated = text.substr(0, keyLineFound->begin) + keyLine + text.substr(keyLineFound->end);
    } else if (sectionFound) {
        std::string before = text.substr(0, insertAt);
        if (!before.empty() && before.back() != '\n') before += br;
        updated = before + keyLine + br + text.substr(insertAt);
    } else {
        updated = text;
        if (!updated.empty() && updated.back() != '\n') updated += br;
        updated += "[" + section + "]" + br + keyLine + br;
    }

    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(updated.data(), 1, updated.size(), out) == updated.size();
    const bool closed = std::fclose(out) == 0;
    return written && closed;
}

}  // namespace platform
