#include "player/CdPlayer.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cd/TrackTable.h"
#include "cdaccess/CdAccess.h"
#include "platform/Sync.h"
#include "platform/WaveOut.h"

namespace player {

namespace {

constexpr std::int32_t kBlockFrames = 25;
constexpr std::uint32_t kReadBufferBytes = 58900;  // ReadBlock header + data area
constexpr std::uint32_t kDataAreaBytes = kReadBufferBytes - sizeof(ReadBlock);
constexpr std::uint32_t kBlockBytes = kBlockFrames * kFrameBytes;  // 58800, a third of a second
constexpr int kMaxReads = 20;
constexpr std::uint32_t kRetrySleepMs = 10;
constexpr int kBuffers = 3;
static_assert(kBlockBytes <= kDataAreaBytes);

}  // namespace

// The stream of one player, shared by its operations (user-interface thread), the
// player thread and the output callback (the device's feeder thread).
//
// `device` is written by the user-interface thread only while no player thread
// runs, and by the player thread only when it closes the device after a failure;
// `deviceLock` keeps a Pause or resume from using a device the thread is closing.
struct PlayerStream {
    int stopped = 1;  // user-interface thread only
    std::mutex deviceLock;
    platform::WaveOutHandle device = nullptr;
    std::atomic<bool> devicePaused{false};
    std::unique_ptr<platform::Event> stopEvent;
    std::unique_ptr<platform::Semaphore> buffers;  // free places in the device's queue
    // Set by the output callback after it gives a place back, so the player thread
    // sleeps until a place or a stop comes instead of looking every few milliseconds.
    std::unique_ptr<platform::Event> placeFreed;
    std::thread thread;

    std::int32_t playStart = 0;
    std::int32_t playLength = 0;
    std::atomic<std::int32_t> playOffset{0};
    std::uint32_t cdHandle = 0;
    platform::WindowHandle mainWindow = 0;
    std::atomic<CdPlayer::EndReason> endReason{CdPlayer::EndReason::None};

