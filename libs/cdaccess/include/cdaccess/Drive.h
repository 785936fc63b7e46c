// The drives behind the CD access library. The library lists, in this order:
// drives added with AddDrive or AddImage (disc images, simulated drives), the
// image named by the environment variable TRACKMILL_DISC, then the machine's
// real CD drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cdaccess {

struct TocTrack {
    TocTrack() = default;
    TocTrack(std::uint8_t n, bool isData, std::uint32_t start)
        : number(n), data(isData), startLba(start) {}

    std::uint8_t number = 0;
    bool data = false;
    std::uint32_t startLba = 0;
    // What the drive or image knows beyond the start (-1: not known).
    int pregapFrames = -1;  // index 00 to index 01
    int preEmphasis = -1;   // 1 or 0
    int copyPermitted = -1;
    int fourChannel = -1;                      // four-channel audio: 1 or 0
    std::string title, performer, songwriter;  // CD-TEXT, where the image has it
};

struct DiscToc {
    std::uint8_t firstTrack = 1;
    std::uint8_t lastTrack = 0;
    std::vector<TocTrack> tracks;              // firstTrack..lastTrack in order
    std::uint32_t leadOut = 0;                 // first frame after the last track
    std::string title, performer, songwriter;  // CD-TEXT of the disc, where the image has it
};

// The CD-Text of a disc in UTF-8: the disc's own entry (track 0) and one per track
// that has any text, in track order.
struct TextEntry {
    int track = 0;
    std::string title, performer, songwriter;
    bool Empty() const { return title.empty() && performer.empty() && songwriter.empty(); }
};
struct DiscText {
    TextEntry disc;
    std::vector<TextEntry> tracks;
    bool Empty() const { return disc.Empty() && tracks.empty(); }
};

// The codes a disc carries beside its table of contents. A real drive reads them from
// the Q sub-channel, which takes a moment per track: ask once per batch, not per read.
struct DiscCodes {
    std::string catalog;                       // media catalogue number; empty: none
    std::map<std::uint8_t, std::string> isrc;  // by track number; tracks without one absent
};

// One drive with a disc (or none). Calls may come from several threads, one at a
// time per drive: the library serialises them.
class Drive {
  public:
    virtual ~Drive() = default;
    virtual std::string Name() const = 0;
    // Opens the medium; false when the drive cannot be used.
    virtual bool Open() = 0;
    virtual bool ReadToc(DiscToc& toc) = 0;
    // Reads count frames at lba into out (count x 2352 bytes): 1 or 4.
    virtual int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) = 0;
    virtual bool Ready() = 0;
    // Called by MS after a failed read; a real drive may re-seek here.
    virtual void Reset() {}
    // Why the last Open failed, in words for the user; empty when it did not fail or
    // the drive cannot tell.
    virtual std::string OpenError() const { return {}; }
    // The disc's CD-Text. The default gives what ReadToc carries (an image's texts).
    virtual bool ReadText(DiscText& out);
    // The disc's catalogue number and ISRCs, as far as the drive or image knows them.
    virtual bool ReadCodes(DiscCodes& codes) {
        codes = DiscCodes{};
        return false;
    }
};

// Lists a drive ahead of every other; returns its position in the added list.
void AddDrive(std::shared_ptr<Drive> drive);
// Lists a disc image: a cue sheet (or a .bin beside one), a .toc file, an .nrg image.
void AddImage(const std::string& path);
// Forgets every added drive and closes every open handle.
void ClearAddedDrives();
// Whether the machine's real drives and TRACKMILL_DISC are listed (default true).
void SetSystemDrivesListed(bool listed);
// The drive behind an open handle, or null (for tests and diagnostics).
std::shared_ptr<Drive> DriveForHandle(std::uint32_t handle);
// The CD-Text of the disc behind an open handle (empty when it has none). False when
// the handle is not open.
bool ReadDiscText(std::uint32_t handle, DiscText& out);
// Decodes raw CD-Text packs (18 bytes each, as READ TOC format 5 gives them) with
// libcdio, choosing the language block as a drive's text is chosen: English when the
// disc has it, else the first block. False when libcdio cannot read them.
bool DiscTextFromPacks(const unsigned char* packs, std::size_t bytes, DiscText& out);
// The codes of the disc behind an open handle (see DiscCodes); false, with `codes`
// empty, when there is no such handle or the drive cannot tell.
bool ReadDiscCodes(std::uint32_t handle, DiscCodes& codes);
// The drives as listed by the last GetCDList, in list order.
std::vector<std::shared_ptr<Drive>> ListedDrives();
// A drive over a disc image: cue sheets are read with libcue and .toc files by the
// library's own reader, both served from the files they name; .nrg images (and
// anything else) are opened with libcdio.
std::shared_ptr<Drive> MakeImageDrive(const std::string& path);
// The machine's real CD drives, as libcdio finds them.
std::vector<std::shared_ptr<Drive>> SystemDrives();

}  // namespace cdaccess
