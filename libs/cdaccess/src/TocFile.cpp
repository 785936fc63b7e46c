// .toc files (the disc description cdrdao writes and reads), read by a parser of our
// own and served from the files they name.
//
// A .toc is a header (CD_DA / CD_ROM / CD_ROM_XA, CATALOG, a disc CD_TEXT block) and a
// list of TRACK entries. Each track is the concatenation of its SILENCE, ZERO, FILE
// (AUDIOFILE) and DATAFILE statements, in order; START marks its index 01 within
// that (the part before is the pregap), PREGAP adds silence and marks START after it.
// So each track starts on the disc's timeline at its index 01, silence and pregaps
// included, and the lead-out follows the last frame of the last track.
//
// Units: in an audio track a plain number is a count of stereo samples (4 bytes) and
// mm:ss:ff a count of frames; in a data track a number is a count of bytes and mm:ss:ff
// a count of sectors of the track's mode. "#n" before a FILE's start is a byte offset
// into the file. Raw audio files are big-endian (the format's default); .wav (and
// .flac) files are decoded to CD audio; DATAFILE bytes in an audio track are taken as
// the disc holds them (little-endian).
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ImageLayout.h"
#include "cdaccess/CdAccess.h"

namespace cdaccess {
namespace {

constexpr std::size_t kMaxTocBytes = 1 << 20;
// Longer numbers are refused, so that no count of samples, bytes or frames can
// overflow once it is turned into bytes.
constexpr std::size_t kMaxDigits = 12;

struct Token {
    enum Kind { End, Word, Number, Msf, Offset, String, Symbol } kind = End;
    std::string text;         // a word, the string's bytes, or the symbol
    std::uint64_t value = 0;  // Number, Offset; Msf in frames
    int line = 0;
};

// The text as tokens; false with the reason on a character that cannot start one.
bool Tokenize(const std::string& text, std::vector<Token>& out, std::string& error) {
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto digits = [&](std::size_t& at, std::uint64_t& value) {
        const std::size_t from = at;
        value = 0;
        while (at < n && text[at] >= '0' && text[at] <= '9') {
            if (at - from < kMaxDigits) value = value * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
        }
        return at - from > 0 && at - from <= kMaxDigits;
    };
    while (i < n) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i < n && text[i] != '\n') ++i;
        } else if (c == '"') {
            Token t{Token::String, {}, 0, line};
            ++i;
            bool closed = false;
            while (i < n) {
                char d = text[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\n') break;
                if (d == '\\' && i < n) {
                    d = text[i++];
                    if (d >= '0' && d <= '7') {
                        int value = d - '0';
                        for (int k = 0; k < 2 && i < n && text[i] >= '0' && text[i] <= '7'; ++k)
                            value = value * 8 + (text[i++] - '0');
                        d = static_cast<char>(value & 0xFF);
                    } else if (d == 'n') {
                        d = '\n';
                    } else if (d == 't') {
                        d = '\t';
                    }
                }
                t.text += d;
            }
            if (!closed) {
                error = "line " + std::to_string(line) + ": a string is not closed";
                return false;
            }
            out.push_back(std::move(t));
        } else if (c >= '0' && c <= '9') {
            Token t{Token::Number, {}, 0, line};
            std::uint64_t a = 0, b = 0, f = 0;
            std::size_t at = i;
            if (!digits(at, a)) {
                error = "line " + std::to_string(line) + ": a number is too long";
                return false;
            }
            if (at + 1 < n && text[at] == ':' && text[at + 1] >= '0' && text[at + 1] <= '9') {
                ++at;
                if (!digits(at, b) || at >= n || text[at] != ':') {
                    error = "line " + std::to_string(line) + ": a time is not mm:ss:ff";
                    return false;
                }
                ++at;
                if (!digits(at, f) || b >= 60 || f >= 75 || a > 999) {
                    error = "line " + std::to_string(line) + ": a time is not mm:ss:ff";
                    return false;
                }
                t.kind = Token::Msf;
                t.value = (a * 60 + b) * kFramesPerSecond + f;
            } else {
                t.value = a;
            }
            t.text = text.substr(i, at - i);
            i = at;
            out.push_back(std::move(t));
        } else if (c == '#') {
            Token t{Token::Offset, {}, 0, line};
            std::size_t at = i + 1;
            if (!digits(at, t.value)) {
                error = "line " + std::to_string(line) + ": '#' is not followed by a byte offset";
                return false;
            }
            t.text = text.substr(i, at - i);
            i = at;
            out.push_back(std::move(t));
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') {
            std::size_t at = i;
            while (at < n &&
                   ((text[at] >= 'A' && text[at] <= 'Z') || (text[at] >= 'a' && text[at] <= 'z') ||
                    (text[at] >= '0' && text[at] <= '9') || text[at] == '_'))
                ++at;
            out.push_back(Token{Token::Word, text.substr(i, at - i), 0, line});
            i = at;
        } else if (c == '{' || c == '}' || c == ':' || c == ',') {
            out.push_back(Token{Token::Symbol, std::string(1, c), 0, line});
            ++i;
        } else {
            error = "line " + std::to_string(line) + ": unexpected character";
            if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F)
                error += std::string(" '") + c + "'";
            return false;
        }
    }
    out.push_back(Token{Token::End, {}, 0, line});
    return true;
}

