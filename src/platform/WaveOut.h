// Wave output: plays 16-bit PCM through the system's default sound device with the
// call shapes of a classic wave output service. The caller opens a device with a
// completion callback, prepares headers that describe its own buffers, writes them
// (they play in the order written), and gets a done notice for every written buffer,
// in order, on the device's own thread. Pause, restart and reset act on the queue;
// a device closes only when no buffer is left in it.
//
// Built over PortAudio's blocking stream: one feeder thread per open device writes
// the queued buffers to the stream and delivers the done notices.
//
// The callback must not call any WaveOut function on its own device: it runs on the
// feeder thread, which those calls wait for (the same rule the classic service has).
#pragma once

#include <cstdint>

namespace platform {

// Results, with the classic service's numbers.
inline constexpr int kWaveOk = 0;
inline constexpr int kWaveError = 1;      // unspecified failure
inline constexpr int kWaveBadDevice = 2;  // no such device / no sound device
inline constexpr int kWaveInvalidHandle = 5;
inline constexpr int kWaveNoDriver = 6;
inline constexpr int kWaveInvalidParam = 11;
inline constexpr int kWaveBadFormat = 32;
inline constexpr int kWaveStillPlaying = 33;  // a buffer is still queued
inline constexpr int kWaveUnprepared = 34;    // the header was not prepared

// Device id of the system's default output device.
inline constexpr std::uint32_t kWaveMapper = 0xFFFFFFFFu;

// Notices given to the callback.
inline constexpr unsigned kWaveOpenNotice = 955;
inline constexpr unsigned kWaveCloseNotice = 956;
inline constexpr unsigned kWaveDoneNotice = 957;

// Header flags.
inline constexpr std::uint32_t kWaveHeaderDone = 0x01;
inline constexpr std::uint32_t kWaveHeaderPrepared = 0x02;
inline constexpr std::uint32_t kWaveHeaderInQueue = 0x10;

inline constexpr std::uint16_t kWaveFormatPcm = 1;

struct WaveFormat {
    std::uint16_t formatTag;  // kWaveFormatPcm
    std::uint16_t channels;
    std::uint32_t samplesPerSec;
    std::uint32_t avgBytesPerSec;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    std::uint16_t extraSize;
};

// Describes one caller-owned buffer. While the header is queued (flag kWaveHeaderInQueue)
// the device owns it and its buffer; the caller touches it again after the done notice.
struct WaveHeader {
    char* data;
    std::uint32_t bufferLength;  // bytes, a whole number of sample frames
    std::uint32_t bytesRecorded;
    std::uintptr_t user;
    std::uint32_t flags;  // read under the device's lock: use the calls, not the field,
                          // while the header may be queued
    std::uint32_t loops;
    WaveHeader* next;
    std::uintptr_t reserved;
};

struct WaveOutDevice;
using WaveOutHandle = WaveOutDevice*;

// Called on the device's feeder thread. For kWaveDoneNotice, param1 is the returned
// WaveHeader*; the open and close notices carry nothing.
using WaveOutCallback = void (*)(WaveOutHandle device, unsigned notice, std::uintptr_t instance,
                                 std::uintptr_t param1, std::uintptr_t param2);

// Opens deviceId (only kWaveMapper is known) for the format: 16-bit PCM, 1 or 2 channels.
// kWaveOk and *out set, or an error with *out null: kWaveBadDevice when the system has
// no output device or it cannot be opened, kWaveBadFormat for other formats.
int WaveOutOpen(WaveOutHandle* out, std::uint32_t deviceId, const WaveFormat* format,
                WaveOutCallback callback, std::uintptr_t instance);
int WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t headerSize);
// kWaveStillPlaying while the header is queued; kWaveOk when it was not prepared.
int WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t headerSize);
// Queues a prepared header behind the ones already written.
int WaveOutWrite(WaveOutHandle device, WaveHeader* header, std::uint32_t headerSize);
// Holds playback where it is: queued buffers stay queued, nothing is lost.
int WaveOutPause(WaveOutHandle device);
// Resumes after a pause (no effect when not paused).
int WaveOutRestart(WaveOutHandle device);
// Drops every queued buffer: each gets its done notice (in order, on the feeder
// thread) before this returns. The device is then idle and no longer paused.
int WaveOutReset(WaveOutHandle device);
// Closes the device and frees it; kWaveStillPlaying (device left open) while a buffer
// is queued.
int WaveOutClose(WaveOutHandle device);

// Devices open in this process (for tests and diagnostics).
int WaveOutDevicesOpen();

// The name and version of the sound library wave output runs over.
const char* WaveOutLibraryVersion();

}  // namespace platform
