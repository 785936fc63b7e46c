// The timeline of an image's pieces, the files they come from, and the drive that
// serves it.
#include "ImageLayout.h"

#include <sndfile.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cdaccess/CdAccess.h"

namespace cdaccess {
namespace {

// The longest disc a table of contents can address (99:59:74).
constexpr std::uint64_t kMaxDiscFrames = 100ull * 60 * kFramesPerSecond;

class RawSource : public ImageSource {
  public:
    RawSource(std::FILE* file, std::uint64_t size) : file_(file), size_(size) {}
    ~RawSource() override { std::fclose(file_); }
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::size_t bytes, unsigned char* out) override {
        if (offset > size_ || bytes > size_ - offset) return false;
        if (bytes == 0) return true;
#ifdef _WIN32
        if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return false;
        return std::fread(out, 1, bytes, file_) == bytes;
#else
        // One positioned read per request (the stream's own buffer and position are
        // never used): no seek before every read of a rip.
        const int fd = ::fileno(file_);
        while (bytes > 0) {
            const ssize_t got = ::pread(fd, out, bytes, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            out += got;
            offset += static_cast<std::uint64_t>(got);
            bytes -= static_cast<std::size_t>(got);
        }
        return true;
#endif
    }

  private:
    std::FILE* file_;
    const std::uint64_t size_;
};

// Decoded through libsndfile, one stereo sample (4 bytes) at a time at least. The
// decoder's position is remembered so a rip's consecutive reads never seek. A file
// cut short is as long as its header says; the samples it lacks cannot be read.
class SoundSource : public ImageSource {
  public:
    SoundSource(SNDFILE* file, std::uint64_t samples, std::uint64_t declaredSamples)
        : file_(file), samples_(samples), size_(std::max(samples, declaredSamples) * 4) {}
    ~SoundSource() override { sf_close(file_); }
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::size_t bytes, unsigned char* out) override {
        if (offset > Size() || bytes > Size() - offset) return false;
        if (bytes == 0) return true;
        const std::uint64_t first = offset / 4;
        const std::uint64_t last = (offset + bytes + 3) / 4;
        if (last > samples_) return false;
        const std::size_t count = static_cast<std::size_t>(last - first);
        if (first != position_) {
            if (sf_seek(file_, static_cast<sf_count_t>(first), SEEK_SET) < 0) return false;
            position_ = first;
        }
        samples16_.resize(count * 2);
        const sf_count_t got =
            sf_readf_short(file_, samples16_.data(), static_cast<sf_count_t>(count));
        if (got != static_cast<sf_count_t>(count)) {
            position_ = ~std::uint64_t{0};  // unknown: seek next time
            return false;
        }
        position_ += count;
        bytes_.resize(count * 4);
        for (std::size_t i = 0; i < count * 2; ++i) {
            const auto u = static_cast<std::uint16_t>(samples16_[i]);
            bytes_[2 * i] = static_cast<unsigned char>(u & 0xFF);
            bytes_[2 * i + 1] = static_cast<unsigned char>(u >> 8);
        }
        std::memcpy(out, bytes_.data() + (offset - first * 4), bytes);
        return true;
    }

  private:
    SNDFILE* file_;
    const std::uint64_t samples_;  // what the file holds
    const std::uint64_t size_;
    std::uint64_t position_ = 0;
    std::vector<short> samples16_;
    std::vector<unsigned char> bytes_;
};

std::string SoundFormatText(const SF_INFO& info) {
    const char* bits = "an unusual sample format";
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            bits = "8-bit";
            break;
        case SF_FORMAT_PCM_16:
            bits = "16-bit";
            break;
        case SF_FORMAT_PCM_24:
            bits = "24-bit";
            break;
        case SF_FORMAT_PCM_32:
            bits = "32-bit";
            break;
        case SF_FORMAT_FLOAT:
            bits = "32-bit float";
            break;
        case SF_FORMAT_DOUBLE:
            bits = "64-bit float";
            break;
        default:
            break;
    }
    return std::string(bits) + ", " + std::to_string(info.samplerate) + " Hz, " +
           std::to_string(info.channels) + (info.channels == 1 ? " channel" : " channels");
}

// What libsndfile does not say of a WAV file. 0s when the file is no RIFF/WAVE file.
struct WavHeader {
    // The stereo 16-bit samples its data chunk declares: libsndfile reads a file cut
    // short as a shorter one, but the part missing is missing audio. 0 when the size
    // says nothing (0, or the 0xFFFFFFFF of a writer that streamed).
    std::uint64_t declaredSamples = 0;
    // The format's block align, which libsndfile does not honour: it reads samples
    // packed whatever the blocks are.
    std::uint16_t blockAlign = 0;
};

