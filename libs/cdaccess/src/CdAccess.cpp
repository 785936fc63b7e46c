// The CD access library's calls over the Drive interface: the drive listing, the
// handle table, the table-of-contents record and the frame reads, including the
// overlap-checked read that joins a read after a seek to the previous one.
#include "cdaccess/CdAccess.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "cdaccess/Drive.h"

namespace cdaccess {
namespace {

struct OpenHandle {
    std::shared_ptr<Drive> drive;
    std::uint32_t leadOut = 0;  // first frame after the disc's last track, 0 = unknown
};

struct Library {
    std::mutex mutex;  // guards everything below
    std::vector<std::shared_ptr<Drive>> added;
    std::vector<std::shared_ptr<Drive>> listed;  // as of the last GetCDList
    std::map<std::uint32_t, std::shared_ptr<OpenHandle>> handles;
    std::uint32_t nextHandle = 1;
    bool systemListed = true;
    std::string envImage;  // TRACKMILL_DISC as last seen, and its drive
    std::shared_ptr<Drive> envDrive;
    // Drives are used one call at a time: the player and the rip may share a drive.
    std::mutex io;
};

Library& lib() {
    static Library* l = new Library;  // never destroyed: worker threads may outlive statics
    return *l;
}

std::shared_ptr<OpenHandle> Find(std::uint32_t handle) {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.mutex);
    auto it = l.handles.find(handle);
    return it == l.handles.end() ? nullptr : it->second;
}

void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// Frames read on either side of the requested frames by the overlap check: the
// largest drive misplacement it can correct is this many frames (588 samples each).
constexpr std::uint32_t kSearchFrames = 2;

}  // namespace

void AddDrive(std::shared_ptr<Drive> drive) {
    if (!drive) return;
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.mutex);
    l.added.push_back(std::move(drive));
}

void AddImage(const std::string& path) {
    AddDrive(MakeImageDrive(path));
}

void ClearAddedDrives() {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.mutex);
    l.added.clear();
    l.listed.clear();
    l.handles.clear();
    l.envImage.clear();
    l.envDrive.reset();
}

void SetSystemDrivesListed(bool listed) {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.mutex);
    l.systemListed = listed;
}

std::vector<std::shared_ptr<Drive>> ListedDrives() {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.mutex);
    return l.listed;
}

bool Drive::ReadText(DiscText& out) {
    out = {};
    DiscToc toc;
    if (!ReadToc(toc)) return false;
    out.disc = {0, toc.title, toc.performer, toc.songwriter};
    for (const TocTrack& t : toc.tracks) {
        TextEntry entry{t.number, t.title, t.performer, t.songwriter};
        if (!entry.Empty()) out.tracks.push_back(std::move(entry));
    }
    return true;
}

bool ReadDiscText(std::uint32_t handle, DiscText& out) {
    out = {};
    auto h = Find(handle);
    if (!h) return false;
    std::lock_guard<std::mutex> io(lib().io);
    return h->drive->ReadText(out);
}

std::shared_ptr<Drive> DriveForHandle(std::uint32_t handle) {
    auto h = Find(handle);
    return h ? h->drive : nullptr;
}

bool ReadDiscCodes(std::uint32_t handle, DiscCodes& codes) {
    codes = DiscCodes{};
    auto h = Find(handle);
    if (!h) return false;
    std::lock_guard<std::mutex> io(lib().io);
    return h->drive->ReadCodes(codes);
}

}  // namespace cdaccess

using namespace cdaccess;

// Lists the added drives, then TRACKMILL_DISC's image, then the machine's drives.
// Each entry is adapter 0, target = position in the list, unit 0.
int GetCDList(DriveListRecord* list) {
    if (!list) return 0;
    Library& l = lib();
    std::vector<std::shared_ptr<Drive>> drives;
    bool system;
    {
        std::lock_guard<std::mutex> guard(l.mutex);
        drives = l.added;
        system = l.systemListed;
    }
    if (system) {
        const char* env = std::getenv("TRACKMILL_DISC");
        if (env && *env) {
            std::lock_guard<std::mutex> guard(l.mutex);
            if (l.envImage != env || !l.envDrive) {
                l.envImage = env;
                l.envDrive = MakeImageDrive(env);
            }
            if (l.envDrive) drives.push_back(l.envDrive);
        }
        for (auto& d : SystemDrives()) drives.push_back(d);
    }
    const int capacity = std::min<int>(list->capacity, 8);
    const int count = std::min<int>(static_cast<int>(drives.size()), capacity);
    list->count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        std::memset(&list->entries[i], 0, sizeof(DriveEntry));
        list->entries[i].adapter = 0;
        list->entries[i].target = static_cast<std::uint8_t>(i);
        list->entries[i].unit = 0;
    }
    std::lock_guard<std::mutex> guard(l.mutex);
    l.listed = std::move(drives);
    return 1;
}

