// The converter engine: turns one WAV file into one MP3 file through the encoder
// module bound at start (ConverterLibrary.h) and given to it, reporting progress to a caller's
// function about once a second. Its owner is the convert dialog (or the headless
// convert command), which runs Convert on a worker thread and may call Abort from
// another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "convert/ConverterLibrary.h"
#include "core/Channels.h"

namespace convert {

// Progress event types handed to ConvertProgress::notify.
inline constexpr std::int32_t kConvertRunning = 0;
inline constexpr std::int32_t kConvertFinished = 2;
inline constexpr std::int32_t kConvertAborted = 3;
inline constexpr std::int32_t kConvertFailed = 4;
// The source was shorter than its header declares: what it held was converted.
inline constexpr std::int32_t kConvertTruncated = 5;

// Result codes of ConverterEngine::Convert.
inline constexpr int kConvertOk = 0;
inline constexpr int kConvertChunkFailedSilently = 1;  // failed, no progress function given
inline constexpr int kConvertCannotOpenSource = 2;
inline constexpr int kConvertResultAborted = 3;
inline constexpr int kConvertResultFailed = 4;     // failed, progress function given
inline constexpr int kConvertResultTruncated = 5;  // converted what the cut-short source held
inline constexpr int kConvertNotLoaded = 8;

// What a two-channel source becomes (one-channel sources stay as they are).
using core::Channels;

// The progress function: event type, fraction of the file done (0.0 for the final
// events), milliseconds since the conversion started, then context and context2 as
// given. Returning 0 ends the conversion as if the data had ended.
using ConvertNotifyFn = std::int32_t (*)(std::int32_t type, double fraction,
                                         std::uint32_t elapsedMs, void* context, void* context2);

struct ConvertProgress {
    void* context = nullptr;
    void* context2 = nullptr;
    ConvertNotifyFn notify = nullptr;
};

// A 16-byte interface identifier, as QueryInterface takes it.
struct InterfaceId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
inline constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);

// The engine keeps the slot order of a COM-style object: QueryInterface, AddRef,
// Release, Init, IsLoaded, CanConvert, Convert, Abort, two empty slots, destructor.
class ConverterEngine {
  public:
    // The millisecond clock the engine reads for its progress events.
    using TickSource = std::uint32_t (*)();

    // Converts through `library` (which outlives the engine); `clock` null reads
    // platform::TickCount.
    explicit ConverterEngine(const ConverterLibrary& library, TickSource clock = nullptr)
        : library_(library), clock_(clock) {}
    ConverterEngine(const ConverterEngine&) = delete;
    ConverterEngine& operator=(const ConverterEngine&) = delete;

    // Answers kNoInterface for every interface; *out is not written.
    virtual std::int32_t QueryInterface(const InterfaceId& iid, void** out);
    virtual std::uint32_t AddRef();
    // Drops the count; at 0 the engine deletes itself, so only call it on an engine
    // made with new (the count starts at 1).
    virtual std::uint32_t Release();
    // 1 when the module is bound and usable (IsLoaded); loads nothing.
    virtual int Init();
    // 1 when the module was loaded and DLL_ORVAM_B, _C and _D were all found.
    virtual int IsLoaded();
    // 1 when the source's extension matches "WAV" and the target's "MP3".
    virtual int CanConvert(const char* source, const char* target);
    // Converts source to target at bitRate kbit/s; reserved is ignored; progress may
    // be null. Blocks on the caller's thread and returns one of the kConvert codes.
    virtual int Convert(const char* source, const char* target, std::int32_t bitRate,
                        std::int32_t reserved, const ConvertProgress* progress);
    // Asks a running Convert to stop at its next chunk; safe from any thread. Returns 0.
    virtual int Abort();
    virtual int Reserved9() { return 0; }
    virtual int Reserved10() { return 0; }
    virtual ~ConverterEngine() = default;

    // Why the last Convert did not end as a plain success (a truncated source, a
    // source that could not be opened or read, the module's refusal, a failed chunk,
    // an abort); empty after a success, unless the source's tags could not be carried
    // into the target. Read it on the thread that ran Convert.
    const std::string& LastProblem() const { return problem_; }
    // The name the last conversion's target was kept under: the target given, or a
    // name beside it when a stopped or cut-short result would have replaced an earlier
    // file, or another run took the name meanwhile; empty when nothing was kept.
    const std::string& LastTarget() const { return lastTarget_; }

    // A path's extension by the converter's rule: the text after the last '.', when it
    // comes after the last separator; empty when a separator comes after the last '.'
    // or there is a separator and no '.'; a path with neither is its own extension.
    static const char* Extension(const char* path);
    // Channel mode for the module: 3 for one channel, 1 for two, 0 otherwise.
    static std::int32_t ChannelMode(int channels);
    // The bit rate handed to the module: at least 128 for a 32000 Hz source.
    static std::int32_t EncoderBitRate(std::uint32_t sampleRate, std::int32_t bitRate);

    // The channel choice of the conversions that follow; Stereo until set. Set it before
    // Convert starts, not while it runs.
    void SetChannels(Channels channels);

  private:
    std::uint32_t Now() const;

    const ConverterLibrary& library_;
    const TickSource clock_;
    std::atomic<std::uint32_t> refCount_{1};
    std::atomic<std::int32_t> abort_{0};
    std::string problem_;
    std::string lastTarget_;
    std::atomic<Channels> channels_{Channels::Stereo};
};

}  // namespace convert
