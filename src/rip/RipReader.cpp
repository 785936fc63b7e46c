// The reader thread of a rip: reads the track's frames from the disc and queues
// the audio in the session's ring for the writer thread.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cdaccess/CdAccess.h"
#include "rip/RipEngine.h"
#include "rip/TrackChecksum.h"

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

// Waits until the ring has room for `need` bytes. Wakes when the writer has drained
// the ring to under two reads' worth, or on sessionEvent. Sets `waited` when it had
// to wait; returns Finished once there is room.
Outcome WaitForRoom(RipSession* s, std::int32_t need, platform::Event& spaceEvent, bool& waited) {
    while (RingFreeBytes(&s->ring) < need) {
        waited = true;
        if (s->stopRequested) return Outcome::Aborted;
        if (WriterFailed(s)) return Outcome::Failed;
        spaceEvent.ResetEvent();
        const std::int32_t threshold = kSectorsPerRead * 14112;  // six reads' worth
        RingSetSpaceWait(&s->ring, &spaceEvent, threshold);
        // The writer may have drained the ring before the event was armed; then no
        // further read would set it.
        if (RingFreeBytes(&s->ring) <= threshold)
            platform::WaitForAny({&spaceEvent, &s->sessionEvent}, kReadTimeoutRoomMs);
        if (s->stopRequested) return Outcome::Aborted;
        if (WriterFailed(s)) return Outcome::Failed;
    }
    return Outcome::Finished;
}

// One pass over the track. The test pass of a verified rip only sums the audio
// (and reports progress itself); the copy pass queues it for the writer and sums it.
// Bytes read before the track's first byte (a read offset that is not a whole
// number of frames) are dropped, and so is anything past its last byte.
struct Pass {
    bool test = false;
    std::uint64_t skip = 0;  // bytes still to drop before the track's audio
    std::uint64_t keep = 0;  // bytes of the track's audio still to deliver
    TrackChecksum* checksum = nullptr;
};

// Sums `n` bytes of the track and, in the copy pass, queues them for the writer (the
// caller has checked the room).
Outcome Emit(RipSession* s, Pass& pass, const unsigned char* data, std::uint64_t n) {
    if (n == 0) return Outcome::Finished;
    if (s->sumAudio) pass.checksum->Add(data, n);
    if (pass.test) {
        ReportProgress(s, n);
        return Outcome::Finished;
    }
    const auto length = static_cast<std::int32_t>(n);
    if (RingWrite(&s->ring, data, length) != length)
        return Outcome::Failed;  // more than the room checked for: never drop audio
    s->dataEvent.Set();
    return Outcome::Finished;
}

// Hands `n` bytes of what was read to the pass: what lies before the track's first
// byte or past its last is dropped.
Outcome Deliver(RipSession* s, Pass& pass, const unsigned char* data, std::uint64_t n) {
    const std::uint64_t skip = std::min(pass.skip, n);
    pass.skip -= skip;
    n = std::min(n - skip, pass.keep);
    pass.keep -= n;
    return Emit(s, pass, data + skip, n);
}

// Silence for the part of the track that lies before the disc's first frame or past
// its last readable one: those frames are never read.
Outcome DeliverSilence(RipSession* s, Pass& pass, std::uint64_t bytes,
                       platform::Event& spaceEvent) {
    static const std::vector<unsigned char> zeros(kSectorsPerRead * kFrameBytes);
    while (bytes > 0) {
        const std::uint64_t n = std::min<std::uint64_t>(bytes, zeros.size());
        bool waited = false;
        if (!pass.test) {
            const Outcome room = WaitForRoom(s, static_cast<std::int32_t>(n), spaceEvent, waited);
            if (room != Outcome::Finished) return room;
        } else if (s->stopRequested) {
            return Outcome::Aborted;
        }
        const Outcome o = Emit(s, pass, zeros.data(), n);
        if (o != Outcome::Finished) return o;
        bytes -= n;
    }
    return Outcome::Finished;
}