// CD-TEXT strings in a .toc are Latin-1; the program's texts are UTF-8.
std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct TrackMode {
    const char* name;
    bool audio;
    std::uint32_t sectorBytes;  // in a file
    std::uint32_t at;           // in the 2352-byte frame
};

constexpr TrackMode kModes[] = {
    {"AUDIO", true, kFrameBytes, 0},      {"MODE1", false, 2048, 16},
    {"MODE1_RAW", false, kFrameBytes, 0}, {"MODE2", false, 2336, 16},
    {"MODE2_RAW", false, kFrameBytes, 0}, {"MODE2_FORM1", false, 2048, 24},
    {"MODE2_FORM2", false, 2324, 24},     {"MODE2_FORM_MIX", false, 2336, 16},
};

class TocParser {
  public:
    TocParser(const std::string& path, std::vector<Token> tokens, ImageLayout& layout)
        : path_(path), tokens_(std::move(tokens)), layout_(layout) {}

    bool Parse(std::string& error) {
        if (!Header()) return Fail(error);
        while (Peek().kind != Token::End) {
            if (!IsWord("TRACK")) return Expected("TRACK", error);
            if (!Track()) return Fail(error);
        }
        if (!EndTrack()) return Fail(error);
        return true;
    }

  private:
    const Token& Peek(std::size_t ahead = 0) const {
        return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
    }
    const Token& Next() {
        const Token& t = Peek();
        if (at_ < tokens_.size() - 1) ++at_;
        return t;
    }
    bool IsWord(const char* word, std::size_t ahead = 0) const {
        return Peek(ahead).kind == Token::Word && Peek(ahead).text == word;
    }
    bool IsSymbol(char c) const { return Peek().kind == Token::Symbol && Peek().text[0] == c; }
    bool Problem(const std::string& what, int line = 0) {
        problem_ = "line " + std::to_string(line ? line : Peek().line) + ": " + what;
        return false;
    }
    bool Fail(std::string& error) {
        error =
            problem_.empty() ? "line " + std::to_string(Peek().line) + " cannot be read" : problem_;
        return false;
    }
    bool Expected(const std::string& what, std::string& error) {
        Problem("expected " + what + DescribeNext());
        return Fail(error);
    }
    std::string DescribeNext() const {
        const Token& t = Peek();
        switch (t.kind) {
            case Token::End:
                return ", found the end of the file";
            case Token::String:
                return ", found a string";
            default:
                return ", found \"" + t.text + "\"";
        }
    }
    bool Need(const std::string& what) { return Problem("expected " + what + DescribeNext()); }

    bool Header() {
        for (;;) {
            if (IsWord("CD_DA") || IsWord("CD_ROM") || IsWord("CD_ROM_XA")) {
                Next();
            } else if (IsWord("CATALOG")) {
                Next();
                if (Peek().kind != Token::String) return Need("the catalog number in quotes");
                layout_.catalog = Next().text;
            } else if (IsWord("CD_TEXT")) {
                Next();
                if (!CdText(layout_.title, layout_.performer, layout_.songwriter, true))
                    return false;
            } else {
                return true;
            }
        }
    }