WavHeader ReadWavHeader(const std::string& path) {
    WavHeader header;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return header;
    unsigned char head[16];
    auto le32 = [](const unsigned char* p) {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    };
    if (std::fread(head, 1, 12, file) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WAVE", 4) == 0) {
        // Chunks follow one another, each padded to an even size; a few hundred at most
        // come before the audio.
        for (int chunk = 0; chunk < 1000 && std::fread(head, 1, 8, file) == 8; ++chunk) {
            std::uint32_t size = le32(head + 4);
            if (std::memcmp(head, "data", 4) == 0) {
                if (size != 0xFFFFFFFFu) header.declaredSamples = size / 4;
                break;
            }
            if (std::memcmp(head, "fmt ", 4) == 0 && size >= 16) {
                if (std::fread(head, 1, 16, file) != 16) break;
                header.blockAlign = static_cast<std::uint16_t>(head[12] | head[13] << 8);
                size -= 16;
            }
            const long long skip = static_cast<long long>(size) + (size & 1);
#ifdef _WIN32
            if (_fseeki64(file, skip, SEEK_CUR) != 0) break;
#else
            if (::fseeko(file, static_cast<off_t>(skip), SEEK_CUR) != 0) break;
#endif
        }
    }
    std::fclose(file);
    return header;
}

bool IsRegular(const std::string& path, std::uint64_t* size, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + " is missing";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    if (size) *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

}  // namespace

std::shared_ptr<ImageSource> OpenRawSource(const std::string& path, std::string& error) {
    std::uint64_t size = 0;
    if (!IsRegular(path, &size, error)) return nullptr;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = path + " cannot be read";
        return nullptr;
    }
    return std::make_shared<RawSource>(file, size);
}

std::shared_ptr<ImageSource> OpenSoundSource(const std::string& path, std::string& error) {
    if (!IsRegular(path, nullptr, error)) return nullptr;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = path + " is not a sound file that can be read (" + sf_strerror(nullptr) + ")";
        return nullptr;
    }
    if (info.samplerate != 44100 || info.channels != 2 ||
        (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16 || info.frames < 0) {
        error = path + " is not CD audio (16-bit, 44100 Hz, 2 channels): it is " +
                SoundFormatText(info);
        sf_close(file);
        return nullptr;
    }
    WavHeader wav;
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) wav = ReadWavHeader(path);
    if (wav.blockAlign != 0 && wav.blockAlign != 4) {
        error = path + " holds its 16-bit stereo samples in blocks of " +
                std::to_string(wav.blockAlign) +
                " bytes, not 4: without the extensible format it is not known where each "
                "sample sits in its block";
        sf_close(file);
        return nullptr;
    }
    return std::make_shared<SoundSource>(file, static_cast<std::uint64_t>(info.frames),
                                         wav.declaredSamples);
}

int ImageLayout::AddSource(std::shared_ptr<ImageSource> source) {
    sources.push_back(std::move(source));
    return static_cast<int>(sources.size()) - 1;
}

void ImageLayout::AddZeros(std::uint64_t bytes) {
    if (bytes == 0) return;
    ImagePiece piece;
    piece.discByte = End();
    piece.bytes = bytes;
    pieces.push_back(piece);
}

void ImageLayout::AddBytes(int source, std::uint64_t offset, std::uint64_t bytes, bool swap) {
    if (bytes == 0) return;
    ImagePiece piece;
    piece.discByte = End();
    piece.bytes = bytes;
    piece.source = source;
    piece.offset = offset;
    piece.swap = swap;
    pieces.push_back(piece);
}

void ImageLayout::AddSectors(int source, std::uint64_t offset, std::uint64_t frames,
                             std::uint32_t sectorBytes, std::uint32_t stride, std::uint32_t at) {
    if (frames == 0) return;
    if (sectorBytes == kFrameBytes && stride == kFrameBytes) {
        AddBytes(source, offset, frames * kFrameBytes, false);
        return;
    }
    ImagePiece piece;
    piece.discByte = End();
    piece.bytes = frames * kFrameBytes;
    piece.source = source;
    piece.offset = offset;
    piece.sectorBytes = sectorBytes;
    piece.sectorStride = stride;
    piece.sectorAt = at;
    pieces.push_back(piece);
}

void ImageLayout::PadToFrame() {
    const std::uint64_t rest = End() % kFrameBytes;
    if (rest != 0) AddZeros(kFrameBytes - rest);
}