// The read loop. Reads at most kSectorsPerRead frames per call from currentLba
// (a disc frame address) up to endLba, alternating between blocks A and B. A plain
// read is tried first; after a pause for room in the ring, or when the plain read
// returns 4, an overlap-checked read with the other block's tail as reference
// joins the new audio exactly to what was queued before. Known limit: a read that
// keeps failing ends the track after one plain and three overlap-checked tries.
Outcome ReadTrack(RipSession* s, ReadBlock* a, ReadBlock* b, Pass& pass,
                  platform::Event& spaceEvent) {
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

        if (!pass.test) {
            const Outcome room =
                WaitForRoom(s, static_cast<std::int32_t>(n * kFrameBytes), spaceEvent, waited);
            if (room != Outcome::Finished) return room;
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
        const bool plainFailed = !waited && result == kCdReadError;
        if (result == kCdReadError) {
            MakeTailReference(ref);
            for (int i = 0; i < kExTries; ++i) {
                if (i > 0) prepare();
                ++s->overlapReads;
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
        if (plainFailed) ++s->recoveredErrors;
        const Outcome o = Deliver(s, pass, cur->data() + cur->dataOffset, cur->dataLength);
        if (o != Outcome::Finished) return o;
        std::lock_guard<std::recursive_mutex> guard(s->lock.Native());
        s->currentLba += cur->frameCount;
    }
}

// One whole pass: silence before the disc's start, the frames read, silence past
// its end. The blocks start empty, so the first overlap-checked read of the pass
// has no reference.
Outcome RunPass(RipSession* s, ReadBlock* a, ReadBlock* b, bool test, platform::Event& spaceEvent) {
    const ReadPlan& plan = s->plan;
    Pass pass;
    pass.test = test;
    pass.skip = plan.skipBytes;
    pass.keep = plan.keepBytes;
    pass.checksum = test ? &s->testChecksum : &s->checksum;
    pass.checksum->Start(std::uint64_t{s->lengthFrames} * kSamplesPerFrame, plan.firstAudioTrack,
                         plan.lastAudioTrack, plan.ctdbTailSamples);
    for (ReadBlock* block : {a, b}) {
        const std::uint32_t capacity = block->capacity;
        std::memset(block, 0, sizeof(ReadBlock));
        block->capacity = capacity;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(s->lock.Native());
        s->currentLba = plan.firstFrame;
        s->endLba = plan.endFrame;
    }
    Outcome o = DeliverSilence(s, pass, plan.silenceBefore, spaceEvent);
    if (o == Outcome::Finished) o = ReadTrack(s, a, b, pass, spaceEvent);
    if (o == Outcome::Finished) o = DeliverSilence(s, pass, plan.silenceAfter, spaceEvent);
    return o;
}

// The test pass (when the rip is verified), then the copy pass.
Outcome ReadPasses(RipSession* s, ReadBlock* a, ReadBlock* b, platform::Event& spaceEvent) {
    if (s->verify) {
        const Outcome o = RunPass(s, a, b, true, spaceEvent);
        if (o != Outcome::Finished) return o;
        s->testPassDone = true;
    }
    return RunPass(s, a, b, false, spaceEvent);
}

}  // namespace

// The reader thread: reads the track, then lets the writer drain the ring, waits
// for the writer, frees its blocks and reports the track's end, whatever the end.
void RunReaderThread(RipSession* s) {
    platform::Event spaceEvent(platform::Event::Reset::Auto);
    ReadBlock* a = AllocateBlock();
    ReadBlock* b = AllocateBlock();
    const Outcome outcome = (a && b) ? ReadPasses(s, a, b, spaceEvent) : Outcome::Failed;

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
    s->observer->TrackEnded(s->endReason.load());
    s->readerDone = true;
}

}  // namespace rip