    // CD_TEXT { [LANGUAGE_MAP { n : code ... }] LANGUAGE n { ITEM value ... } ... }
    // TITLE, PERFORMER and SONGWRITER are kept from the language the disc's map calls
    // English (code 9 or EN), else from the first language.
    bool CdText(std::string& title, std::string& performer, std::string& songwriter, bool disc) {
        if (!IsSymbol('{')) return Need("'{' after CD_TEXT");
        Next();
        bool first = true, keptEnglish = false;
        while (!IsSymbol('}')) {
            if (IsWord("LANGUAGE_MAP")) {
                if (!disc) return Problem("a LANGUAGE_MAP belongs in the disc's CD_TEXT");
                Next();
                if (!IsSymbol('{')) return Need("'{' after LANGUAGE_MAP");
                Next();
                while (!IsSymbol('}')) {
                    if (Peek().kind != Token::Number) return Need("a language number");
                    const auto number = static_cast<int>(Next().value);
                    if (!IsSymbol(':')) return Need("':' in the language map");
                    Next();
                    if (Peek().kind != Token::Word && Peek().kind != Token::Number)
                        return Need("a country code");
                    const Token& code = Next();
                    const bool english =
                        code.kind == Token::Number ? code.value == 9 : code.text == "EN";
                    if (english && englishLanguage_ < 0) englishLanguage_ = number;
                }
                Next();
            } else if (IsWord("LANGUAGE")) {
                Next();
                if (Peek().kind != Token::Number) return Need("a language number");
                const auto number = static_cast<int>(Next().value);
                // Kept: the English block; the first block until an English one comes.
                const bool keep = number == englishLanguage_ || (first && !keptEnglish);
                keptEnglish = keptEnglish || number == englishLanguage_;
                if (!IsSymbol('{')) return Need("'{' after LANGUAGE n");
                Next();
                while (!IsSymbol('}')) {
                    if (Peek().kind != Token::Word) return Need("a CD-TEXT item");
                    const std::string item = Next().text;
                    bool any = false;
                    while (Peek().kind == Token::String || IsSymbol('{')) {
                        any = true;
                        if (Peek().kind == Token::String) {
                            const std::string value = Latin1ToUtf8(Next().text);
                            if (keep && item == "TITLE") title = value;
                            if (keep && item == "PERFORMER") performer = value;
                            if (keep && item == "SONGWRITER") songwriter = value;
                        } else if (!BinaryList()) {
                            return false;
                        }
                    }
                    if (!any) return Need("a string or a { ... } list after " + item);
                }
                Next();
                first = false;
            } else {
                return Need("LANGUAGE_MAP or LANGUAGE in CD_TEXT");
            }
        }
        Next();
        return true;
    }

    // { n, n, ... } with each n from 0 to 255.
    bool BinaryList() {
        Next();  // '{'
        while (!IsSymbol('}')) {
            if (Peek().kind != Token::Number || Peek().value > 255)
                return Need("a number from 0 to 255");
            Next();
            if (IsSymbol(',')) Next();
        }
        Next();
        return true;
    }

    // A length or position: `unit` bytes per plain number, `frameBytes` per mm:ss:ff.
    bool Amount(std::uint64_t unit, std::uint64_t frameBytes, std::uint64_t& bytes,
                const char* what) {
        const Token& t = Peek();
        if (t.kind == Token::Number) {
            bytes = t.value * unit;
        } else if (t.kind == Token::Msf) {
            bytes = t.value * frameBytes;
        } else {
            return Need(what);
        }
        Next();
        return true;
    }
    bool IsAmount() const { return Peek().kind == Token::Number || Peek().kind == Token::Msf; }

    // Closes the track being read: its start, its pad to a whole frame.
    bool EndTrack() {
        if (!inTrack_) return true;
        inTrack_ = false;
        const std::uint64_t length = layout_.End() - track_.beginByte;
        if (length == 0)
            return Problem("track " + std::to_string(track_.number) + " holds no data", trackLine_);
        layout_.PadToFrame();
        if (!haveStart_) start_ = 0;
        track_.startByte = track_.beginByte + start_;
        if (track_.startByte >= layout_.End())
            return Problem(
                "the START of track " + std::to_string(track_.number) + " is not before its end",
                startLine_);
        layout_.tracks.push_back(track_);
        return true;
    }

