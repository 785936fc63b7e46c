// A fixed-size byte queue between the reader thread (producer) and the writer
// thread (consumer) of a rip. Every operation takes the buffer's own lock. A
// producer can arm an event that the next Read sets once more than a threshold
// of bytes is free.
//
// The record is plain and cleared when not in use; the free functions below take
// a pointer and accept null.
#pragma once

#include <cstdint>

#include "platform/Sync.h"

namespace rip {

struct AudioRingBuffer {
    unsigned char* base = nullptr;
    unsigned char* readPos = nullptr;
    unsigned char* writePos = nullptr;
    std::int32_t capacity = 0;
    std::int32_t used = 0;
    platform::RecursiveLock* lock = nullptr;  // null until Create succeeded
    platform::Event* spaceEvent = nullptr;    // armed event, not owned
    std::int32_t spaceThreshold = 0;
};

// Allocates `size` bytes filled with 0x20. Returns -1 on success, 0 on failure
// (null ring, size <= 0, no memory); the ring is cleared first in every case.
int RingCreate(AudioRingBuffer* ring, std::int32_t size);
// Frees the storage and the lock and clears the record. Harmless on a cleared ring.
void RingDestroy(AudioRingBuffer* ring);
std::int32_t RingFreeBytes(const AudioRingBuffer* ring);
std::int32_t RingUsedBytes(const AudioRingBuffer* ring);
// Queues up to count bytes (cut to the free space); returns the number queued.
std::int32_t RingWrite(AudioRingBuffer* ring, const unsigned char* source, std::int32_t count);
// Takes up to maxCount bytes; returns the number taken. Sets the armed event (and
// disarms it) when the free space afterwards exceeds the threshold.
std::int32_t RingRead(AudioRingBuffer* ring, unsigned char* destination, std::int32_t maxCount);
// Arms `event` (replacing an earlier one) to be set once more than threshold bytes are free.
void RingSetSpaceWait(AudioRingBuffer* ring, platform::Event* event, std::int32_t threshold);

}  // namespace rip
