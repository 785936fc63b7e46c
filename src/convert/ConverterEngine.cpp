#include "convert/ConverterEngine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "convert/ConverterLibrary.h"
#include "convert/SourceResampler.h"
#include "convert/WavSource.h"
#include "convert/WavTags.h"
#include "core/Settings.h"
#include "core/TextUtils.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sync.h"
#include "platform/WorkFile.h"

namespace convert {

namespace {

// Closes the source file when the conversion ends, whichever way it ends.
struct SourceFile {
    std::FILE* file;
    ~SourceFile() {
        if (file) std::fclose(file);
    }
};

// Calls the module's chunk entry point; an exception thrown inside it counts as a
// failed chunk.
bool EncodeChunk(OrvamChunkFn chunk, std::uint32_t stream, const std::int16_t* values,
                 std::uint32_t count) {
    try {
        return chunk(stream, values, count) != 0;
    } catch (...) {
        return false;
    }
}

// `what`, with the system's reason when the last failed call left one (for example
// "No space left on device").
std::string SystemReason(const char* what) {
    const int error = errno;
    return error != 0 ? std::string(what) + ": " + std::strerror(error) : std::string(what);
}

}  // namespace

std::int32_t ConverterEngine::QueryInterface(const InterfaceId&, void**) {
    return kNoInterface;
}

std::uint32_t ConverterEngine::AddRef() {
    return ++refCount_;
}

std::uint32_t ConverterEngine::Release() {
    const std::uint32_t count = --refCount_;
    if (count == 0) delete this;
    return count;
}

int ConverterEngine::Init() {
    return IsLoaded() ? 1 : 0;
}

int ConverterEngine::IsLoaded() {
    const ConverterLibrary& lib = library_;
    return lib.module && lib.open && lib.chunk && lib.close ? 1 : 0;
}

const char* ConverterEngine::Extension(const char* path) {
    const char* dot = nullptr;
    const char* separator = nullptr;
    for (const char* p = path; *p; ++p) {
        if (*p == '.') dot = p;
        if (platform::IsPathSeparator(*p)) separator = p;
    }
    if (dot && (!separator || dot > separator)) return dot + 1;
    if (separator) return separator + std::strlen(separator);  // empty text
    return path;
}

int ConverterEngine::CanConvert(const char* source, const char* target) {
    if (!source || !target) return 0;
    return core::CompareNoCase(Extension(source), "WAV", 4) == 0 &&
                   core::CompareNoCase(Extension(target), "MP3", 4) == 0
               ? 1
               : 0;
}

std::int32_t ConverterEngine::ChannelMode(int channels) {
    return channels == 1 ? 3 : channels == 2 ? 1 : 0;
}

std::int32_t ConverterEngine::EncoderBitRate(std::uint32_t sampleRate, std::int32_t bitRate) {
    return sampleRate == 32000 && bitRate < 128 ? 128 : bitRate;
}

int ConverterEngine::Abort() {
    abort_.store(1);
    return 0;
}

void ConverterEngine::SetChannels(Channels channels) {
    channels_.store(channels);
}

std::uint32_t ConverterEngine::Now() const {
    return clock_ ? clock_() : platform::TickCount();
}

// Converts one WAV file into one MP3 file.
//   source, target: file paths as the caller gives them (relative to the current folder
//                   when not absolute); the module writes a working file of this
//                   conversion's own that takes the target's name at the end.
//   bitRate: kbit/s; raised to 128 for a 32000 Hz source.
//   The channel choice (SetChannels) turns a two-channel source into a one-channel MP3
//   unless it is Stereo: the encoder then takes e mono values per chunk, so reads are
//   sized for 2e stereo values and each read is mixed down after resampling.
//   progress: may be null; its notify is called on this thread.
// A source that is not a regular file cannot be opened (code 2). A source that is not
// a WAV file of 8/16/24/32-bit PCM or 32-bit float with one or two channels, or that
// the module refuses to open a stream for, fails (event 4, code 4; code 1 without a
// progress function) before any target is created. The audio is read k values at a
// time from the data chunk, reduced to 16 bits, resampled to 44100 Hz for 22050 and
// 32000 Hz sources, and handed to the module chunk by chunk. The abort flag is read
// once per chunk; an aborted conversion still closes its stream (the target holds
// what was encoded, or a name beside an earlier target does) and returns 3, with or without a
// progress function. A source that holds less audio than its header declares is converted as far as
// it goes and ends with event 5 and code 5 instead of the finished event. LastProblem() says why
// any conversion did not simply succeed.
int ConverterEngine::Convert(const char* source, const char* target, std::int32_t bitRate,
                             std::int32_t /*reserved*/, const ConvertProgress* progress) {
    abort_.store(0);
    problem_.clear();
    lastTarget_.clear();
    if (!IsLoaded() && !Init()) {
        problem_ = "the encoder module DLL_ORVAM.dll is not loaded";
        return kConvertNotLoaded;
    }
    const ConverterLibrary& lib = library_;

    std::string reason = "no source file named";
    SourceFile in{source ? platform::OpenRegularFileForReading(source, reason) : nullptr};
    if (!in.file) {
        problem_ = "cannot open the source: " + reason;
        return kConvertCannotOpenSource;
    }
    const std::uint32_t start = Now();
    const bool reporting = progress && progress->notify;
    auto notify = [&](std::int32_t type, double fraction, std::uint32_t now) {
        return progress->notify(type, fraction, now - start, progress->context, progress->context2);
    };
    auto fail = [&](std::string why) {
        problem_ = std::move(why);
        if (reporting) {
            notify(kConvertFailed, 0.0, Now());
            return kConvertResultFailed;
        }
        return kConvertChunkFailedSilently;
    };

    WavSourceFormat format;
    const WavSourceResult read = ReadWavSource(in.file, &format);
    if (read != WavSourceResult::Ok) return fail(DescribeWavSourceProblem(read, format));
    const std::uint32_t rate = format.samplesPerSecond;

    const Channels channels = channels_.load();
    const bool downMix = format.channels == 2 && channels != Channels::Stereo;
    // The module writes a working file of this run's own, which takes the target's name
    // only at the end: a failed conversion leaves an earlier target untouched.
    platform::WorkFile work;
    reason.clear();
    std::FILE* claimed = platform::CreateWorkFile(target, work, reason);
    if (!claimed) return fail("the target could not be created: " + reason);
    std::fclose(claimed);
    std::uint32_t stream = 0;
    errno = 0;
    const std::uint32_t e = lib.open(work.workPath.c_str(), &stream, EncoderBitRate(rate, bitRate),
                                     ChannelMode(downMix ? 1 : format.channels),
                                     static_cast<std::int32_t>(SourceResampler::EncoderRate(rate)));
    if (e == 0 || stream == 0) {
        const std::string why = SystemReason("the encoder module could not create the target");
        platform::DiscardWorkFile(work);
        return fail(why);
    }
    // Source values per chunk: what the encoder takes, twice that before a mix-down.
    const std::uint32_t chunkValues = downMix ? 2 * e : e;

    SourceResampler resampler(rate, format.channels, chunkValues);
    const std::uint32_t k = resampler.ReadSize();
    if (k == 0 || std::fseek(in.file, static_cast<long>(format.dataOffset), SEEK_SET) != 0) {
        lib.close(stream);
        platform::DiscardWorkFile(work);
        return fail(k == 0 ? "the encoder module's chunk size is too small for this source"
                           : "the source's audio could not be read");
    }
    std::vector<std::int16_t> buffer(chunkValues);
    const std::size_t valueBytes = format.bytesPerValue;
    std::vector<unsigned char> raw(std::size_t{k} * valueBytes);

    // chunks counts half-reads: sent / e grows by 2 per full read, so the fraction is
    // the share of the reads done. Data shorter than one read gives 0 chunks; its one
    // report is then the start, fraction 0.
    const std::uint64_t chunks = format.dataLength / valueBytes / k;
    std::uint64_t remainingValues = format.dataLength / valueBytes;
    std::uint64_t sent = 0;
    std::uint64_t lastWhole = 0;
    std::uint32_t lastSecond = 0;
    bool failed = false;
    bool truncated = format.truncated;
    bool stopped = false;  // ended with audio of the source left unconverted
    std::string failure;

    for (;;) {
        // A stop that comes after the last chunk was read leaves a whole file.
        if (abort_.load()) {
            stopped = remainingValues > 0;
            break;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(k, remainingValues));
        std::size_t n = want ? std::fread(raw.data(), valueBytes, want, in.file) : 0;
        // The file got shorter while it was read: what it still held is converted.
        if (n < want) truncated = true;
        n -= n % format.channels;
        if (n == 0) break;
        remainingValues -= n;
        ReduceTo16Bits(raw.data(), n, format, buffer.data());
        const std::uint32_t resampled =
            resampler.Process(buffer.data(), static_cast<std::uint32_t>(n));
        const std::uint32_t m = downMix ? resampled / 2 : resampled;
        if (downMix) core::DownMix(buffer.data(), m, channels, buffer.data());

        if (reporting) {
            const std::uint32_t now = Now();
            const std::uint32_t seconds = (now - start) / 1000;
            const double fraction = chunks == 0
                                        ? 0.0
                                        : std::min(1.0, static_cast<double>(sent) / chunkValues /
                                                            static_cast<double>(chunks));
            const auto whole = static_cast<std::uint64_t>(fraction);
            if (whole > lastWhole || seconds > lastSecond) {
                lastWhole = whole;
                lastSecond = seconds;
                if (notify(kConvertRunning, fraction, now) == 0) break;
            }
        }

        errno = 0;
        if (!EncodeChunk(lib.chunk, stream, buffer.data(), m)) {
            failed = true;  // the module has released the stream: no close call
            failure = SystemReason("the encoder module failed to encode a chunk");
            break;
        }
        sent += 2ull * resampled;
        std::memset(buffer.data(), 0, chunkValues);  // the first half of the buffer, as bytes
    }

    // The module's close writes the last frames and the info tag; a failure there loses
    // audio, so it counts as a failed conversion.
    errno = 0;
    if (!failed && lib.close(stream) == 0) {
        failed = true;
        failure = SystemReason("the encoder module could not finish the target");
    }
    if (failed) {
        platform::DiscardWorkFile(work);
        return fail(failure);
    }
    // The working file holds its audio: the source's tags go into it before it takes
    // its name. Tags that cannot be carried leave the MP3 without them, and LastProblem
    // says so.
    std::string tagProblem;
    if (!CarryWavTags(source, work.workPath, core::ReadId3v24Setting(), &tagProblem))
        tagProblem = "the source's tags were not carried over: " + tagProblem;
    else
        tagProblem.clear();

    // A stopped or cut-short conversion is kept, but never in place of a target that
    // was there before; it is then kept beside it under a name that says so.
    const bool aborted = stopped;
    lastTarget_ = platform::SettleWorkFile(work, !aborted && !truncated, reason);
    if (lastTarget_.empty()) return fail("the target could not be written: " + reason);
    const std::string keptAs = lastTarget_ != target ? "; kept as " + lastTarget_ : std::string();
    if (aborted) {
        problem_ = "stopped before the end of the source" + keptAs;
        if (reporting) notify(kConvertAborted, 0.0, Now());
        return kConvertResultAborted;
    }
    if (truncated) {
        // What the file still held when it was read, which is less than the header
        // said when the file shrank during the conversion.
        WavSourceFormat held = format;
        held.truncated = true;
        held.dataLength = std::min<std::uint64_t>(held.dataLength,
                                                  format.dataLength - remainingValues * valueBytes);
        problem_ = DescribeWavSourceProblem(WavSourceResult::Ok, held) + keptAs;
        if (reporting) notify(kConvertTruncated, 0.0, Now());
        return kConvertResultTruncated;
    }
    problem_ = tagProblem;
    if (!keptAs.empty()) problem_ = "another file took the target's name meanwhile" + keptAs;
    if (reporting) notify(kConvertFinished, 0.0, Now());
    return kConvertOk;
}

}  // namespace convert
