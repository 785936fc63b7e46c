// A disc image as the disc it describes: the files an image names, laid out as
// pieces on the disc's timeline, and the table of contents a drive would report.
// The cue sheet and .toc readers build one; ImageLayoutDrive serves it.
//
// The timeline is a byte stream: disc byte = frame address x 2352 + byte in the
// frame. Audio pieces may start and end anywhere on a 4-byte sample boundary (a .toc
// may cut a file at any sample); sector pieces (data tracks stored as 2048- or
// 2336-byte sectors) always cover whole frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cdaccess/Drive.h"

namespace cdaccess {

// The frames between the end of an enhanced CD's audio session and its data track's
// table entry: lead-out 6750 + lead-in 4500 + the data track's pregap 150.
inline constexpr std::uint32_t kSessionGapFrames = 11400;

// Bytes an image takes its audio or sectors from.
class ImageSource {
  public:
    virtual ~ImageSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads `bytes` bytes at `offset`; false when any of them is not there.
    virtual bool Read(std::uint64_t offset, std::size_t bytes, unsigned char* out) = 0;
};

// A file read as it is. Null with the reason in `error` when it cannot be opened.
std::shared_ptr<ImageSource> OpenRawSource(const std::string& path, std::string& error);
// A sound file (WAV, FLAC, AIFF ...) decoded to CD audio: 16-bit little-endian stereo
// at 44.1 kHz. Anything else is refused with its reason.
std::shared_ptr<ImageSource> OpenSoundSource(const std::string& path, std::string& error);

struct ImagePiece {
    std::uint64_t discByte = 0;  // where it starts on the timeline
    std::uint64_t bytes = 0;     // its length there
    int source = -1;             // index into ImageLayout::sources; -1 reads as zeros
    std::uint64_t offset = 0;    // its first byte in the source
    bool swap = false;           // big-endian audio: each byte pair is swapped on read
    // Sector pieces: each 2352-byte frame takes `sectorBytes` bytes from the source,
    // one sector every `sectorStride` bytes, placed at `sectorAt` in the frame (the
    // rest of the frame reads as zeros). 0 for a plain run of bytes.
    std::uint32_t sectorBytes = 0;
    std::uint32_t sectorStride = 0;
    std::uint32_t sectorAt = 0;
};

// What a reader knows about one track while it builds the layout.
struct LayoutTrack {
    std::uint8_t number = 0;
    bool data = false;
    std::uint64_t beginByte = 0;  // where its first piece (pregap included) starts
    std::size_t firstPiece = 0;   // index of that piece
    std::uint64_t startByte = 0;  // its index 01
    bool ownFile = false;         // its pieces begin a file of their own
    int preEmphasis = -1, copyPermitted = -1, fourChannel = -1;
    std::string title, performer, songwriter;
    std::string isrc;  // as the image gives it
};

class ImageLayout {
  public:
    std::vector<std::shared_ptr<ImageSource>> sources;
    std::vector<ImagePiece> pieces;  // end to end from disc byte 0
    std::vector<LayoutTrack> tracks;
    std::string title, performer, songwriter;  // the disc's, where the image names them
    std::string catalog;  // the disc's catalogue number, where the image gives it

    std::uint64_t End() const {
        return pieces.empty() ? 0 : pieces.back().discByte + pieces.back().bytes;
    }
    int AddSource(std::shared_ptr<ImageSource> source);
    void AddZeros(std::uint64_t bytes);
    void AddBytes(int source, std::uint64_t offset, std::uint64_t bytes, bool swap);
    void AddSectors(int source, std::uint64_t offset, std::uint64_t frames,
                    std::uint32_t sectorBytes, std::uint32_t stride, std::uint32_t at);
    // Zeros up to the next frame boundary.
    void PadToFrame();

    // Completes the layout: places a data track that follows the audio in a file of
    // its own where the disc has it (see kSessionGapFrames), checks the tracks, and
    // gives the table of contents. False with the reason in `error`.
    bool Finish(DiscToc& toc, std::string& error);

    // Reads `count` frames at `lba`: 1 (kCdOk) or 4 (kCdReadError).
    int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out);

  private:
    bool ReadPiece(const ImagePiece& piece, std::uint64_t from, std::size_t bytes,
                   unsigned char* out);
};

// Reads an image file into a layout: false with the reason in `error`.
using ImageReader =
    std::function<bool(const std::string& path, ImageLayout& layout, std::string& error)>;

bool ReadCueSheet(const std::string& path, ImageLayout& layout, std::string& error);
bool ReadTocFile(const std::string& path, ImageLayout& layout, std::string& error);

// A drive over an image read by `reader`, read again on every Open.
class ImageLayoutDrive : public Drive {
  public:
    ImageLayoutDrive(std::string path, ImageReader reader)
        : path_(std::move(path)), reader_(std::move(reader)) {}

    std::string Name() const override { return path_; }
    bool Open() override;
    bool ReadToc(DiscToc& toc) override;
    int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) override;
    bool Ready() override;
    std::string OpenError() const override;
    bool ReadCodes(DiscCodes& codes) override;

  private:
    mutable std::mutex mutex_;
    const std::string path_;
    const ImageReader reader_;
    std::unique_ptr<ImageLayout> layout_;
    DiscToc toc_;
    DiscCodes codes_;
    std::string error_;
};

// Helpers the readers share.
std::string FolderOf(const std::string& path);
// `name` as the image names it, resolved beside the image file.
std::string BesideImage(const std::string& image, const std::string& name);
std::string LowerExtension(const std::string& path);
// Reads a small text file whole; false with the reason when it is missing, not a
// regular file or larger than `limit` bytes.
// Text an image gives in UTF-8 as it is; anything else is taken as Latin-1 and
// converted (older cue sheets are written in Latin-1).
std::string TextAsUtf8(const std::string& text);
bool ReadSmallTextFile(const std::string& path, std::size_t limit, std::string& text,
                       std::string& error);

}  // namespace cdaccess
