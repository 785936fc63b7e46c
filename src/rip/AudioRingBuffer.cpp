#include "rip/AudioRingBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace rip {

namespace {

struct Guard {
    explicit Guard(const AudioRingBuffer* r) : ring(r) { ring->lock->Lock(); }
    ~Guard() { ring->lock->Unlock(); }
    const AudioRingBuffer* ring;
};

// A ring whose Create succeeded (a cleared or failed one has no lock).
bool Usable(const AudioRingBuffer* ring) {
    return ring && ring->lock && ring->base;
}

}  // namespace

int RingCreate(AudioRingBuffer* ring, std::int32_t size) {
    if (!ring) return 0;
    *ring = AudioRingBuffer{};
    if (size <= 0) return 0;
    auto* storage = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(size)));
    if (!storage) return 0;
    auto* lock = new (std::nothrow) platform::RecursiveLock;
    if (!lock) {
        std::free(storage);
        return 0;
    }
    std::memset(storage, 0x20, static_cast<size_t>(size));
    ring->base = ring->readPos = ring->writePos = storage;
    ring->capacity = size;
    ring->lock = lock;
    return -1;
}

void RingDestroy(AudioRingBuffer* ring) {
    if (!ring) return;
    delete ring->lock;
    if (ring->base && ring->capacity) std::free(ring->base);
    *ring = AudioRingBuffer{};
}

std::int32_t RingFreeBytes(const AudioRingBuffer* ring) {
    if (!Usable(ring)) return 0;
    Guard g(ring);
    return ring->capacity - ring->used;
}

std::int32_t RingUsedBytes(const AudioRingBuffer* ring) {
    if (!Usable(ring)) return 0;
    Guard g(ring);
    return ring->used;
}

std::int32_t RingWrite(AudioRingBuffer* ring, const unsigned char* source, std::int32_t count) {
    if (!Usable(ring) || !source || count <= 0) return 0;
    Guard g(ring);
    count = std::min(count, RingFreeBytes(ring));
    ring->used += count;
    unsigned char* end = ring->base + ring->capacity;
    const std::int32_t tail = static_cast<std::int32_t>(end - ring->writePos);
    if (count < tail) {
        std::memcpy(ring->writePos, source, static_cast<size_t>(count));
        ring->writePos += count;
    } else {
        std::memcpy(ring->writePos, source, static_cast<size_t>(tail));
        std::memcpy(ring->base, source + tail, static_cast<size_t>(count - tail));
        ring->writePos = ring->base + (count - tail);
    }
    return count;
}

std::int32_t RingRead(AudioRingBuffer* ring, unsigned char* destination, std::int32_t maxCount) {
    if (!Usable(ring) || !destination || maxCount <= 0) return 0;
    Guard g(ring);
    const std::int32_t count = std::min(maxCount, ring->used);
    if (count == 0) return 0;
    ring->used -= count;
    unsigned char* end = ring->base + ring->capacity;
    const std::int32_t tail = static_cast<std::int32_t>(end - ring->readPos);
    if (count < tail) {
        std::memcpy(destination, ring->readPos, static_cast<size_t>(count));
        ring->readPos += count;
    } else {
        std::memcpy(destination, ring->readPos, static_cast<size_t>(tail));
        std::memcpy(destination + tail, ring->base, static_cast<size_t>(count - tail));
        ring->readPos = ring->base + (count - tail);
    }
    if (ring->used == 0) ring->readPos = ring->writePos = ring->base;
    if (ring->spaceEvent && RingFreeBytes(ring) > ring->spaceThreshold) {
        ring->spaceEvent->Set();
        ring->spaceEvent = nullptr;
    }
    return count;
}

void RingSetSpaceWait(AudioRingBuffer* ring, platform::Event* event, std::int32_t threshold) {
    if (!Usable(ring)) return;
    Guard g(ring);
    ring->spaceEvent = event;
    ring->spaceThreshold = threshold;
}

}  // namespace rip