    alignas(8) unsigned char readBuffers[kBuffers][kReadBufferBytes] = {};
    platform::WaveHeader headers[kBuffers] = {};
};

namespace {

// The device's done notice, on the device's own thread: gives the buffer's place
// back. The header is unprepared later by the player thread, since no device call
// may be made from inside the callback. `instance` is the stream.
void OutputCallback(platform::WaveOutHandle, unsigned notice, std::uintptr_t instance,
                    std::uintptr_t, std::uintptr_t) {
    if (notice != platform::kWaveDoneNotice) return;
    auto* stream = reinterpret_cast<PlayerStream*>(instance);
    stream->buffers->Release(1);
    stream->placeFreed->Set();
}

// Called by the player thread when it gives the device up after a failure: drops
// what is queued, unprepares the headers, closes the device and clears the handle.
void CloseDeviceFromThread(PlayerStream& s) {
    std::lock_guard<std::mutex> guard(s.deviceLock);
    if (!s.device) return;
    platform::WaveOutReset(s.device);
    for (platform::WaveHeader& h : s.headers)
        platform::WaveOutUnprepareHeader(s.device, &h, sizeof h);
    platform::WaveOutClose(s.device);
    s.device = nullptr;
}

// The player thread. Reads block after block from playStart + playOffset and queues
// each to the device until the range ends, the drive fails or a stop is signalled;
// then waits until the device has returned every block.
//
// Addresses: playStart is a disc address (LBA); playOffset counts frames from it and
// may be moved by a seek at any time, taking effect with the next block read.
//
// Every wait also watches the stop event. A stop that finds the device paused resets
// it, so the queued blocks come back at once instead of never.
void PlayerThread(PlayerStream* stream) {
    PlayerStream& s = *stream;
    platform::WaveOutHandle device = s.device;  // only this thread changes it while it runs
    bool stopping = false;
    auto stopSeen = [&] {
        if (!stopping && s.stopEvent->TryWait()) stopping = true;
        return stopping;
    };
    auto waitForStop = [&](std::uint32_t ms) {
        if (!stopping && s.stopEvent->Wait(ms)) stopping = true;
        return stopping;
    };
    // Sleeps until the device gives a place back or, unless one was seen already, a
    // stop comes.
    auto waitForPlaceOrStop = [&] {
        if (platform::WaitForAny({stopping ? nullptr : s.stopEvent.get(), s.placeFreed.get()},
                                 platform::kInfinite) == 0)
            stopping = true;
    };

    CdPlayer::EndReason reason = CdPlayer::EndReason::Stopped;
    platform::WaveOutReset(device);
    int i = 0;
    for (;;) {
        if (stopSeen()) break;

        auto* block = reinterpret_cast<ReadBlock*>(s.readBuffers[i]);
        platform::WaveHeader& header = s.headers[i];
        header = platform::WaveHeader{};
        header.data = reinterpret_cast<char*>(block->data());
        header.bufferLength = kBlockBytes;
        header.loops = 1;
        const std::int32_t offset = s.playOffset.load();
        block->startLba = static_cast<std::uint32_t>(s.playStart + offset);
        block->frameCount = kBlockFrames;
        block->capacity = kDataAreaBytes;

        int result = ReadCDAudioLBA(s.cdHandle, block);
        int reads = 1;
        while (result == kCdReadError && reads < kMaxReads) {
            MS(s.cdHandle);
            if (waitForStop(kRetrySleepMs)) break;
            result = ReadCDAudioLBA(s.cdHandle, block);
            ++reads;
        }
        if (stopping) break;
        if (result == kCdReadError && TestUnitReady(s.cdHandle) == kCdReadError) {
            MS(s.cdHandle);
            reason = CdPlayer::EndReason::DriveFailed;
            platform::PostMessage(s.mainWindow, core::WM_PLAY_END, 0, 0);
            CloseDeviceFromThread(s);
            device = nullptr;
            break;
        }

        // Advance past the block just read, unless a seek arrived meanwhile: then the
        // seek's position is the next one.
        std::int32_t next = offset;
        if (s.playOffset.compare_exchange_strong(next, offset + kBlockFrames))
            next = offset + kBlockFrames;
        if (next >= s.playLength) {
            reason = CdPlayer::EndReason::EndOfRange;
            platform::PostMessage(s.mainWindow, core::WM_PLAY_END, 0, 0);
            break;
        }

        platform::WaveOutUnprepareHeader(device, &header, sizeof header);
        if (platform::WaveOutPrepareHeader(device, &header, sizeof header) != platform::kWaveOk) {
            platform::WaveOutUnprepareHeader(device, &header, sizeof header);
            reason = CdPlayer::EndReason::PrepareFailed;
            CloseDeviceFromThread(s);
            device = nullptr;
            break;
        }
        bool placed = false;
        while (!(placed = s.buffers->Acquire(0))) {
            if (stopSeen()) break;
            waitForPlaceOrStop();
        }
        if (!placed) break;
        platform::WaveOutWrite(device, &header, sizeof header);
        i = (i + 1) % kBuffers;
    }

    // Wait until no block is left in the device: both places taken back.
    bool reset = false;
    for (int taken = 0; taken < 2;) {
        if (s.buffers->Acquire(0)) {
            ++taken;
        } else if (!reset && device && stopSeen() && s.devicePaused.load()) {
            platform::WaveOutReset(device);
            reset = true;
        } else {
            waitForPlaceOrStop();
        }
    }
    if (device) {
        for (platform::WaveHeader& h : s.headers)
            platform::WaveOutUnprepareHeader(device, &h, sizeof h);
    }
    s.endReason = reason;
}

// True while a stream has an open device or a thread not yet joined.
bool StreamExists(PlayerStream& s) {
    std::lock_guard<std::mutex> guard(s.deviceLock);
    return s.device || s.thread.joinable();
}

// StopThread and the close: signals the stop, waits for the player thread (each of
// its waits sees the stop, so this is prompt), closes the device if the thread has
// not, and releases the event and the semaphore. The semaphore goes last: the
// device's callback uses it until the device is closed.
void EndStream(PlayerStream& s) {
    if (s.thread.joinable()) {
        s.stopEvent->Set();
        s.thread.join();
    }
    {
        std::lock_guard<std::mutex> guard(s.deviceLock);
        // The thread has ended, so every block is back: the close cannot find one queued.
        if (s.device) platform::WaveOutClose(s.device);
        s.device = nullptr;
    }
    s.devicePaused = false;
    s.stopEvent.reset();
    s.buffers.reset();
    s.placeFreed.reset();
}

}  // namespace

CdPlayer::CdPlayer() : stream_(std::make_unique<PlayerStream>()) {}

CdPlayer::~CdPlayer() {
    Stop();
    // The device and the thread go before the stream they use.
    if (StreamExists(*stream_)) EndStream(*stream_);
}

void CdPlayer::SelectTrack(int trackNumber) {
    selectedTrack_ = trackNumber;
    // The track table the list and the rip are built from, so that a track plays
    // exactly the frames its row shows and a rip copies, whatever the disc's first
    // track number and whatever gap precedes a data session.
    DriveListRecord drives{};
    std::vector<cd::TrackEntry> table(cd::kMaxTracks);
    std::vector<cd::TrackRow> rows;
    const int count = cd::BuildTrackTable(cdHandle_, drives, table.data(), rows);
    if (count <= 0) return;
    table.resize(static_cast<std::size_t>(count));
    table_ = std::move(table);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const cd::TrackEntry& entry = table_[k];
        if (entry.isData || rows[k].trackNumber != trackNumber) continue;
        rangeStart_ = static_cast<std::int32_t>(entry.startLba);
        rangeLength_ = static_cast<std::int32_t>(entry.lengthFrames);
        return;
    }
}

