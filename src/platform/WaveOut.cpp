#include "platform/WaveOut.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// PortAudio's initialisation is reference counted but not thread-safe: every
// Pa_Initialize / Pa_Terminate and stream open / close goes through this lock.
std::mutex& PortAudioLock() {
    static std::mutex* m = new std::mutex;  // never destroyed: devices may close late
    return *m;
}

std::atomic<int> g_devicesOpen{0};

// PortAudio's start-up probes every sound system it was built with, and those not
// running (typically a JACK server) print to stderr on every open. This holds the
// process's stderr back while it lives. Known limit: another thread's stderr output in
// that moment is lost too.
class QuietStderr {
  public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

// Frames handed to the stream per write (93 ms at 44100 Hz): a pause or reset waits
// for at most one such write, and the writes are few enough to stay cheap.
constexpr unsigned long kChunkFrames = 4096;

}  // namespace

// One open device. The queue, the flags and the headers' flags are guarded by `mutex`;
// the PortAudio stream is used only by the feeder thread once it runs.
struct WaveOutDevice {
    std::mutex mutex;
    std::condition_variable wake;  // feeder: work to do; callers: a request finished
    std::deque<WaveHeader*> queue;
    std::size_t playedBytes = 0;  // of queue.front()
    bool paused = false;
    bool resetRequested = false;
    std::uint64_t resetsDone = 0;
    bool closing = false;
    bool streamRunning = false;

    PaStream* stream = nullptr;
    unsigned frameBytes = 4;
    WaveOutCallback callback = nullptr;
    std::uintptr_t instance = 0;
    std::thread feeder;

    void Notify(unsigned notice, std::uintptr_t param1) {
        if (callback) callback(this, notice, instance, param1, 0);
    }
    void FeederLoop();
};

// The feeder thread: writes the front buffer to the stream a chunk at a time and
// returns each finished buffer with its done notice, in queue order. Pausing drains
// and stops the stream (the audio already handed over plays out, nothing is lost);
// a reset drops the queue and returns every buffer. Notices are delivered without
// the lock held, so the callback may use the caller's own locks freely.
void WaveOutDevice::FeederLoop() {
    Notify(kWaveOpenNotice, 0);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] {
            return closing || resetRequested || (paused && streamRunning) ||
                   (!paused && !queue.empty());
        });
        if (resetRequested) {
            std::deque<WaveHeader*> dropped;
            dropped.swap(queue);
            playedBytes = 0;
            for (WaveHeader* h : dropped) {
                h->flags = (h->flags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
            }
            const bool running = streamRunning;
            streamRunning = false;
            paused = false;
            lock.unlock();
            if (running) Pa_AbortStream(stream);
            for (WaveHeader* h : dropped)
                Notify(kWaveDoneNotice, reinterpret_cast<std::uintptr_t>(h));
            lock.lock();
            resetRequested = false;
            ++resetsDone;
            wake.notify_all();
            continue;
        }
        if (closing) break;
        if (paused) {
            streamRunning = false;
            lock.unlock();
            Pa_StopStream(stream);
            lock.lock();
            continue;
        }

        WaveHeader* h = queue.front();
        const std::size_t remaining = h->bufferLength - playedBytes;
        const unsigned long frames =
            static_cast<unsigned long>(std::min<std::size_t>(remaining / frameBytes, kChunkFrames));
        const char* chunk = h->data + playedBytes;
        const bool startStream = !streamRunning;
        streamRunning = true;
        lock.unlock();
        if (startStream) Pa_StartStream(stream);
        // An underflow report is not an error here: the audio was still written.
        if (frames > 0) Pa_WriteStream(stream, chunk, frames);
        lock.lock();
        // A reset while the lock was free dropped the buffer already.
        if (resetRequested || queue.empty() || queue.front() != h) continue;
        playedBytes += static_cast<std::size_t>(frames) * frameBytes;
        if (frames == 0 || playedBytes + frameBytes > h->bufferLength) {
            queue.pop_front();
            playedBytes = 0;
            h->flags = (h->flags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
            lock.unlock();
            Notify(kWaveDoneNotice, reinterpret_cast<std::uintptr_t>(h));
            lock.lock();
        }
    }
    const bool running = streamRunning;
    streamRunning = false;
    lock.unlock();
    if (running) Pa_StopStream(stream);
    Notify(kWaveCloseNotice, 0);
}