std::uint32_t GetCDHandle(HandleRequest* request) {
    if (!request || request->size != sizeof(HandleRequest) || request->adapter != 0 ||
        request->unit != 0)
        return 0;
    Library& l = lib();
    std::shared_ptr<Drive> drive;
    {
        std::lock_guard<std::mutex> guard(l.mutex);
        if (request->target >= l.listed.size()) return 0;
        drive = l.listed[request->target];
    }
    auto handle = std::make_shared<OpenHandle>();
    handle->drive = drive;
    {
        std::lock_guard<std::mutex> io(l.io);
        if (!drive || !drive->Open()) return 0;
        DiscToc toc;
        if (drive->ReadToc(toc)) handle->leadOut = toc.leadOut;
    }
    std::lock_guard<std::mutex> guard(l.mutex);
    const std::uint32_t id = l.nextHandle++;
    if (l.nextHandle == 0) l.nextHandle = 1;
    l.handles[id] = handle;
    return id;
}

// Every read here takes what it needs per call (frame count, overlap), so a parameter
// changes nothing: the call only answers whether the handle is open.
int ModifyCDParms(std::uint32_t handle, int /*code*/, int /*value*/) {
    return Find(handle) ? 1 : 0;
}

int MCP(std::uint32_t handle, int code, int value) {
    return ModifyCDParms(handle, code, value);
}

// Fills the READ TOC format-0 record: descriptors for first..last track, then the
// lead-out (track number 0xAA). Addresses are logical block addresses, big-endian.
int ReadTOC(std::uint32_t handle, TocRecord* record) {
    if (!record) return 0;
    std::memset(record, 0, sizeof(TocRecord));
    auto h = Find(handle);
    if (!h) return 0;
    DiscToc toc;
    {
        std::lock_guard<std::mutex> io(lib().io);
        if (!h->drive->ReadToc(toc)) return 0;
    }
    if (toc.tracks.empty()) return 0;
    // 99 tracks and the lead-out fill the record's 100 descriptors.
    const std::size_t count = std::min<std::size_t>(toc.tracks.size(), kTocDescriptors - 1);
    record->firstTrack = toc.tracks.front().number;
    record->lastTrack = toc.tracks[count - 1].number;
    for (std::size_t k = 0; k < count; ++k) {
        TocDescriptor& d = record->descriptors[k];
        // Q sub-channel control: four channels 8, data 4, copy permitted 2, pre-emphasis 1
        // (where known).
        d.control = static_cast<std::uint8_t>(0x10 | (toc.tracks[k].fourChannel == 1 ? 8 : 0) |
                                              (toc.tracks[k].data ? kTocDataTrack : 0) |
                                              (toc.tracks[k].copyPermitted == 1 ? 2 : 0) |
                                              (toc.tracks[k].preEmphasis == 1 ? 1 : 0));
        d.trackNumber = toc.tracks[k].number;
        PutBigEndian32(d.address, toc.tracks[k].startLba);
    }
    // The lead-out is no track: it never carries the data bit, so a disc that ends in a
    // data track does not look like one more data track after it. When the record has
    // no room for every track, the entry after the last one listed is that track's
    // real successor, data bit included.
    TocDescriptor& leadOut = record->descriptors[count];
    const bool truncated = count < toc.tracks.size();
    leadOut.control =
        static_cast<std::uint8_t>(0x10 | (truncated && toc.tracks[count].data ? kTocDataTrack : 0));
    leadOut.trackNumber = truncated ? toc.tracks[count].number : 0xAA;
    const std::uint32_t end = truncated ? toc.tracks[count].startLba : toc.leadOut;
    PutBigEndian32(leadOut.address, end);
    const std::uint32_t length = 2 + 8 * static_cast<std::uint32_t>(count + 1);
    record->dataLength[0] = static_cast<std::uint8_t>(length >> 8);
    record->dataLength[1] = static_cast<std::uint8_t>(length);
    h->leadOut = toc.leadOut;
    return 1;
}

int RT(std::uint32_t handle, TocRecord* record) {
    return ReadTOC(handle, record);
}

int ReadCDAudioLBA(std::uint32_t handle, ReadBlock* block) {
    if (!block) return 0;
    auto h = Find(handle);
    if (!h) return 0;
    block->dataOffset = 0;
    block->dataLength = 0;
    const std::uint64_t bytes = std::uint64_t{block->frameCount} * kFrameBytes;
    if (bytes > block->capacity) return 0;
    if (block->frameCount == 0) return kCdOk;
    int result;
    {
        std::lock_guard<std::mutex> io(lib().io);
        result = h->drive->ReadFrames(block->startLba, block->frameCount, block->data());
    }
    if (result != kCdOk) return result == kCdReadError ? kCdReadError : 0;
    block->dataLength = static_cast<std::uint32_t>(bytes);
    return kCdOk;
}