bool ImageLayout::Finish(DiscToc& toc, std::string& error) {
    PadToFrame();
    if (tracks.empty()) {
        error = "it lists no track";
        return false;
    }
    if (tracks.size() > 99) {
        error = "it lists more than 99 tracks";
        return false;
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const LayoutTrack& t = tracks[i];
        const std::string name = "track " + std::to_string(t.number);
        if (t.number < 1 || t.number > 99 || (i > 0 && t.number != tracks[i - 1].number + 1)) {
            error = "its track numbers do not run from 1 to 99 one after another (track " +
                    std::to_string(t.number) + ")";
            return false;
        }
        if (t.startByte % kFrameBytes != 0) {
            error = name + " does not start on a whole frame";
            return false;
        }
        const std::uint64_t next = i + 1 < tracks.size() ? tracks[i + 1].startByte : End();
        if (t.startByte >= next) {
            error = name + (i + 1 < tracks.size() ? " does not start before the next track"
                                                  : " starts at or after the end of the disc");
            return false;
        }
    }

    // Checked again after the gap below; first so that every address fits its field.
    if (End() / kFrameBytes > kMaxDiscFrames) {
        error = "it describes a disc longer than 100 minutes";
        return false;
    }
    std::vector<int> pregaps(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i)
        pregaps[i] = static_cast<int>(
            (i == 0 ? tracks[i].startByte : tracks[i].startByte - tracks[i].beginByte) /
            kFrameBytes);

    // An enhanced CD: audio tracks, then data. When the data track comes from a file of
    // its own, the image holds nothing of the gap between the sessions, so it is put
    // back: the track's table entry lies at least kSessionGapFrames after the end of
    // the audio, as on the disc, and the table's gap rule then leaves the last audio
    // track its own length.
    std::size_t firstData = 0;
    while (firstData < tracks.size() && !tracks[firstData].data) ++firstData;
    bool enhanced = firstData > 0 && firstData < tracks.size();
    for (std::size_t i = firstData; enhanced && i < tracks.size(); ++i) enhanced = tracks[i].data;
    if (enhanced && tracks[firstData].ownFile) {
        LayoutTrack& data = tracks[firstData];
        const std::uint64_t gap = data.startByte - data.beginByte;
        const std::uint64_t want = std::uint64_t{kSessionGapFrames} * kFrameBytes;
        if (gap < want) {
            const std::uint64_t extra = want - gap;
            const std::size_t at = std::min(data.firstPiece, pieces.size());
            ImagePiece zeros;
            zeros.discByte = at < pieces.size() ? pieces[at].discByte : End();
            zeros.bytes = extra;
            for (std::size_t p = at; p < pieces.size(); ++p) pieces[p].discByte += extra;
            pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(at), zeros);
            for (std::size_t i = firstData; i < tracks.size(); ++i) {
                if (tracks[i].beginByte >= zeros.discByte) tracks[i].beginByte += extra;
                tracks[i].startByte += extra;
                tracks[i].firstPiece += 1;
            }
        }
    }

    if (End() / kFrameBytes > kMaxDiscFrames) {
        error = "it describes a disc longer than 100 minutes";
        return false;
    }
    DiscToc result;
    result.firstTrack = tracks.front().number;
    result.lastTrack = tracks.back().number;
    result.title = title;
    result.performer = performer;
    result.songwriter = songwriter;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const LayoutTrack& t = tracks[i];
        TocTrack entry;
        entry.number = t.number;
        entry.data = t.data;
        entry.startLba = static_cast<std::uint32_t>(t.startByte / kFrameBytes);
        entry.pregapFrames = pregaps[i];
        entry.preEmphasis = t.preEmphasis;
        entry.copyPermitted = t.copyPermitted;
        entry.fourChannel = t.fourChannel;
        entry.title = t.title;
        entry.performer = t.performer;
        entry.songwriter = t.songwriter;
        result.tracks.push_back(std::move(entry));
    }
    result.leadOut = static_cast<std::uint32_t>(End() / kFrameBytes);
    toc = std::move(result);
    return true;
}

bool ImageLayout::ReadPiece(const ImagePiece& piece, std::uint64_t from, std::size_t bytes,
                            unsigned char* out) {
    if (piece.source < 0) {
        std::memset(out, 0, bytes);
        return true;
    }
    ImageSource& source = *sources[static_cast<std::size_t>(piece.source)];
    const std::uint64_t rel = from - piece.discByte;
    if (piece.sectorBytes == 0) {
        if (!source.Read(piece.offset + rel, bytes, out)) return false;
        if (piece.swap)
            for (std::size_t i = 0; i + 1 < bytes; i += 2) std::swap(out[i], out[i + 1]);
        return true;
    }
    // Sector pieces are read in whole frames; the last sector of a file may be short
    // (the rest reads as zeros).
    std::memset(out, 0, bytes);
    for (std::uint64_t done = 0; done < bytes; done += kFrameBytes) {
        const std::uint64_t frame = (rel + done) / kFrameBytes;
        const std::uint64_t at = piece.offset + frame * piece.sectorStride;
        if (at >= source.Size()) return false;
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(piece.sectorBytes, source.Size() - at));
        if (!source.Read(at, n, out + done + piece.sectorAt)) return false;
    }
    return true;
}

