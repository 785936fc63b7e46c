// Cue sheets, read with libcue and served from the files they name.
//
// libcue parses the sheet: file names (quoted or not), track modes, indexes, flags and
// CD-TEXT. A quick pass over the lines of our own adds what libcue does not hand out
// (the TRACK numbers, each FILE's type, PREGAP and POSTGAP apart from INDEX 00, the
// CATALOG, which libcue keeps to itself) and
// names the line at fault when something is wrong, since libcue only prints its
// complaints. libcue keeps its parser state in globals, so one sheet is parsed at a
// time, each from a clean lexer state (see ResetLibcue).
//
// Layout (see ImageLayout.h): the files follow one another on the disc in the order
// the sheet names them; each file is laid out whole, and a track starts at its
// INDEX 01, so the frames between one track's INDEX 01 and the next one's belong to
// the first (the next track's INDEX 00 pregap is the end of the previous track, as on
// a pressed disc). PREGAP and POSTGAP add silent frames that are in no file.
#include <libcue.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ImageLayout.h"
#include "cdaccess/CdAccess.h"

#ifndef _WIN32
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace cdaccess {
namespace {

constexpr std::size_t kMaxCueBytes = 1 << 20;
// libcue copies each word into a fixed buffer; longer lines are refused before it
// sees them.
constexpr std::size_t kMaxLineBytes = 512;

std::mutex& LibcueMutex() {
    static std::mutex mutex;
    return mutex;
}

// libcue's lexer keeps two things from one parse to the next, and a sheet that ends
// in a syntax error leaves them set: its start condition (after TITLE, FILE and the
// like it reads the next word as a name; after REM it skips to the end of the line)
// and a flag that makes it hand out the newline it adds at the end of the input only
// every other time. The next sheet's first line is then misread. Its API cannot reset
// either, so a small sheet is parsed first that leaves both clean from any state: its
// first line ("REM" alone) brings every start condition back to the initial one (a
// name, a skipped comment or a skipped rest of line), and the rest is a complete
// sheet, so the parse reads to the very end of its input, which clears the flag.
void ResetLibcue() {
    static const char kReset[] = "REM\nFILE \"x\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    if (Cd* cd = cue_parse_string(kReset)) cd_delete(cd);
}

// Runs libcue on `text` from a clean state; `complained` tells whether it printed a
// complaint. Its complaints go to the standard error stream, which is borrowed for the
// call (under LibcueMutex).
Cd* ParseQuietly(const std::string& text, bool& complained) {
    complained = false;
#ifdef _WIN32
    ResetLibcue();
    Cd* cd = cue_parse_string(text.c_str());
#else
    std::fflush(stderr);
    std::FILE* sink = std::tmpfile();
    const int saved = sink ? ::dup(STDERR_FILENO) : -1;
    if (saved >= 0) ::dup2(::fileno(sink), STDERR_FILENO);
    ResetLibcue();  // what it says about the reset sheet is not this sheet's complaint
    std::fflush(stderr);
    const long before = sink ? ::lseek(::fileno(sink), 0, SEEK_END) : 0;
    Cd* cd = cue_parse_string(text.c_str());
    std::fflush(stderr);
    if (saved >= 0) {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        complained = ::lseek(::fileno(sink), 0, SEEK_END) > before;
    }
    if (sink) std::fclose(sink);
#endif
    return cd;
}

bool Complains(const std::string& text) {
    bool complained = false;
    Cd* cd = ParseQuietly(text, complained);
    if (cd) cd_delete(cd);
    return complained || !cd;
}

// libcdio exports a cdtext_get of its own, and the dynamic linker may hand a plain
// call to either library; libcue's is looked up in libcue itself. Null when it cannot
// be found (the sheet's CD-TEXT is then left out).
using CdtextGetFunction = const char* (*)(enum Pti, const Cdtext*);
CdtextGetFunction LibcueCdtextGet() {
    static const CdtextGetFunction function = []() -> CdtextGetFunction {
#ifdef _WIN32
        return &cdtext_get;
#else
        Dl_info info{};
        if (!::dladdr(reinterpret_cast<void*>(&cue_parse_string), &info) || !info.dli_fname)
            return nullptr;
        void* self = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        if (!self) return nullptr;
        auto found = reinterpret_cast<CdtextGetFunction>(::dlsym(self, "cdtext_get"));
        ::dlclose(self);  // libcue stays loaded: the library is linked with it
        return found;
#endif
    }();
    return function;
}

std::string CdText(enum Pti item, const Cdtext* cdtext) {
    const CdtextGetFunction get = LibcueCdtextGet();
    const char* text = get && cdtext ? get(item, cdtext) : nullptr;
    return text ? TextAsUtf8(text) : std::string();
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::size_t j = i;
        if (line[i] == '"') {
            j = line.find('"', i + 1);
            j = j == std::string::npos ? line.size() : j + 1;
        } else {
            while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
        }
        words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

// A number of up to nine digits; -1 otherwise.
long Number(const std::string& word) {
    if (word.empty() || word.size() > 9) return -1;
    long value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "mm:ss:ff" or a frame count; -1 when it is neither.
long CueTime(const std::string& word) {
    const std::size_t a = word.find(':');
    if (a == std::string::npos) return Number(word);
    const std::size_t b = word.find(':', a + 1);
    if (b == std::string::npos) return -1;
    const long m = Number(word.substr(0, a)), s = Number(word.substr(a + 1, b - a - 1)),
               f = Number(word.substr(b + 1));
    if (m < 0 || m > 999 || s < 0 || s >= 60 || f < 0 || f >= 75) return -1;
    return (m * 60 + s) * 75 + f;
}

enum class FileType { Binary, Motorola, Sound, Mp3 };

// What the line pass learns about each TRACK, in order.
struct CueTrackLines {
    int line = 0;
    int number = 0;
    FileType type = FileType::Binary;
    int fileLine = 0;
    long pregap = 0, postgap = 0;
    bool index0InPreviousFile = false;  // its INDEX 00 came before a FILE line, its INDEX 01 after
    bool hasIndex1 = false;
    // A data track of a mode libcue does not know: the bytes of one of its sectors in
    // the file (from the mode's "/size" when it gives a likely one, else 2352). 0 for
    // a known mode.
    std::uint32_t unknownModeBytes = 0;
    // When index0InPreviousFile: the file its INDEX 00 lies in, as the sheet names it.
    std::string index0File;
    FileType index0Type = FileType::Binary;
    int index0FileLine = 0;
    // The file its INDEX 01 lies in. libcue names the wrong one for a track that
    // follows a FILE line given between another track's INDEX 00 and INDEX 01.
    std::string file;
};

// The name a FILE line gives, without its quotes.
std::string FileNameOf(const std::vector<std::string>& words) {
    std::string name;
    for (std::size_t k = 1; k + 1 < words.size(); ++k) name += (k > 1 ? " " : "") + words[k];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    return name;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == y;
           });
}

// The sector size a mode libcue does not know names ("MODE2/2324", "CDI/2336"), or
// 2352 when it names none from 2048 to 2448 bytes.
std::uint32_t UnknownModeBytes(const std::string& mode) {
    const std::size_t slash = mode.rfind('/');
    const long bytes = slash == std::string::npos ? -1 : Number(mode.substr(slash + 1));
    return bytes >= 2048 && bytes <= 2448 ? static_cast<std::uint32_t>(bytes) : kFrameBytes;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The line pass. False with the reason (naming the line) on a line that cannot be
// right.
bool ScanLines(const std::vector<std::string>& lines, std::vector<CueTrackLines>& tracks,
               std::string& catalog, std::string& error) {
    FileType type = FileType::Binary;
    int fileLine = 0;
    std::string fileName;
    bool haveIndex1 = true;  // the current track has its INDEX 01 (a FILE then serves the next)
    bool haveIndex0 = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string where = "line " + std::to_string(i + 1);
        if (line.size() > kMaxLineBytes) {
            error = where + " is too long for a cue sheet";
            return false;
        }
        for (unsigned char c : line) {
            if (c < 0x20 && c != '\t') {
                error = where + " holds binary data, not text";
                return false;
            }
        }
        const std::vector<std::string> w = Words(line);
        if (w.empty()) continue;
        static const char* const kCommands[] = {
            "REM",       "CATALOG",    "CDTEXTFILE", "FILE",     "TRACK",   "TITLE",
            "PERFORMER", "SONGWRITER", "COMPOSER",   "ARRANGER", "MESSAGE", "DISC_ID",
            "GENRE",     "TOC_INFO1",  "TOC_INFO2",  "UPC_EAN",  "ISRC",    "SIZE_INFO",
            "FLAGS",     "PREGAP",     "POSTGAP",    "INDEX"};
        if (std::find(std::begin(kCommands), std::end(kCommands), w[0]) == std::end(kCommands)) {
            error = where + " does not start with a cue sheet command: " + Quoted(line);
            return false;
        }
        if (w[0] == "CATALOG" && w.size() > 1) {
            catalog = w[1];
        } else if (w[0] == "FILE") {
            if (w.size() < 3) {
                error = where + " is a FILE line without a name and a type";
                return false;
            }
            const std::string& t = w.back();
            const FileType previousType = type;
            if (t == "BINARY")
                type = FileType::Binary;
            else if (t == "MOTOROLA")
                type = FileType::Motorola;
            else if (t == "WAVE" || t == "AIFF" || t == "FLAC")
                type = FileType::Sound;
            else if (t == "MP3")
                type = FileType::Mp3;
            else {
                error = where + " names a file of an unknown type " + Quoted(t);
                return false;
            }
            const int previousLine = fileLine;
            const std::string previousName = fileName;
            fileLine = static_cast<int>(i + 1);
            fileName = FileNameOf(w);
            if (!haveIndex1 && !tracks.empty()) {
                if (haveIndex0 && !tracks.back().index0InPreviousFile) {
                    tracks.back().index0File = previousName;
                    tracks.back().index0Type = previousType;
                    tracks.back().index0FileLine = previousLine;
                }
                tracks.back().type = type;
                tracks.back().fileLine = fileLine;
                tracks.back().index0InPreviousFile =
                    tracks.back().index0InPreviousFile || haveIndex0;
            }
        } else if (w[0] == "TRACK") {
            const long number = w.size() > 1 ? Number(w[1]) : -1;
            if (number < 1 || number > 99) {
                error = where + ": a track number must be from 1 to 99";
                return false;
            }
            static const char* const kModes[] = {"AUDIO",      "MODE1/2048", "MODE1/2352",
                                                 "MODE2/2336", "MODE2/2048", "MODE2/2342",
                                                 "MODE2/2332", "MODE2/2352"};
            const bool knownMode = w.size() == 3 && std::find(std::begin(kModes), std::end(kModes),
                                                              w[2]) != std::end(kModes);
            // Any other word is the mode of a data track (some rippers write a
            // placeholder for a data track they did not read): it is listed as one.
            // "audio" in the wrong case is not taken for data.
            if (!knownMode && (w.size() != 3 || EqualsNoCase(w[2], "AUDIO"))) {
                error = where +
                        " does not give a track mode this reader knows (AUDIO, MODE1/2048, "
                        "MODE1/2352, MODE2/2336, MODE2/2352 ...)";
                return false;
            }
            if (fileLine == 0) {
                error = where + ": a TRACK before any FILE";
                return false;
            }
            CueTrackLines track;
            track.line = static_cast<int>(i + 1);
            track.number = static_cast<int>(number);
            track.type = type;
            track.fileLine = fileLine;
            track.unknownModeBytes = knownMode ? 0 : UnknownModeBytes(w[2]);
            tracks.push_back(track);
            haveIndex1 = false;
            haveIndex0 = false;
        } else if (w[0] == "INDEX") {
            const long number = w.size() > 1 ? Number(w[1]) : -1;
            if (number < 0 || number > 99 || w.size() < 3 || CueTime(w[2]) < 0) {
                error = where + " is not an INDEX from 00 to 99 with a time mm:ss:ff";
                return false;
            }
            if (number == 1) haveIndex1 = true;
            if (number == 1 && !tracks.empty()) {
                tracks.back().hasIndex1 = true;
                tracks.back().file = fileName;
            }
            if (number == 0) haveIndex0 = true;
        } else if (w[0] == "PREGAP" || w[0] == "POSTGAP") {
            const long frames = w.size() > 1 ? CueTime(w[1]) : -1;
            if (frames < 0 || tracks.empty()) {
                error = where + " is not a " + w[0] + " of a track with a time mm:ss:ff";
                return false;
            }
            (w[0] == "PREGAP" ? tracks.back().pregap : tracks.back().postgap) = frames;
        }
    }
    return true;
}

// The line libcue complains about: each line is tried alone in a sheet that is
// otherwise right. 0 when no single line is to blame.
int LineLibcueRejects(const std::vector<std::string>& lines) {
    bool inTrack = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> w = Words(lines[i]);
        if (w.empty()) continue;
        std::string text;
        if (w[0] == "TRACK") {
            text = "FILE \"x\" BINARY\n" + lines[i] + "\nINDEX 01 00:00:00\n";
            inTrack = true;
        } else if (inTrack) {
            text = "FILE \"x\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n" + lines[i] + "\n";
        } else if (w[0] == "FILE") {
            text = lines[i] + "\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
        } else {
            text = lines[i] + "\nFILE \"x\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
        }
        if (Complains(text)) return static_cast<int>(i + 1);
    }
    return 0;
}

struct SectorFormat {
    std::uint32_t bytes;  // in the file
    std::uint32_t at;     // in the 2352-byte frame
    bool audio;
};

SectorFormat FormatOf(TrackMode mode) {
    switch (mode) {
        case MODE_AUDIO:
            return {kFrameBytes, 0, true};
        case MODE_MODE1:
            return {2048, 16, false};
        case MODE_MODE2:
            return {2336, 16, false};
        case MODE_MODE2_FORM1:
            return {2048, 24, false};
        case MODE_MODE2_FORM2:
            return {2342, 10, false};
        case MODE_MODE2_FORM_MIX:
            return {2332, 20, false};
        case MODE_MODE1_RAW:
        case MODE_MODE2_RAW:
        default:
            return {kFrameBytes, 0, false};
    }
}

// One TRACK as libcue and the line pass give it.
struct CueTrack {
    CueTrackLines lines;
    std::string file;
    SectorFormat format{};
    long index0 = -1, index1 = -1;
    int preEmphasis = 0, copyPermitted = 0, fourChannel = 0;
    std::string title, performer, songwriter, isrc;
};

std::string Text(const char* text) {
    return text ? std::string(text) : std::string();
}

// The file laid out last: the source its bytes come from, and its line in the sheet.
struct PlacedFile {
    int source = -1;
    int line = 0;
};

// Where byte `offset` of source `src` lies on the disc; `fallback` when no piece holds
// it. An offset at the very end of the source lies just after its last piece.
std::uint64_t DiscByteOf(const ImageLayout& layout, int src, std::uint64_t offset,
                         std::uint64_t fallback) {
    std::uint64_t atEnd = fallback;
    for (const ImagePiece& p : layout.pieces) {
        if (p.source != src || src < 0 || offset < p.offset) continue;
        const std::uint64_t frames = p.bytes / kFrameBytes;
        const std::uint64_t stride = p.sectorBytes == 0 ? 1 : p.sectorStride;
        const std::uint64_t span = p.sectorBytes == 0 ? p.bytes : frames * stride;
        if (offset - p.offset < span)
            return p.sectorBytes == 0 ? p.discByte + (offset - p.offset)
                                      : p.discByte + (offset - p.offset) / stride * kFrameBytes;
        if (offset - p.offset == span) atEnd = p.discByte + p.bytes;
    }
    return atEnd;
}

// Opens a file the sheet names, as its type (or its extension) says.
std::shared_ptr<ImageSource> OpenCueFile(const std::string& cuePath, const std::string& name,
                                         FileType& type, const std::string& where,
                                         std::string& error) {
    const std::string path = BesideImage(cuePath, name);
    const std::string ext = LowerExtension(path);
    if (ext == "wav" || ext == "flac" || ext == "aif" || ext == "aiff") type = FileType::Sound;
    if (type == FileType::Mp3) {
        error = where + " is an MP3 file, which cannot hold a disc's exact audio";
        return nullptr;
    }
    std::string why;
    auto source = type == FileType::Sound ? OpenSoundSource(path, why) : OpenRawSource(path, why);
    if (!source) error = where + ": " + why;
    return source;
}

// A file that holds nothing but the pregap of the track after it (its INDEX 00, with
// the INDEX 01 in the next file), as for audio hidden before track 1: laid out whole.
bool LayOutPregapFile(const std::string& cuePath, const CueTrackLines& track, PlacedFile& previous,
                      ImageLayout& layout, std::string& error) {
    FileType type = track.index0Type;
    const std::string where = "the file " + Quoted(track.index0File) + " (line " +
                              std::to_string(track.index0FileLine) + ")";
    auto source = OpenCueFile(cuePath, track.index0File, type, where, error);
    if (!source) return false;
    if (type != FileType::Sound && source->Size() % kFrameBytes != 0) {
        error = where + " is not a whole number of " + std::to_string(kFrameBytes) +
                "-byte frames (" + std::to_string(source->Size()) + " bytes)";
        return false;
    }
    previous.source = layout.AddSource(source);
    previous.line = track.index0FileLine;
    layout.AddBytes(previous.source, 0, source->Size() / 4 * 4, type == FileType::Motorola);
    layout.PadToFrame();
    return true;
}

// Lays out the tracks [first, last) that share one file.
bool LayOutFile(const std::string& cuePath, const std::vector<CueTrack>& tracks, std::size_t first,
                std::size_t last, PlacedFile& previous, ImageLayout& layout, std::string& error) {
    const CueTrack& head = tracks[first];
    const std::string where =
        "the file " + Quoted(head.file) + " (line " + std::to_string(head.lines.fileLine) + ")";
    FileType type = head.lines.type;
    auto source = OpenCueFile(cuePath, head.file, type, where, error);
    if (!source) return false;
    if (type == FileType::Sound) {
        for (std::size_t t = first; t < last; ++t) {
            if (!tracks[t].format.audio) {
                error = "track " + std::to_string(tracks[t].lines.number) +
                        " is a data track, which a sound file cannot hold (" + where + ")";
                return false;
            }
        }
    }
    const int src = layout.AddSource(source);
    const bool swap = type == FileType::Motorola;
    const std::uint64_t size = source->Size();

    // Each track's run starts at its first index; what lies before the first track's
    // first index belongs to the previous track (or, in the disc's first file, comes
    // before track 1).
    auto firstIndex = [&](std::size_t t) {
        const CueTrack& c = tracks[t];
        const bool here = c.index0 >= 0 && c.index0 <= c.index1 && !c.lines.index0InPreviousFile;
        return here ? c.index0 : c.index1;
    };
    std::uint64_t byte = 0;  // in the file
    long frame = 0;          // in the file, in sectors
    auto emit = [&](const SectorFormat& format, long frames) -> bool {
        const std::uint64_t bytes = std::uint64_t(frames) * format.bytes;
        if (byte + bytes > size) return false;
        if (format.bytes == kFrameBytes)
            layout.AddBytes(src, byte, bytes, swap && format.audio);
        else
            layout.AddSectors(src, byte, std::uint64_t(frames),
                              std::min<std::uint32_t>(format.bytes, kFrameBytes), format.bytes,
                              format.at);
        byte += bytes;
        frame += frames;
        return true;
    };
    auto pastEnd = [&](std::size_t t) {
        error =
            "track " + std::to_string(tracks[t].lines.number) + " starts past the end of " + where;
        return false;
    };
    if (!emit(head.format, firstIndex(first))) return pastEnd(first);
    for (std::size_t t = first; t < last; ++t) {
        const CueTrack& c = tracks[t];
        const long begin = firstIndex(t);
        if (begin < frame) {
            error = "track " + std::to_string(c.lines.number) + " (line " +
                    std::to_string(c.lines.line) + ") starts before the track ahead of it ends";
            return false;
        }
        LayoutTrack track;
        track.number = static_cast<std::uint8_t>(c.lines.number);
        track.data = !c.format.audio;
        track.ownFile = t == first && begin == 0;
        track.preEmphasis = c.preEmphasis;
        track.copyPermitted = c.copyPermitted;
        track.fourChannel = c.fourChannel;
        track.isrc = c.isrc;
        track.title = c.title;
        track.performer = c.performer;
        track.songwriter = c.songwriter;
        track.firstPiece = layout.pieces.size();
        track.beginByte = layout.End();
        // An INDEX 00 in the previous file: the pregap is that file's tail.
        if (c.lines.index0InPreviousFile && c.index0 >= 0) {
            const std::uint64_t pregapByte = DiscByteOf(
                layout, previous.source, std::uint64_t(c.index0) * kFrameBytes, track.beginByte);
            if (pregapByte < track.beginByte) track.beginByte = pregapByte;
        }
        layout.AddZeros(std::uint64_t(c.lines.pregap) * kFrameBytes);
        track.startByte = layout.End() + std::uint64_t(c.index1 - begin) * kFrameBytes;
        layout.tracks.push_back(track);
        if (t + 1 < last) {
            const long next = firstIndex(t + 1);
            if (next < begin) {
                error = "track " + std::to_string(tracks[t + 1].lines.number) + " (line " +
                        std::to_string(tracks[t + 1].lines.line) +
                        ") starts before the track ahead of it";
                return false;
            }
            if (!emit(c.format, next - frame)) return pastEnd(t + 1);
        } else {
            // The last track runs to the end of the file.
            const std::uint64_t rest = size - byte;
            const std::uint64_t available = type == FileType::Sound
                                                ? (rest + c.format.bytes - 1) / c.format.bytes
                                                : rest / c.format.bytes;
            if (rest % c.format.bytes != 0 && type != FileType::Sound) {
                error = where + " is not a whole number of " + std::to_string(c.format.bytes) +
                        "-byte frames (" + std::to_string(size) + " bytes)";
                return false;
            }
            if (std::uint64_t(c.index1 - frame) >= available) return pastEnd(t);
            if (c.format.bytes == kFrameBytes) {
                layout.AddBytes(src, byte, rest, swap && c.format.audio);
                layout.PadToFrame();  // a sound file need not end on a whole frame
            } else {
                emit(c.format, static_cast<long>(rest / c.format.bytes));
            }
        }
        layout.AddZeros(std::uint64_t(c.lines.postgap) * kFrameBytes);
    }
    previous.source = src;
    previous.line = head.lines.fileLine;
    return true;
}

}  // namespace

