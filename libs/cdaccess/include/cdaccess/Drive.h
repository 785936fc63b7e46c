// The drives behind the CD access library. The library lists, in this order:
// drives added with AddDrive or AddImage (disc images, simulated drives), the
// image named by the environment variable TRACKMILL_DISC, then the machine's
// real CD drives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cdaccess {

struct TocTrack {
    std::uint8_t number = 0;
    bool data = false;
    std::uint32_t startLba = 0;
};

struct DiscToc {
    std::uint8_t firstTrack = 1;
    std::uint8_t lastTrack = 0;
    std::vector<TocTrack> tracks;  // firstTrack..lastTrack in order
    std::uint32_t leadOut = 0;     // first frame after the last track
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
};

// Lists a drive ahead of every other; returns its position in the added list.
void AddDrive(std::shared_ptr<Drive> drive);
// Lists a disc image (anything libcdio opens: .cue/.bin, .toc, .nrg).
void AddImage(const std::string& path);
// Forgets every added drive and closes every open handle.
void ClearAddedDrives();
// Whether the machine's real drives and TRACKMILL_DISC are listed (default true).
void SetSystemDrivesListed(bool listed);
// The drive behind an open handle, or null (for tests and diagnostics).
std::shared_ptr<Drive> DriveForHandle(std::uint32_t handle);
// A drive over a disc image, opened with libcdio.
std::shared_ptr<Drive> MakeImageDrive(const std::string& path);
// The machine's real CD drives, as libcdio finds them.
std::vector<std::shared_ptr<Drive>> SystemDrives();

}  // namespace cdaccess
