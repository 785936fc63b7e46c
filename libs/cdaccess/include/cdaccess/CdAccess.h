// The CD access library: lists CD drives, opens one, reads its table of contents
// and reads raw CD-DA frames of 2352 bytes. Every call passes plain values and
// packed records; a CD handle is an opaque 32-bit value, 0 meaning none.
//
// Addresses are the drive's logical block addresses: a pressed disc's first
// track usually starts at 0.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CDACCESS_API extern "C" __declspec(dllexport)
#else
#define CDACCESS_API extern "C" __attribute__((visibility("default")))
#endif

inline constexpr std::uint32_t kFrameBytes = 2352;  // one CD-DA frame: 588 stereo 16-bit samples
inline constexpr std::uint32_t kFramesPerSecond = 75;

// Result codes of the frame reads.
inline constexpr int kCdOk = 1;
inline constexpr int kCdReadError = 4;  // also TestUnitReady's "drive not ready"

#pragma pack(push, 1)

// Header of a frame read request; the data area follows the header directly.
struct ReadBlock {
    std::uint32_t startLba;    // first frame to read
    std::uint32_t frameCount;  // in: frames to read; out: frames the call accounts for
    std::uint32_t capacity;    // data area size in bytes
    std::uint32_t dataLength;  // out: bytes of good data
    std::uint32_t status;      // not used by callers
    std::int32_t dataOffset;   // out: byte offset of the good data in the data area

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }
    const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(this + 1); }
};
static_assert(sizeof(ReadBlock) == 24);

struct DriveEntry {
    std::uint8_t adapter;
    std::uint8_t target;
    std::uint8_t unit;
    std::uint8_t reserved[118];
};
static_assert(sizeof(DriveEntry) == 121);

// Filled by GetCDList: capacity is set by the caller (8), count by the library.
struct DriveListRecord {
    std::uint8_t capacity;
    std::uint8_t count;
    DriveEntry entries[8];
};
static_assert(sizeof(DriveListRecord) == 970);

struct HandleRequest {
    std::uint8_t size;  // 12
    std::uint8_t one;   // 1
    std::uint8_t adapter;
    std::uint8_t target;
    std::uint8_t unit;
    std::uint8_t zero;
    std::uint32_t reserved;  // 0
    std::uint8_t byte10;     // 1
    std::uint8_t byte11;     // 3
};
static_assert(sizeof(HandleRequest) == 12);

// One descriptor of a READ TOC (format 0) response.
struct TocDescriptor {
    std::uint8_t reserved0;
    std::uint8_t control;  // bit value 4: data track
    std::uint8_t trackNumber;
    std::uint8_t reserved3;
    std::uint8_t address[4];  // big-endian logical block address
};
static_assert(sizeof(TocDescriptor) == 8);

inline constexpr std::uint8_t kTocDataTrack = 4;
inline constexpr int kTocDescriptors = 100;

// The READ TOC response, format 0, addresses as logical block addresses.
struct TocRecord {
    std::uint8_t dataLength[2];
    std::uint8_t firstTrack;
    std::uint8_t lastTrack;
    TocDescriptor descriptors[kTocDescriptors];  // then the lead-out after the last track
};
static_assert(sizeof(TocRecord) == 804);

#pragma pack(pop)

CDACCESS_API int GetCDList(DriveListRecord* list);
CDACCESS_API std::uint32_t GetCDHandle(HandleRequest* request);
// 1 for an open handle, 0 otherwise. The reads take their parameters per call, so
// the code and value change nothing.
CDACCESS_API int ModifyCDParms(std::uint32_t handle, int code, int value);
CDACCESS_API int ReadTOC(std::uint32_t handle, TocRecord* toc);
// Reads block->frameCount frames from block->startLba into the data area.
// 1 = success, 4 = error the caller may retry.
CDACCESS_API int ReadCDAudioLBA(std::uint32_t handle, ReadBlock* block);
// Overlap-checked read: `reference` describes the tail of the previous read
// (startLba, and dataLength bytes at dataOffset of its data area). The call reads
// around the frames asked for, finds the reference's bytes in what it read and
// reports in block->dataOffset / dataLength the bytes that follow them, so they
// join the previous read with no gap and no repeat. An empty reference
// (dataLength 0) makes it a plain read.
CDACCESS_API int ReadCDAudioLBAEx(std::uint32_t handle, ReadBlock* block, ReadBlock* reference);
// 4 = the drive is not ready; 1 otherwise.
CDACCESS_API int TestUnitReady(std::uint32_t handle);
CDACCESS_API int CloseCDHandle(std::uint32_t handle);
// Short names used by the player: same as ReadTOC, ModifyCDParms, and a drive
// reset after a failed read.
CDACCESS_API int RT(std::uint32_t handle, TocRecord* toc);
CDACCESS_API int MCP(std::uint32_t handle, int code, int value);
CDACCESS_API int MS(std::uint32_t handle);