bool ReadCueSheet(const std::string& path, ImageLayout& layout, std::string& error) {
    std::string text;
    if (!ReadSmallTextFile(path, kMaxCueBytes, text, error)) {
        if (error.compare(0, path.size(), path) == 0) error.replace(0, path.size(), "the file");
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        error = "it is written in UTF-16; only UTF-8 or 8-bit text cue sheets are read";
        return false;
    }
    std::vector<std::string> lines;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        at = end + 1;
    }
    std::vector<CueTrackLines> scanned;
    if (!ScanLines(lines, scanned, layout.catalog, error)) return false;
    if (scanned.empty()) {
        error = "it lists no TRACK";
        return false;
    }
    for (const CueTrackLines& t : scanned) {
        if (!t.hasIndex1) {
            error = "track " + std::to_string(t.number) + " (line " + std::to_string(t.line) +
                    ") has no INDEX 01";
            return false;
        }
    }

    std::vector<CueTrack> tracks;
    {
        std::lock_guard<std::mutex> guard(LibcueMutex());
        // libcue reads a data track of a mode it does not know as one of a mode it does
        // (the line pass has the real one), and wants every line ended, the last too.
        std::vector<std::string> libcueLines = lines;
        for (const CueTrackLines& t : scanned) {
            if (t.unknownModeBytes != 0)
                libcueLines[static_cast<std::size_t>(t.line - 1)] =
                    "TRACK " + std::to_string(t.number) + " MODE1/2352";
        }
        std::string clean;
        for (const std::string& line : libcueLines) clean += line + "\n";
        bool complained = false;
        Cd* cd = ParseQuietly(clean, complained);
        if (!cd || complained) {
            if (cd) cd_delete(cd);
            const int line = LineLibcueRejects(libcueLines);
            error = line > 0 ? "line " + std::to_string(line) + " is not one libcue can read: " +
                                   Quoted(lines[static_cast<std::size_t>(line - 1)])
                             : "libcue cannot read it as a cue sheet";
            return false;
        }
        const int count = cd_get_ntrack(cd);
        if (count != static_cast<int>(scanned.size())) {
            cd_delete(cd);
            error = "libcue finds " + std::to_string(count) + " tracks in it, not " +
                    std::to_string(scanned.size());
            return false;
        }
        layout.title = CdText(PTI_TITLE, cd_get_cdtext(cd));
        layout.performer = CdText(PTI_PERFORMER, cd_get_cdtext(cd));
        layout.songwriter = CdText(PTI_SONGWRITER, cd_get_cdtext(cd));
        for (int i = 1; i <= count; ++i) {
            Track* track = cd_get_track(cd, i);
            CueTrack c;
            c.lines = scanned[static_cast<std::size_t>(i - 1)];
            if (track) {
                c.file = c.lines.file.empty() ? Text(track_get_filename(track)) : c.lines.file;
                c.format = c.lines.unknownModeBytes != 0
                               ? SectorFormat{c.lines.unknownModeBytes, 0, false}
                               : FormatOf(track_get_mode(track));
                c.index0 = track_get_index(track, 0);
                c.index1 = track_get_index(track, 1);
                c.preEmphasis = track_is_set_flag(track, FLAG_PRE_EMPHASIS) ? 1 : 0;
                c.copyPermitted = track_is_set_flag(track, FLAG_COPY_PERMITTED) ? 1 : 0;
                c.fourChannel = track_is_set_flag(track, FLAG_FOUR_CHANNEL) ? 1 : 0;
                c.isrc = Text(track_get_isrc(track));
                c.title = CdText(PTI_TITLE, track_get_cdtext(track));
                c.performer = CdText(PTI_PERFORMER, track_get_cdtext(track));
                c.songwriter = CdText(PTI_SONGWRITER, track_get_cdtext(track));
            }
            tracks.push_back(std::move(c));
        }
        cd_delete(cd);
    }

    for (const CueTrack& c : tracks) {
        const std::string where = "track " + std::to_string(c.lines.number) + " (line " +
                                  std::to_string(c.lines.line) + ")";
        if (c.file.empty()) {
            error = where + " has no FILE";
            return false;
        }
        if (c.index1 < 0) {
            error = where + " has no INDEX 01";
            return false;
        }
    }
    PlacedFile previous;
    for (std::size_t first = 0; first < tracks.size();) {
        std::size_t last = first + 1;
        while (last < tracks.size() && tracks[last].file == tracks[first].file &&
               tracks[last].lines.fileLine == tracks[first].lines.fileLine)
            ++last;
        // An INDEX 00 in a file no track's INDEX 01 lies in: that file comes first.
        const CueTrackLines& head = tracks[first].lines;
        if (head.index0InPreviousFile && !head.index0File.empty() &&
            head.index0FileLine != previous.line &&
            !LayOutPregapFile(path, head, previous, layout, error))
            return false;
        if (!LayOutFile(path, tracks, first, last, previous, layout, error)) return false;
        first = last;
    }
    return true;
}

}  // namespace cdaccess
