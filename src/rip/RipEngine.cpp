#include "rip/RipEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cdaccess/CdAccess.h"
#include "core/Settings.h"
#include "core/TargetPaths.h"
#include "encode/EncoderBinding.h"
#include "platform/Paths.h"
#include "rip/Ctdb.h"

namespace rip {

namespace {

constexpr std::size_t kOutputBufferBytes = 64 * 1024;

// Clears the session for a new track. Only called when no thread of an earlier
// track is running; the events and the lock are kept and reset.
void ClearSession(RipSession& s) {
    s.outputFile = nullptr;
    s.outputBuffer.reset();
    s.ring = AudioRingBuffer{};
    s.currentLba = s.endLba = s.lengthFrames = 0;
    s.stopRequested = 0;
    s.abortWriter = 0;
    s.readerFinished = 0;
    s.endReason = kEndRunning;
    s.observer = nullptr;
    s.progressTotal = 0;
    s.progressDone = 0;
    s.sessionEvent.ResetEvent();
    s.dataEvent.ResetEvent();
    s.writerDone.ResetEvent();
    s.outputPath.clear();
    s.workPath.clear();
    s.work = platform::WorkFile{};
    s.keptPath.clear();
    s.outputProblem.clear();
    s.encoder.reset();
    s.trackNumber = 0;
    s.finish = nullptr;
    s.spool.reset();
    s.encoding.reset();
    s.loudness.reset();
    s.handOver = nullptr;
    s.readerDone = false;
    s.plan = ReadPlan{};
    s.verify = false;
    s.sumAudio = true;
    s.checksum = TrackChecksum{};
    s.testChecksum = TrackChecksum{};
    s.testPassDone = false;
    s.recoveredErrors = s.overlapReads = 0;
}

}  // namespace

const char* EndReasonText(std::int32_t reason) {
    switch (reason) {
        case kEndRunning:
            return "ok";
        case kEndStopped:
            return "stopped by the user";
        case kEndReadError:
            return "the disc could not be read";
        case kEndEncoderStart:
            return "the MP3 encoder could not start";
        case kEndOutputError:
            return "the output file could not be written";
        case kEndCannotCreate:
            return "the output file could not be created";
        case kEndNoEncoder:
            return "no MP3 encoder module is available";
        case kEndDataTrack:
            return "a data track holds no audio";
        default:
            return "unknown failure";
    }
}

ReadPlan PlanTrackRead(std::uint32_t startLba, std::uint32_t lengthFrames, std::uint32_t discStart,
                       std::uint32_t discEnd, int offsetSamples) {
    // Byte addresses on the disc, signed: the offset may reach before the disc.
    const std::int64_t frame = kFrameBytes;
    const std::int64_t b0 = std::int64_t{startLba} * frame + std::int64_t{offsetSamples} * 4;
    const std::int64_t b1 = b0 + std::int64_t{lengthFrames} * frame;
    const std::int64_t e0 = std::int64_t{discStart} * frame;
    const std::int64_t e1 = std::max(e0, std::int64_t{discEnd} * frame);
    const std::int64_t from = std::clamp(b0, e0, e1), to = std::clamp(b1, e0, e1);
    ReadPlan plan;
    if (from < to) {
        plan.firstFrame = static_cast<std::uint32_t>(from / frame);
        plan.endFrame = static_cast<std::uint32_t>((to + frame - 1) / frame);
        plan.skipBytes = static_cast<std::uint64_t>(from - std::int64_t{plan.firstFrame} * frame);
        plan.keepBytes = static_cast<std::uint64_t>(to - from);
    } else {
        plan.firstFrame = plan.endFrame = discStart;
    }
    plan.silenceBefore = static_cast<std::uint64_t>(std::clamp(e0, b0, b1) - b0);
    plan.silenceAfter = static_cast<std::uint64_t>(b1 - b0) - plan.silenceBefore - plan.keepBytes;
    return plan;
}

RipEngine::RipEngine(std::uint32_t cdHandle, WriterObserver afterWriterPiece)
    : session_(std::make_unique<RipSession>()), afterWriterPiece_(std::move(afterWriterPiece)) {
    session_->cdHandle = cdHandle;
    format_ = encode::BindEncoder() == 1 ? encode::Format::Mp3 : encode::Format::Wav;
    // Keep printable ASCII and every byte of a multi-byte character; control
    // characters, DEL and the characters some system refuses in a file name
    // (path separators, drive colon, wildcards, quotes, redirection) become '_'.
    for (int c = 0; c < 256; ++c) keep_[c] = c >= 0x20 && c != 0x7F;
    for (const char* p = "\\/:*?\"<>|"; *p; ++p) keep_[static_cast<unsigned char>(*p)] = 0;
}

RipEngine::~RipEngine() {
    Stop();
    pool_.WaitIdle();
    RipSession& s = *session_;
    if (s.readerThread.joinable()) s.readerThread.join();
    if (s.writerThread.joinable()) s.writerThread.join();
    if (s.active) FinishTrack();  // its observer may be gone: nothing is reported
}

bool RipEngine::Mp3Available() {
    return encode::InfoOf(encode::Format::Mp3).available();
}

bool RipEngine::SetOutput(const RipOptions& options) {
    format_ = encode::InfoOf(options.format).format;
    folder_.assign(options.folder, strnlen(options.folder, sizeof options.folder));
    mp3Bitrate_ = static_cast<std::uint32_t>(core::BitRateForIndex(options.rateIndex));
    channel_ = core::ChannelsForIndex(options.channelIndex);
    const bool knownLevel =
        options.flacLevel >= core::kMinFlacLevel && options.flacLevel <= core::kMaxFlacLevel;
    flacLevel_ = knownLevel ? options.flacLevel : core::kDefaultFlacLevel;
    // A new batch: its log names the disc by the table of contents as it is now.
    pool_.ClearStop();  // waits for a stopped batch's workers
    records_.clear();
    pending_ = false;
    haveToc_ = cd::ReadTableOfContents(session_->cdHandle, toc_);
    return encode::InfoOf(format_).available();
}

std::string RipEngine::CleanFileName(const std::string& name) const {
    std::string out = name;
    for (char& c : out)
        if (!keep_[static_cast<unsigned char>(c)]) c = '_';
    return out;
}

std::string RipEngine::OutputFolder() const {
    std::string path = folder_;
    if (path.empty()) {
        path = std::string(".") + platform::kPathSeparator;
    } else if (!platform::IsPathSeparator(path.back())) {
        path += platform::kPathSeparator;
    }
    return path;
}

std::string RipEngine::OutputPathFor(const std::string& name) const {
    return OutputFolder() + CleanFileName(name) + "." + encode::InfoOf(format_).extension;
}

// The track's final path: named by the batch's TrackFiles when it names files, else
// after the track; apart from every file the batch wrote before.
std::string RipEngine::ChooseOutputPath(int number, const std::string& title) const {
    if (!trackFiles_.relativeName || number <= 0) return OutputPathFor(title);
    const std::string path = OutputFolder() + trackFiles_.relativeName(number, title) + "." +
                             encode::InfoOf(format_).extension;
    std::vector<std::string> taken;
    for (const TrackRecord& r : records_) taken.push_back(r.outputPath);
    return core::FreeTargetPath(path, taken);
}

void ReportProgress(RipSession* s, std::uint64_t bytes) {
    if (bytes == 0) return;
    const std::uint64_t done = s->progressDone.fetch_add(bytes) + bytes;
    s->observer->TrackProgress(done, s->progressTotal);
}

bool RipEngine::StartTrack(RipObserver& observer, const cd::Track* track) {
    RipSession& s = *session_;
    if (s.active) {
        // The notice of the previous track has not been handled. When its reader
        // has ended, finish the track here; otherwise the new track cannot start.
        if (!s.readerDone) return false;
        FinishTrack();
    } else if (pending_) {
        RecordTrack();  // a track that never ran, whose notice was not handled
    }
    ClearSession(s);
    pending_ = track != nullptr;
    if (track) pendingTrack_ = *track;
    s.observer = &observer;
    if (!track) {
        s.endReason = kEndDataTrack;
        observer.TrackEnded(kEndDataTrack);
        return false;
    }
    const cd::TrackEntry* entry = &pendingTrack_.entry;
    const encode::FormatInfo& format = encode::InfoOf(format_);
    s.trackNumber = track->number;
    const std::string outputPath = ChooseOutputPath(track->number, track->title);
    observer.TrackFile(std::filesystem::path(outputPath).filename().string());

    // Tracks that cannot run end at once, with the usual report.
    auto endAtOnce = [&](std::int32_t reason) {
        s.endReason = reason;
        observer.TrackEnded(reason);
        return false;
    };
    if (entry->isData) return endAtOnce(kEndDataTrack);
    encode::EncoderSettings settings;
    settings.mp3Bitrate = mp3Bitrate_;
    settings.channels = channel_;
    settings.flacLevel = flacLevel_;
    if (format.available()) s.encoder = format.create(settings);
    if (!s.encoder) return endAtOnce(kEndNoEncoder);

    // The folders a template names are made as needed.
    s.outputPath = outputPath;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(outputPath).parent_path();
    if (trackFiles_.relativeName && !folder.empty())
        std::filesystem::create_directories(folder, error);
    if (error) {
        s.outputProblem = error.message();
        return endAtOnce(kEndCannotCreate);
    }
    s.finish = trackFiles_.finish;
    s.outputFile = platform::CreateWorkFile(s.outputPath, s.work, s.outputProblem);
    if (!s.outputFile) return endAtOnce(kEndCannotCreate);
    s.workPath = s.work.workPath;
    // A stream buffer larger than the writer's pieces: each piece then leaves in one
    // system call when the writer flushes.
    s.outputBuffer = std::make_unique<char[]>(kOutputBufferBytes);
    std::setvbuf(s.outputFile, s.outputBuffer.get(), _IOFBF, kOutputBufferBytes);
    // Drops the working file of a track that cannot go on.
    auto discard = [&](std::int32_t reason) {
        s.encoder->Abort();
        std::fclose(s.outputFile);
        s.outputFile = nullptr;
        platform::DiscardWorkFile(s.work);
        return endAtOnce(reason);
    };
    encode::TrackFacts facts;
    facts.pcmBytes = std::uint64_t{entry->lengthFrames} * kFrameBytes;
    facts.path = s.workPath;
    errno = 0;
    // An encoded format is begun by its encoder worker, once the track is read: the
    // writer only spools the audio, so the disc read never waits for an encoder.
    const bool deferred = format_ != encode::Format::Wav;
    if (deferred) {
        s.spool = std::make_unique<TrackSpool>(spoolBudget_, s.workPath + ".spool");
        s.encoding = std::make_shared<EncodeOutcome>();
        RipObserver* const trackObserver = &observer;
        s.handOver = [this, trackObserver](std::unique_ptr<DeferredTrack> t) {
            HandOver(std::move(t), trackObserver);
        };
    }
    switch (deferred ? encode::Encoder::Start::Ok : s.encoder->Begin(s.outputFile, facts)) {
        case encode::Encoder::Start::Ok:
            break;
        case encode::Encoder::Start::EncoderFailed:
            return discard(kEndEncoderStart);
        case encode::Encoder::Start::OutputFailed:
            s.outputProblem = !s.encoder->Problem().empty() ? s.encoder->Problem()
                              : errno != 0                  ? std::strerror(errno)
                                                            : std::string();
            return discard(kEndOutputError);
    }

    const std::uint32_t handle = s.cdHandle;
    ModifyCDParms(handle, 37, kExtraFrames);
    ModifyCDParms(handle, 38, static_cast<int>(kOverlapFrames));
    ModifyCDParms(handle, 39, kReadMode);

    s.currentLba = entry->startLba;
    s.lengthFrames = entry->lengthFrames;
    s.endLba = entry->startLba + entry->lengthFrames;
    // The readable disc: from its first frame to the end of the audio session (never
    // short of the track's own end as the track table gives it).
    std::uint32_t discEnd = s.endLba;
    if (haveToc_) {
        discEnd = std::max(discEnd, cd::AudioSessionEnd(toc_));
        const std::vector<cd::TocEntry> audio = cd::AudioTracks(toc_);
        s.plan = PlanTrackRead(entry->startLba, entry->lengthFrames, 0, discEnd, offset_);
        s.plan.firstAudioTrack = !audio.empty() && audio.front().startLba == entry->startLba;
        s.plan.lastAudioTrack = !audio.empty() && audio.back().startLba == entry->startLba;
        s.plan.ctdbTailSamples = CtdbTailSamples(toc_);
    } else {
        s.plan = PlanTrackRead(entry->startLba, entry->lengthFrames, 0, discEnd, offset_);
    }
    s.verify = verify_;
    s.sumAudio = sumAudio_;
    if (replayGain_) s.loudness = std::make_shared<TrackLoudness>();

    // A verified track passes twice: its progress covers both passes.
    s.progressTotal = std::uint64_t{s.lengthFrames} * kFrameBytes * (s.verify ? 2 : 1);
    observer.TrackBegun(s.progressTotal);

    if (RingCreate(&s.ring, kRingBytes) == 0) {
        s.outputProblem = "out of memory";
        return discard(kEndOutputError);
    }
    s.active = true;
    s.readerThread = std::thread(RunReaderThread, &s);
    s.writerThread = std::thread(RunWriterThread, &s, afterWriterPiece_);
    return true;
}

void RipEngine::Stop() {
    pool_.Stop();
    RipSession& s = *session_;
    if (!s.active) return;
    // The reason is recorded before the flag, so a thread that sees the flag also
    // sees why the track ends.
    std::int32_t running = kEndRunning;
    s.endReason.compare_exchange_strong(running, kEndStopped);
    s.stopRequested = 1;
    s.sessionEvent.Set();
}

void RipEngine::EndTrack() {
    const bool recording = pending_;
    FinishTrack();
    if (recording && session_->observer) session_->observer->TrackRecorded(records_.back());
}

void RipEngine::FinishTrack() {
    RipSession& s = *session_;
    if (s.readerThread.joinable()) s.readerThread.join();
    if (s.writerThread.joinable()) s.writerThread.join();
    RingDestroy(&s.ring);
    s.outputBuffer.reset();  // the writer has closed the file that used it
    s.active = false;
    if (pending_) RecordTrack();
}

// Adds the ended track to the batch, with the proof its reader left in the session.
void RipEngine::RecordTrack() {
    pending_ = false;
    const RipSession& s = *session_;
    TrackProof proof;
    const std::uint64_t trackBytes = std::uint64_t{s.lengthFrames} * kFrameBytes;
    proof.complete = s.endReason.load() == kEndRunning && s.checksum.Bytes() == trackBytes &&
                     !pendingTrack_.entry.isData;
    if (proof.complete) {
        proof.crc32 = s.checksum.Crc32();
        proof.accurateRipV1 = s.checksum.AccurateRipV1();
        proof.accurateRipV2 = s.checksum.AccurateRipV2();
        proof.ctdbCrc = s.checksum.CtdbCrc();
        proof.ctdbBytes = s.checksum.CtdbBytes();
        proof.verified = s.testPassDone;
        proof.testCrc32 = s.testChecksum.Crc32();
        proof.suspicious = proof.verified && proof.testCrc32 != proof.crc32;
    }
    proof.recoveredErrors = s.recoveredErrors;
    proof.overlapReads = s.overlapReads;
    lastProof_ = proof;

    TrackRecord record;
    record.entry = pendingTrack_.entry;
    record.number = pendingTrack_.number;
    record.title = pendingTrack_.title;
    record.outputPath = s.keptPath;
    record.endReason = s.endReason.load();
    record.outputProblem = s.outputProblem;
    record.proof = proof;
    record.encoding = s.encoding;
    if (proof.complete && s.loudness) {
        record.loudness = s.loudness;
        // An encoded track is measured as it is encoded: its gain comes with its outcome.
        if (!s.encoding) record.trackGain = s.loudness->Result();
    }
    if (haveToc_) {
        for (std::size_t i = 0; i < toc_.tracks.size(); ++i)
            if (!toc_.tracks[i].data && toc_.tracks[i].startLba == pendingTrack_.entry.startLba)
                record.discIndex = int(i) + 1;
    }
    records_.push_back(std::move(record));
}

void RipEngine::SetJobs(int jobs) {
    pool_.SetJobs(jobs);
}

// Queues a read track for the encoder workers; its observer hears how many tracks
// are still being encoded as it is queued and as it ends.
void RipEngine::HandOver(std::unique_ptr<DeferredTrack> track, RipObserver* observer) {
    const int queued = ++encoding_;
    if (observer) observer->TracksEncoding(queued);
    std::shared_ptr<DeferredTrack> shared(std::move(track));
    const std::uint64_t size = shared->pcmBytes;
    pool_.Submit(
        [this, shared, observer](const std::atomic<bool>& stop) {
            EncodeDeferredTrack(*shared, stop);
            shared->encoder.reset();
            shared->spool.reset();
            const int left = --encoding_;
            if (observer) observer->TracksEncoding(left);
        },
        size);
}

std::vector<const TrackRecord*> RipEngine::WaitForEncoders() {
    pool_.WaitIdle();
    std::vector<const TrackRecord*> changed;
    for (TrackRecord& record : records_) {
        if (!record.encoding) continue;
        const EncodeOutcome outcome = *record.encoding;
        RipSession& s = *session_;
        const bool sessionTrack = record.encoding == s.encoding && !s.active;
        if (sessionTrack) s.keptPath = outcome.keptPath;
        record.encoding.reset();
        record.outputPath = outcome.keptPath;
        if (record.loudness && outcome.endReason == kEndRunning)
            record.trackGain = record.loudness->Result();
        else
            record.loudness.reset();  // not all of its audio was measured
        if (record.endReason != kEndRunning || outcome.endReason == kEndRunning) continue;
        record.endReason = outcome.endReason;
        record.outputProblem = outcome.outputProblem;
        record.proof.complete = false;
        changed.push_back(&record);
        // The last track's own reports tell the outcome too.
        if (sessionTrack) {
            s.endReason = outcome.endReason;
            s.outputProblem = outcome.outputProblem;
            lastProof_.complete = false;
        }
    }
    return changed;
}

std::int32_t RipEngine::LastEndReason() const {
    return session_->endReason.load();
}
bool RipEngine::TrackInProgress() const {
    return session_->active.load();
}
const std::string& RipEngine::LastOutputProblem() const {
    return session_->outputProblem;
}

}  // namespace rip
