// The records exchanged with the CD access library, byte for byte: a field that moves
// would make the library and the program read different things. The sizes are
// asserted where the records are declared; their fields' offsets are asserted here,
// at compile time, so a moved field stops the build of the tests. What is left to run
// is how a read block's data area follows its header, and the big-endian addresses
// of the table of contents.
#include <gtest/gtest.h>

#include <cstddef>

#include "cd/TrackTable.h"
#include "cdaccess/CdAccess.h"

using namespace cd;

static_assert(offsetof(ReadBlock, startLba) == 0 && offsetof(ReadBlock, frameCount) == 4 &&
              offsetof(ReadBlock, capacity) == 8 && offsetof(ReadBlock, dataLength) == 12 &&
              offsetof(ReadBlock, status) == 16 && offsetof(ReadBlock, dataOffset) == 20);

static_assert(offsetof(DriveListRecord, capacity) == 0 && offsetof(DriveListRecord, count) == 1 &&
              offsetof(DriveListRecord, entries) == 2);
static_assert(offsetof(DriveEntry, adapter) == 0 && offsetof(DriveEntry, target) == 1 &&
              offsetof(DriveEntry, unit) == 2);
static_assert(offsetof(HandleRequest, adapter) == 2 && offsetof(HandleRequest, target) == 3 &&
              offsetof(HandleRequest, unit) == 4 && offsetof(HandleRequest, zero) == 5 &&
              offsetof(HandleRequest, reserved) == 6 && offsetof(HandleRequest, byte10) == 10 &&
              offsetof(HandleRequest, byte11) == 11);

static_assert(offsetof(TocRecord, firstTrack) == 2 && offsetof(TocRecord, lastTrack) == 3 &&
              offsetof(TocRecord, descriptors) == 4);
static_assert(offsetof(TocDescriptor, control) == 1 && offsetof(TocDescriptor, address) == 4);

static_assert(offsetof(TrackEntry, name) == 0 && offsetof(TrackEntry, startLba) == 324 &&
              offsetof(TrackEntry, lengthFrames) == 328 && offsetof(TrackEntry, isData) == 332 &&
              offsetof(TrackEntry, reserved) == 336);

TEST(RecordLayout, ReadBlockDataFollowsItsHeader) {
    alignas(8) unsigned char buffer[24 + 16] = {};
    auto* block = reinterpret_cast<ReadBlock*>(buffer);
    EXPECT_EQ(block->data(), buffer + 24);
}

TEST(DecodeBigEndian32, MostSignificantByteFirstAndUnsigned) {
    const unsigned char a[] = {0x12, 0x34, 0x56, 0x78};
    const unsigned char b[] = {0xFF, 0x00, 0x00, 0x01};
    const unsigned char c[] = {0x00, 0x00, 0xAF, 0xC8};
    EXPECT_EQ(DecodeBigEndian32(a), 0x12345678u);
    EXPECT_EQ(DecodeBigEndian32(b), 0xFF000001u);
    EXPECT_EQ(DecodeBigEndian32(c), 45000u);
}