int WaveOutOpen(WaveOutHandle* out, std::uint32_t deviceId, const WaveFormat* format,
                WaveOutCallback callback, std::uintptr_t instance) {
    if (!out || !format) return kWaveInvalidParam;
    *out = nullptr;
    if (deviceId != kWaveMapper) return kWaveBadDevice;
    if (format->formatTag != kWaveFormatPcm || format->bitsPerSample != 16 ||
        format->channels < 1 || format->channels > 2 || format->samplesPerSec == 0 ||
        format->blockAlign != format->channels * 2) {
        return kWaveBadFormat;
    }

    auto* device = new WaveOutDevice;
    device->frameBytes = format->blockAlign;
    device->callback = callback;
    device->instance = instance;
    {
        std::lock_guard<std::mutex> pa(PortAudioLock());
        QuietStderr quiet;
        if (Pa_Initialize() != paNoError) {
            delete device;
            return kWaveBadDevice;
        }
        const PaDeviceIndex index = Pa_GetDefaultOutputDevice();
        const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
        PaError err = paInvalidDevice;
        if (info) {
            PaStreamParameters params{};
            params.device = index;
            params.channelCount = format->channels;
            params.sampleFormat = paInt16;
            params.suggestedLatency = info->defaultHighOutputLatency;
            err = Pa_OpenStream(&device->stream, nullptr, &params, format->samplesPerSec,
                                kChunkFrames, paClipOff, nullptr, nullptr);
        }
        if (err != paNoError) {
            Pa_Terminate();
            delete device;
            return kWaveBadDevice;
        }
    }
    ++g_devicesOpen;
    device->feeder = std::thread([device] { device->FeederLoop(); });
    *out = device;
    return kWaveOk;
}

int WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t headerSize) {
    if (!device) return kWaveInvalidHandle;
    if (!header || !header->data || headerSize < sizeof(WaveHeader)) return kWaveInvalidParam;
    std::lock_guard<std::mutex> guard(device->mutex);
    if (header->flags & kWaveHeaderInQueue) return kWaveStillPlaying;
    header->flags |= kWaveHeaderPrepared;
    return kWaveOk;
}

int WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t headerSize) {
    if (!device) return kWaveInvalidHandle;
    if (!header || headerSize < sizeof(WaveHeader)) return kWaveInvalidParam;
    std::lock_guard<std::mutex> guard(device->mutex);
    if (header->flags & kWaveHeaderInQueue) return kWaveStillPlaying;
    header->flags &= ~kWaveHeaderPrepared;
    return kWaveOk;
}

int WaveOutWrite(WaveOutHandle device, WaveHeader* header, std::uint32_t headerSize) {
    if (!device) return kWaveInvalidHandle;
    if (!header || headerSize < sizeof(WaveHeader)) return kWaveInvalidParam;
    std::lock_guard<std::mutex> guard(device->mutex);
    if (!(header->flags & kWaveHeaderPrepared)) return kWaveUnprepared;
    if (header->flags & kWaveHeaderInQueue) return kWaveStillPlaying;
    header->flags = (header->flags & ~kWaveHeaderDone) | kWaveHeaderInQueue;
    device->queue.push_back(header);
    device->wake.notify_all();
    return kWaveOk;
}

int WaveOutPause(WaveOutHandle device) {
    if (!device) return kWaveInvalidHandle;
    std::lock_guard<std::mutex> guard(device->mutex);
    device->paused = true;
    device->wake.notify_all();
    return kWaveOk;
}

int WaveOutRestart(WaveOutHandle device) {
    if (!device) return kWaveInvalidHandle;
    std::lock_guard<std::mutex> guard(device->mutex);
    device->paused = false;
    device->wake.notify_all();
    return kWaveOk;
}

int WaveOutReset(WaveOutHandle device) {
    if (!device) return kWaveInvalidHandle;
    std::unique_lock<std::mutex> lock(device->mutex);
    const std::uint64_t target = device->resetsDone + 1;
    device->resetRequested = true;
    device->wake.notify_all();
    device->wake.wait(lock, [&] { return device->resetsDone >= target; });
    return kWaveOk;
}

int WaveOutClose(WaveOutHandle device) {
    if (!device) return kWaveInvalidHandle;
    {
        std::lock_guard<std::mutex> guard(device->mutex);
        if (!device->queue.empty()) return kWaveStillPlaying;
        device->closing = true;
        device->wake.notify_all();
    }
    device->feeder.join();
    {
        std::lock_guard<std::mutex> pa(PortAudioLock());
        QuietStderr quiet;
        Pa_CloseStream(device->stream);
        Pa_Terminate();
    }
    --g_devicesOpen;
    delete device;
    return kWaveOk;
}

int WaveOutDevicesOpen() {
    return g_devicesOpen.load();
}

const char* WaveOutLibraryVersion() {
    return Pa_GetVersionText();
}

}  // namespace platform