    bool Track() {
        if (!EndTrack()) return false;
        trackLine_ = Next().line;  // TRACK
        if (Peek().kind != Token::Word) return Need("a track mode");
        mode_ = nullptr;
        for (const TrackMode& m : kModes)
            if (Peek().text == m.name) mode_ = &m;
        if (!mode_) return Need("a track mode (AUDIO, MODE1, MODE1_RAW, MODE2, ...)");
        Next();
        std::uint32_t sub = 0;
        if (IsWord("RW") || IsWord("RW_RAW")) {
            Next();
            sub = 96;
        }
        stride_ = mode_->sectorBytes + sub;
        if (layout_.tracks.size() >= 99) return Problem("more than 99 tracks", trackLine_);
        track_ = LayoutTrack{};
        track_.number = static_cast<std::uint8_t>(layout_.tracks.size() + 1);
        track_.data = !mode_->audio;
        track_.ownFile = false;
        trackHasFile_ = false;
        track_.preEmphasis = 0;
        track_.copyPermitted = 0;
        track_.fourChannel = 0;
        track_.firstPiece = layout_.pieces.size();
        track_.beginByte = layout_.End();
        haveStart_ = false;
        start_ = 0;
        inTrack_ = true;

        const std::uint64_t sampleUnit = mode_->audio ? 4 : 1;
        const std::uint64_t frameUnit = mode_->audio ? kFrameBytes : mode_->sectorBytes;
        for (;;) {
            const Token& t = Peek();
            if (t.kind != Token::Word || t.text == "TRACK") return true;
            const int line = t.line;
            const std::string word = Next().text;
            if (word == "NO") {
                if (IsWord("COPY"))
                    track_.copyPermitted = 0;
                else if (IsWord("PRE_EMPHASIS"))
                    track_.preEmphasis = 0;
                else
                    return Need("COPY or PRE_EMPHASIS after NO");
                Next();
            } else if (word == "COPY") {
                track_.copyPermitted = 1;
            } else if (word == "PRE_EMPHASIS") {
                track_.preEmphasis = 1;
            } else if (word == "TWO_CHANNEL_AUDIO" || word == "FOUR_CHANNEL_AUDIO") {
                track_.fourChannel = word == "FOUR_CHANNEL_AUDIO" ? 1 : 0;
            } else if (word == "ISRC") {
                if (Peek().kind != Token::String) return Need("the ISRC in quotes");
                track_.isrc = Next().text;
            } else if (word == "CD_TEXT") {
                if (!CdText(track_.title, track_.performer, track_.songwriter, false)) return false;
            } else if (word == "SILENCE" || word == "ZERO") {
                if (word == "ZERO") {
                    // An optional data mode and sub-channel mode come before the length.
                    while (Peek().kind == Token::Word && !IsWord("TRACK") && !IsAmount()) {
                        bool known = IsWord("RW") || IsWord("RW_RAW");
                        for (const TrackMode& m : kModes) known = known || Peek().text == m.name;
                        if (!known) break;
                        Next();
                    }
                }
                std::uint64_t bytes = 0;
                if (!Amount(sampleUnit, frameUnit, bytes, "a length")) return false;
                if (!AddZeros(bytes)) return Problem("the track is too long", line);
            } else if (word == "FILE" || word == "AUDIOFILE") {
                if (!AudioFile(line)) return false;
            } else if (word == "DATAFILE") {
                if (!DataFile(line)) return false;
            } else if (word == "FIFO") {
                return Problem("FIFO input cannot be part of a disc image", line);
            } else if (word == "START") {
                if (haveStart_) return Problem("a second START or PREGAP in one track", line);
                haveStart_ = true;
                startLine_ = line;
                if (Peek().kind == Token::Msf) {
                    start_ = Next().value * kFrameBytes;
                } else {
                    const std::uint64_t length = layout_.End() - track_.beginByte;
                    start_ = (length + kFrameBytes - 1) / kFrameBytes * kFrameBytes;
                }
            } else if (word == "PREGAP") {
                if (haveStart_) return Problem("a second START or PREGAP in one track", line);
                if (Peek().kind != Token::Msf) return Need("a pregap as mm:ss:ff");
                const std::uint64_t frames = Next().value;
                if (layout_.End() != track_.beginByte)
                    return Problem("PREGAP must come before the track's data", line);
                layout_.AddZeros(frames * kFrameBytes);  // whole frames in any mode
                haveStart_ = true;
                startLine_ = line;
                start_ = frames * kFrameBytes;
            } else if (word == "INDEX") {
                if (Peek().kind != Token::Msf) return Need("an index position as mm:ss:ff");
                Next();
            } else {
                return Problem("\"" + word + "\" is not a track statement", line);
            }
        }
    }

    bool AddZeros(std::uint64_t bytes) {
        if (bytes > kFrameBytes * 100ull * 60 * kFramesPerSecond) return false;
        if (mode_->audio) {
            layout_.AddZeros(bytes);
        } else {
            const std::uint64_t frames = (bytes + mode_->sectorBytes - 1) / mode_->sectorBytes;
            layout_.AddZeros(frames * kFrameBytes);
        }
        return true;
    }

