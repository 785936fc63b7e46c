// The reader thread of a rip: reads the track's frames from the disc and queues
// the audio in the session's ring for the writer thread.
#include <cstdlib>
#include <cstring>

#include "cdaccess/CdAccess.h"
#include "core/Messages.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"

namespace rip {

namespace {

constexpr std::uint32_t kReadTimeoutRoomMs = 60000;
constexpr std::uint32_t kDrainTimeoutMs = 5000;
constexpr std::uint32_t kWriterTimeoutMs = 120000;
constexpr std::uint32_t kWriterAbortTimeoutMs = 30000;
constexpr int kExTries = 3;

// A ReadBlock with room for kSectorsPerRead frames, header cleared.
ReadBlock* AllocateBlock() {
    const std::size_t bytes = sizeof(ReadBlock) + std::size_t{kSectorsPerRead} * kFrameBytes;
    auto* block = static_cast<ReadBlock*>(std::calloc(1, bytes));
    if (block) block->capacity = kSectorsPerRead * kFrameBytes;
    return block;
}

// Ends the track with `reason` unless an earlier reason is already recorded.
void Fail(RipSession* s, std::int32_t reason) {
    std::int32_t running = kEndRunning;
    s->endReason.compare_exchange_strong(running, reason);
}

// True when the writer thread gave up (its encoder did not start, or its output
// failed): the reader then ends the track instead of waiting for room that will
// never come.
bool WriterFailed(const RipSession* s) {
    const std::int32_t r = s->endReason.load();
    return r == kEndEncoderStart || r == kEndOutputError;
}

// Turns the block read last into the reference for an overlap-checked read: the
// tail of its good data, overlapFrames frames long, at its disc address. A block
// that holds no good data becomes an empty reference (offset and length = its
// frame count, which is 0 for a block never read). Addresses are disc frames;
// dataOffset is a byte offset into the block's own data area.
void MakeTailReference(ReadBlock* ref) {
    if (ref->dataLength != 0) {
        ref->dataOffset +=
            static_cast<std::int32_t>((ref->frameCount - kOverlapFrames) * kFrameBytes);
        ref->startLba += ref->frameCount - kOverlapFrames;
        ref->frameCount = kOverlapFrames;
        ref->dataLength = kOverlapFrames * kFrameBytes;
    } else {
        ref->dataOffset = static_cast<std::int32_t>(ref->frameCount);
        ref->dataLength = ref->frameCount;
    }
}

// The good data a read reported lies inside its data area.
bool GoodDataInBounds(const ReadBlock* b) {
    return b->dataOffset >= 0 &&
           std::uint64_t{static_cast<std::uint32_t>(b->dataOffset)} + b->dataLength <= b->capacity;
}

enum class Outcome { Finished, Aborted, Failed };

// The read loop. Reads at most kSectorsPerRead frames per call from currentLba
// (a disc frame address) up to endLba, alternating between blocks A and B. A plain
// read is tried first; after a pause for room in the ring, or when the plain read
// returns 4, an overlap-checked read with the other block's tail as reference
// joins the new audio exactly to what was queued before. Known limit: a read that
// keeps failing ends the track after one plain and three overlap-checked tries.
Outcome ReadTrack(RipSession* s, ReadBlock* a, ReadBlock* b, platform::Event& spaceEvent) {
    const std::uint32_t handle = s->cdHandle;
    std::uint32_t n = kSectorsPerRead;
    bool turn = false;
    for (;;) {
        bool waited = false;
        std::uint32_t current;
        {
            std::lock_guard<std::recursive_mutex> guard(s->lock.Native());
            current = s->currentLba;
            if (current < s->endLba && s->endLba - current < kSectorsPerRead)
                n = s->endLba - current;
        }
        if (current >= s->endLba) return Outcome::Finished;
        if (s->stopRequested) return Outcome::Aborted;
        if (WriterFailed(s)) return Outcome::Failed;

        const std::int32_t need = static_cast<std::int32_t>(n * kFrameBytes);
        if (RingFreeBytes(&s->ring) < need) {
            waited = true;
            for (;;) {
                if (s->stopRequested) return Outcome::Aborted;
                if (WriterFailed(s)) return Outcome::Failed;
                spaceEvent.ResetEvent();
                const std::int32_t threshold = kSectorsPerRead * 14112;  // six reads' worth
                RingSetSpaceWait(&s->ring, &spaceEvent, threshold);
                // The writer may have drained the ring before the event was armed;
                // then no further read would set it.
                if (RingFreeBytes(&s->ring) <= threshold)
                    platform::WaitForAny({&spaceEvent, &s->sessionEvent}, kReadTimeoutRoomMs);
                if (s->stopRequested) return Outcome::Aborted;
                if (WriterFailed(s)) return Outcome::Failed;
                if (RingFreeBytes(&s->ring) >= need) break;
            }
        }

        ReadBlock* cur = turn ? a : b;
        ReadBlock* ref = turn ? b : a;
        auto prepare = [&] {
            std::lock_guard<std::recursive_mutex> guard(s->lock.Native());
            cur->startLba = s->currentLba;
            cur->frameCount = n;
            cur->dataOffset = 0;
            cur->dataLength = 0;
        };
        prepare();
        int result = kCdReadError;
        if (!waited) result = ReadCDAudioLBA(handle, cur);
        if (result == kCdReadError) {
            MakeTailReference(ref);
            for (int i = 0; i < kExTries; ++i) {
                if (i > 0) prepare();
                result = ReadCDAudioLBAEx(handle, cur, ref);
                if (result == kCdOk) break;
            }
        }
        turn = !turn;
        // A read must report good data inside its block and account for at least
        // one frame; anything else would corrupt the file or never end.
        if (result != kCdOk || !GoodDataInBounds(cur) || cur->frameCount == 0 ||
            cur->frameCount > n)
            return Outcome::Failed;
        if (cur->dataLength != 0) {
            const auto length = static_cast<std::int32_t>(cur->dataLength);
            if (RingWrite(&s->ring, cur->data() + cur->dataOffset, length) != length)
                return Outcome::Failed;  // more than the room checked for: never drop audio
            s->dataEvent.Set();
        }
        std::lock_guard<std::recursive_mutex> guard(s->lock.Native());
        s->currentLba += cur->frameCount;
    }
}

}  // namespace

// The reader thread: reads the track, then lets the writer drain the ring, waits
// for the writer, frees its blocks and posts WM_RIP_TRACK_DONE, whatever the end.
void RunReaderThread(RipSession* s) {
    const platform::WindowHandle dialog = s->dialogWindow;
    platform::Event spaceEvent(platform::Event::Reset::Auto);
    ReadBlock* a = AllocateBlock();
    ReadBlock* b = AllocateBlock();
    const Outcome outcome = (a && b) ? ReadTrack(s, a, b, spaceEvent) : Outcome::Failed;

    if (outcome == Outcome::Finished) {
        s->readerFinished.store(1, std::memory_order_release);
        s->dataEvent.Set();
        spaceEvent.ResetEvent();
        const std::int32_t threshold = s->ring.capacity - 500;
        RingSetSpaceWait(&s->ring, &spaceEvent, threshold);
        if (RingFreeBytes(&s->ring) <= threshold)
            platform::WaitForAny({&spaceEvent, &s->sessionEvent}, kDrainTimeoutMs);
    } else {
        if (outcome == Outcome::Failed) Fail(s, kEndReadError);
        s->abortWriter = 1;
        s->dataEvent.Set();
    }
    // The ring must not point at this thread's event once the thread has ended.
    RingSetSpaceWait(&s->ring, nullptr, 0);

    // Wait for the writer. It sees abortWriter at its next check, so after the
    // second time-out it is still waited for: a thread is never killed while it
    // may touch the session.
    if (!s->writerDone.Wait(kWriterTimeoutMs)) {
        s->abortWriter = 1;
        s->dataEvent.Set();
        if (!s->writerDone.Wait(kWriterAbortTimeoutMs)) s->writerDone.Wait(platform::kInfinite);
    }
    std::free(a);
    std::free(b);
    platform::PostMessage(dialog, core::WM_RIP_TRACK_DONE, 0, 0);
    s->readerDone = true;
}

}  // namespace rip