// Overlap-checked read.
//
// `reference` holds bytes the caller already has: dataLength bytes at dataOffset of
// its data area, which belong on the disc at frame reference->startLba. The call
// reads a window from kSearchFrames before the reference to kSearchFrames after the
// frames asked for, looks for the reference bytes near where they belong (stepping
// one stereo sample at a time, nearest first), and copies the block->frameCount
// frames that follow them on the disc to the start of block's data area. A drive
// that lands a few samples off after a seek therefore still gives audio that joins
// the caller's previous read exactly.
//
// It then reads the last reported frame once more, so that the drive is left where
// the next plain read continues.
//
// Known limit: in digital silence longer than the search window the reference
// matches at every offset; the nearest one is taken, so a misplacement there goes
// unnoticed (and unheard: the samples are all alike).
int ReadCDAudioLBAEx(std::uint32_t handle, ReadBlock* block, ReadBlock* reference) {
    if (!block) return 0;
    const bool haveReference =
        reference && reference->dataLength >= 4 && reference->dataLength % 4 == 0 &&
        reference->dataOffset >= 0 &&
        std::uint64_t{static_cast<std::uint32_t>(reference->dataOffset)} + reference->dataLength <=
            reference->capacity;
    if (!haveReference) return ReadCDAudioLBA(handle, block);
    auto h = Find(handle);
    if (!h) return 0;
    block->dataOffset = 0;
    block->dataLength = 0;
    const std::uint32_t n = block->frameCount;
    const std::uint64_t wanted = std::uint64_t{n} * kFrameBytes;
    if (wanted > block->capacity) return 0;
    if (n == 0) return kCdOk;

    const std::uint32_t refStart = reference->startLba;
    const std::uint64_t refPos = std::uint64_t{refStart} * kFrameBytes;  // disc byte address
    const std::uint64_t startPos = std::uint64_t{block->startLba} * kFrameBytes;
    const std::uint32_t refLen = reference->dataLength;
    if (refPos + refLen > startPos) return ReadCDAudioLBA(handle, block);  // no sense to it

    const std::uint32_t winStart = refStart > kSearchFrames ? refStart - kSearchFrames : 0;
    std::uint32_t winEnd = block->startLba + n + kSearchFrames;
    if (h->leadOut > block->startLba + n) winEnd = std::min(winEnd, h->leadOut);
    if (h->leadOut != 0 && h->leadOut <= block->startLba + n) winEnd = block->startLba + n;
    std::vector<unsigned char> window(std::size_t{winEnd - winStart} * kFrameBytes);
    std::vector<unsigned char> scratch(kFrameBytes);

    std::lock_guard<std::mutex> io(lib().io);
    const int result = h->drive->ReadFrames(winStart, winEnd - winStart, window.data());
    if (result != kCdOk) return result == kCdReadError ? kCdReadError : 0;

    const unsigned char* ref = reference->data() + reference->dataOffset;
    const std::int64_t expected =
        static_cast<std::int64_t>(refPos - std::uint64_t{winStart} * kFrameBytes);
    const std::int64_t limit = std::int64_t{kSearchFrames} * kFrameBytes;
    const std::int64_t size = static_cast<std::int64_t>(window.size());
    std::int64_t found = -1;
    for (std::int64_t d = 0; d <= limit && found < 0; d += 4) {
        for (std::int64_t pos : {expected + d, expected - d}) {
            if (pos < 0 || pos + refLen > size) continue;
            if (std::memcmp(window.data() + pos, ref, refLen) == 0) {
                found = pos;
                break;
            }
            if (d == 0) break;
        }
    }
    if (found < 0) return kCdReadError;  // the reference is not where it belongs: retry

    const std::int64_t from =
        found + refLen + static_cast<std::int64_t>(startPos - refPos - refLen);
    if (from < 0 || from + static_cast<std::int64_t>(wanted) > size) return kCdReadError;
    std::memcpy(block->data(), window.data() + from, wanted);
    block->dataLength = static_cast<std::uint32_t>(wanted);

    // Leave the drive positioned after the reported frames; a failure here does not
    // spoil what was read.
    h->drive->ReadFrames(block->startLba + n - 1, 1, scratch.data());
    return kCdOk;
}

int TestUnitReady(std::uint32_t handle) {
    auto h = Find(handle);
    if (!h) return kCdReadError;
    std::lock_guard<std::mutex> io(lib().io);
    return h->drive->Ready() ? kCdOk : kCdReadError;
}

int MS(std::uint32_t handle) {
    auto h = Find(handle);
    if (!h) return 0;
    std::lock_guard<std::mutex> io(lib().io);
    h->drive->Reset();
    return 1;
}

int CloseCDHandle(std::uint32_t handle) {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.mutex);
    return l.handles.erase(handle) ? 1 : 0;
}