int ImageLayout::ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) {
    const std::uint64_t begin = std::uint64_t{lba} * kFrameBytes;
    const std::uint64_t end = begin + std::uint64_t{count} * kFrameBytes;
    if (end > End()) return kCdReadError;
    auto it =
        std::upper_bound(pieces.begin(), pieces.end(), begin,
                         [](std::uint64_t at, const ImagePiece& p) { return at < p.discByte; });
    if (it != pieces.begin()) --it;
    for (std::uint64_t at = begin; at < end; ++it) {
        if (it == pieces.end()) return kCdReadError;
        const std::uint64_t pieceEnd = it->discByte + it->bytes;
        if (pieceEnd <= at) continue;
        const std::uint64_t n = std::min(end, pieceEnd) - at;
        if (!ReadPiece(*it, at, static_cast<std::size_t>(n), out + (at - begin)))
            return kCdReadError;
        at += n;
    }
    return kCdOk;
}

bool ImageLayoutDrive::Open() {
    std::lock_guard<std::mutex> guard(mutex_);
    layout_.reset();
    toc_ = DiscToc{};
    error_.clear();
    auto layout = std::make_unique<ImageLayout>();
    std::string error;
    DiscToc toc;
    if (!reader_(path_, *layout, error) || !layout->Finish(toc, error)) {
        error_ = error.empty() ? "it cannot be read" : error;
        return false;
    }
    codes_ = DiscCodes{};
    codes_.catalog = layout->catalog;
    for (const LayoutTrack& t : layout->tracks)
        if (!t.isrc.empty()) codes_.isrc[t.number] = t.isrc;
    layout_ = std::move(layout);
    toc_ = std::move(toc);
    return true;
}

bool ImageLayoutDrive::ReadCodes(DiscCodes& codes) {
    std::lock_guard<std::mutex> guard(mutex_);
    codes = codes_;
    return layout_ != nullptr;
}

bool ImageLayoutDrive::ReadToc(DiscToc& toc) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!layout_) return false;
    toc = toc_;
    return true;
}

int ImageLayoutDrive::ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!layout_ || !out) return kCdReadError;
    if (count == 0) return kCdOk;
    return layout_->ReadFrames(lba, count, out);
}

bool ImageLayoutDrive::Ready() {
    std::lock_guard<std::mutex> guard(mutex_);
    return layout_ != nullptr;
}

std::string ImageLayoutDrive::OpenError() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return error_;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BesideImage(const std::string& image, const std::string& name) {
    if (name.empty()) return name;
    if (name[0] == '/') return name;
    std::string relative = name;
#ifndef _WIN32
    // Images written on Windows name their files with backslashes.
    std::replace(relative.begin(), relative.end(), '\\', '/');
#endif
    return FolderOf(image) + relative;
}

std::string LowerExtension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string TextAsUtf8(const std::string& text) {
    // Valid UTF-8: every lead byte is followed by the continuation bytes it announces
    // (no overlong two-byte form, nothing past U+10FFFF's lead byte).
    bool valid = true;
    for (std::size_t i = 0; i < text.size() && valid;) {
        const auto c = static_cast<unsigned char>(text[i]);
        int more = -1;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if ((c & 0xF0) == 0xE0)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        valid = more >= 0 && i + static_cast<std::size_t>(more) < text.size();
        for (int k = 1; k <= more && valid; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        i += static_cast<std::size_t>(more) + 1;
    }
    if (valid) return text;
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

bool ReadSmallTextFile(const std::string& path, std::size_t limit, std::string& text,
                       std::string& error) {
    std::uint64_t size = 0;
    if (!IsRegular(path, &size, error)) return false;
    if (size > limit) {
        error = path + " is too large (" + std::to_string(size) + " bytes) to be what it claims";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = path + " cannot be read";
        return false;
    }
    text.assign(static_cast<std::size_t>(size), '\0');
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    std::fclose(file);
    if (got != text.size()) {
        error = path + " cannot be read";
        return false;
    }
    return true;
}

}  // namespace cdaccess
