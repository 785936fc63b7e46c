// The records exchanged with the CD access library, byte for byte: a field that moves
// would make the library and the program read different things.
#include <gtest/gtest.h>

#include <cstddef>

#include "cd/TrackTable.h"
#include "cdaccess/CdAccess.h"

using namespace cd;

TEST(RecordLayout, ReadBlockHeaderIsSixFieldsThenData) {
    EXPECT_EQ(sizeof(ReadBlock), 24u);
    EXPECT_EQ(offsetof(ReadBlock, startLba), 0u);
    EXPECT_EQ(offsetof(ReadBlock, frameCount), 4u);
    EXPECT_EQ(offsetof(ReadBlock, capacity), 8u);
    EXPECT_EQ(offsetof(ReadBlock, dataLength), 12u);
    EXPECT_EQ(offsetof(ReadBlock, status), 16u);
    EXPECT_EQ(offsetof(ReadBlock, dataOffset), 20u);
    alignas(8) unsigned char buffer[24 + 16] = {};
    auto* block = reinterpret_cast<ReadBlock*>(buffer);
    EXPECT_EQ(block->data(), buffer + 24);
}

TEST(RecordLayout, DriveListAndHandleRequest) {
    EXPECT_EQ(sizeof(DriveListRecord), 970u);
    EXPECT_EQ(offsetof(DriveListRecord, capacity), 0u);
    EXPECT_EQ(offsetof(DriveListRecord, count), 1u);
    EXPECT_EQ(offsetof(DriveListRecord, entries), 2u);
    EXPECT_EQ(offsetof(DriveListRecord, entries) + 3 * sizeof(DriveEntry), 2u + 3 * 121u);
    EXPECT_EQ(offsetof(DriveEntry, adapter), 0u);
    EXPECT_EQ(offsetof(DriveEntry, target), 1u);
    EXPECT_EQ(offsetof(DriveEntry, unit), 2u);

    EXPECT_EQ(sizeof(HandleRequest), 12u);
    EXPECT_EQ(offsetof(HandleRequest, adapter), 2u);
    EXPECT_EQ(offsetof(HandleRequest, target), 3u);
    EXPECT_EQ(offsetof(HandleRequest, unit), 4u);
    EXPECT_EQ(offsetof(HandleRequest, zero), 5u);
    EXPECT_EQ(offsetof(HandleRequest, reserved), 6u);
    EXPECT_EQ(offsetof(HandleRequest, byte10), 10u);
    EXPECT_EQ(offsetof(HandleRequest, byte11), 11u);
}

TEST(RecordLayout, TableOfContentsAndTrackEntry) {
    EXPECT_EQ(sizeof(TocRecord), 804u);
    EXPECT_EQ(offsetof(TocRecord, firstTrack), 2u);
    EXPECT_EQ(offsetof(TocRecord, lastTrack), 3u);
    EXPECT_EQ(offsetof(TocRecord, descriptors), 4u);
    EXPECT_EQ(offsetof(TocDescriptor, control), 1u);
    EXPECT_EQ(offsetof(TocDescriptor, address), 4u);

    EXPECT_EQ(sizeof(TrackEntry), 344u);
    EXPECT_EQ(offsetof(TrackEntry, name), 0u);
    EXPECT_EQ(offsetof(TrackEntry, startLba), 324u);
    EXPECT_EQ(offsetof(TrackEntry, lengthFrames), 328u);
    EXPECT_EQ(offsetof(TrackEntry, isData), 332u);
    EXPECT_EQ(offsetof(TrackEntry, reserved), 336u);
}

TEST(DecodeBigEndian32, MostSignificantByteFirstAndUnsigned) {
    const unsigned char a[] = {0x12, 0x34, 0x56, 0x78};
    const unsigned char b[] = {0xFF, 0x00, 0x00, 0x01};
    const unsigned char c[] = {0x00, 0x00, 0xAF, 0xC8};
    EXPECT_EQ(DecodeBigEndian32(a), 0x12345678u);
    EXPECT_EQ(DecodeBigEndian32(b), 0xFF000001u);
    EXPECT_EQ(DecodeBigEndian32(c), 45000u);
}