int CdPlayer::GetTrackLength(int trackNumber, int& seconds) const {
    seconds = 0;
    if (trackNumber >= 1 && static_cast<std::size_t>(trackNumber) <= table_.size())
        seconds = static_cast<int>(table_[static_cast<std::size_t>(trackNumber - 1)].lengthFrames /
                                   kFramesPerSecond);
    return 1;
}

int CdPlayer::Play(int trackNumber) {
    if (playing_ == 1) Stop();
    return Start(trackNumber) ? 1 : 0;
}

int CdPlayer::Start(int) {
    PlayerStream& s = *stream_;
    if (paused_ == 1) {
        std::lock_guard<std::mutex> guard(s.deviceLock);
        if (!s.device) return 0;
        platform::WaveOutRestart(s.device);
        s.devicePaused = false;
        paused_ = 0;
        playing_ = 1;
        return 1;
    }
    s.stopped = 0;
    if (!OpenDevice()) return 0;
    paused_ = 0;
    playing_ = 1;
    return 1;
}

// Opens the default device for the selected range and starts the player thread.
// A stream left over from a failure that nobody stopped is released first.
int CdPlayer::OpenDevice() {
    PlayerStream& s = *stream_;
    if (StreamExists(s)) EndStream(s);
    s.playOffset = 0;
    s.playStart = rangeStart_;
    s.playLength = rangeLength_;
    s.cdHandle = cdHandle_;
    s.mainWindow = mainWindow_;

    const platform::WaveFormat format{platform::kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};
    platform::WaveOutHandle device = nullptr;
    if (platform::WaveOutOpen(&device, platform::kWaveMapper, &format, OutputCallback,
                              reinterpret_cast<std::uintptr_t>(&s)) != platform::kWaveOk) {
        return 0;
    }
    {
        std::lock_guard<std::mutex> guard(s.deviceLock);
        s.device = device;
    }
    // StartThread: the stop event, the buffer semaphore (2 free of 3) and the thread.
    s.stopEvent = std::make_unique<platform::Event>(platform::Event::Reset::Auto, false);
    s.buffers = std::make_unique<platform::Semaphore>(2, 3);
    s.placeFreed = std::make_unique<platform::Event>(platform::Event::Reset::Auto, false);
    s.devicePaused = false;
    s.endReason = EndReason::None;
    s.thread = std::thread(PlayerThread, &s);
    return 1;
}

int CdPlayer::Pause() {
    PlayerStream& s = *stream_;
    if (s.stopped == 1) return 0;
    if (paused_ == 1) return 1;
    std::lock_guard<std::mutex> guard(s.deviceLock);
    if (!s.device) return 0;
    platform::WaveOutPause(s.device);
    s.devicePaused = true;
    playing_ = 0;
    paused_ = 1;
    return 1;
}

// Ends the stream. Also releases a stream whose thread already closed the device
// after a drive failure, so its thread, event and semaphore are released once, here.
int CdPlayer::Stop() {
    PlayerStream& s = *stream_;
    if (s.stopped != 0 || !StreamExists(s)) return 1;
    s.stopped = 1;
    playing_ = 0;
    paused_ = 0;
    EndStream(s);
    return 1;
}

int CdPlayer::GetPosition(int& seconds) const {
    seconds = stream_->playOffset.load() / static_cast<std::int32_t>(kFramesPerSecond);
    return 1;
}

int CdPlayer::SetPosition(int, int seconds) {
    PlayerStream& s = *stream_;
    if (s.stopped == 1) return 0;
    s.playOffset = seconds * static_cast<std::int32_t>(kFramesPerSecond);
    return 1;
}

CdPlayer::EndReason CdPlayer::LastEndReason() const {
    return stream_->endReason.load();
}

}  // namespace player