    std::shared_ptr<ImageSource> OpenFile(const std::string& name, bool sound, int line) {
        std::string why;
        const std::string path = BesideImage(path_, name);
        auto source = sound ? OpenSoundSource(path, why) : OpenRawSource(path, why);
        if (!source) Problem("the file \"" + name + "\": " + why, line);
        // A track whose first file no earlier track takes from begins a file of its own.
        // An enhanced CD's data track in such a file follows audio that holds nothing of
        // the gap between the sessions; one read from the file the audio came from (a
        // whole disc read into one file) lies where the file puts it.
        if (!trackHasFile_) track_.ownFile = !usedFiles_.count(path);
        trackHasFile_ = true;
        usedFiles_.insert(path);
        return source;
    }

    // FILE "name" [#offset] start [length]
    bool AudioFile(int line) {
        if (!mode_->audio) return Problem("FILE adds audio, and this is a data track", line);
        if (Peek().kind != Token::String) return Need("the file name in quotes");
        const std::string name = Next().text;
        const std::string ext = LowerExtension(name);
        const bool sound = ext == "wav" || ext == "flac";
        std::uint64_t offset = 0, start = 0, length = 0;
        if (Peek().kind == Token::Offset) offset = Next().value;
        if (IsAmount()) {
            if (!Amount(4, kFrameBytes, start, "a start")) return false;
            if (IsAmount() && !Amount(4, kFrameBytes, length, "a length")) return false;
        } else if (offset == 0) {
            return Need("the start in the file");
        }
        auto source = OpenFile(name, sound, line);
        if (!source) return false;
        const std::uint64_t from = offset + start;
        if (from > source->Size())
            return Problem("the file \"" + name + "\" ends before the start given", line);
        if (length == 0) length = (source->Size() - from) / 4 * 4;
        if (length > source->Size() - from)
            return Problem("the file \"" + name + "\" holds less audio than the length given",
                           line);
        if (sound && from % 4 != 0)
            return Problem("a byte offset into \"" + name + "\" that splits a sample", line);
        if (length == 0) return Problem("no audio is taken from \"" + name + "\"", line);
        layout_.AddBytes(layout_.AddSource(source), from, length, !sound);
        return true;
    }

    // DATAFILE "name" [#offset] [length]
    bool DataFile(int line) {
        if (Peek().kind != Token::String) return Need("the file name in quotes");
        const std::string name = Next().text;
        std::uint64_t offset = 0, length = 0;
        if (Peek().kind == Token::Offset) offset = Next().value;
        const std::uint64_t unit = mode_->audio ? 4 : 1;
        const std::uint64_t frameUnit = mode_->audio ? kFrameBytes : mode_->sectorBytes;
        if (IsAmount() && !Amount(unit, frameUnit, length, "a length")) return false;
        auto source = OpenFile(name, false, line);
        if (!source) return false;
        if (offset > source->Size())
            return Problem("the file \"" + name + "\" ends before the offset given", line);
        const std::uint64_t available = source->Size() - offset;
        if (length == 0) length = available;
        if (length > available)
            return Problem("the file \"" + name + "\" holds less than the length given", line);
        if (length == 0) return Problem("the file \"" + name + "\" is empty", line);
        const int src = layout_.AddSource(source);
        if (mode_->audio) {
            layout_.AddBytes(src, offset, length / 4 * 4, false);
        } else {
            if (stride_ != mode_->sectorBytes && length % stride_ != 0)
                return Problem("\"" + name + "\" is not a whole number of sectors", line);
            const std::uint64_t sectors = (length + stride_ - 1) / stride_;
            layout_.AddSectors(src, offset, sectors, mode_->sectorBytes, stride_, mode_->at);
        }
        return true;
    }

    const std::string path_;
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
    ImageLayout& layout_;
    int englishLanguage_ = -1;  // the language map's number for English, -1 none
    std::string problem_;

    bool inTrack_ = false;
    LayoutTrack track_;
    const TrackMode* mode_ = nullptr;
    std::uint32_t stride_ = kFrameBytes;
    bool haveStart_ = false;
    std::uint64_t start_ = 0;
    int trackLine_ = 0, startLine_ = 0;
    bool trackHasFile_ = false;
    std::set<std::string> usedFiles_;  // as resolved beside the .toc
};

}  // namespace

bool ReadTocFile(const std::string& path, ImageLayout& layout, std::string& error) {
    std::string text;
    if (!ReadSmallTextFile(path, kMaxTocBytes, text, error)) {
        if (error.compare(0, path.size(), path) == 0) error.replace(0, path.size(), "the file");
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::vector<Token> tokens;
    if (!Tokenize(text, tokens, error)) return false;
    TocParser parser(path, std::move(tokens), layout);
    return parser.Parse(error);
}

}  // namespace cdaccess
