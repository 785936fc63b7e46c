// The rip engine: copies one track at a time from the disc to a file of one of the
// output formats (encode/Formats.h) with a reader thread and a writer thread joined
// by a ring buffer.
//
// A driver (the batch runner of the rip dialog or of the command line) drives it:
// SetOutput, then StartTrack for the first track; on the observer's TrackEnded
// (reported for every track, whatever its end) EndTrack and StartTrack for the
// next; Stop when the user stops. All four run on the driver's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cd/DiscIds.h"
#include "cd/TrackTable.h"
#include "core/Channels.h"
#include "encode/Formats.h"
#include "platform/Sync.h"
#include "platform/WorkFile.h"
#include "rip/AudioRingBuffer.h"
#include "rip/EncoderPool.h"
#include "rip/ReplayGain.h"
#include "rip/RipObserver.h"
#include "rip/TrackChecksum.h"
#include "rip/TrackFiles.h"
#include "rip/TrackSpool.h"

namespace rip {

// Fixed rip parameters.
inline constexpr std::uint32_t kSectorsPerRead = 27;
inline constexpr std::uint32_t kOverlapFrames = 1;
inline constexpr int kExtraFrames = 3;
inline constexpr int kReadMode = 2;
inline constexpr std::uint32_t kMp3Bitrate = encode::kMp3Bitrate;
inline constexpr std::uint32_t kRingBlocks = 8;
inline constexpr std::int32_t kRingBytes = kRingBlocks * kSectorsPerRead * kFrameBytes;  // 508032

// How a track ended. 0..3 are the engine's original reasons; the others mark
// tracks that could not run or whose output failed, so that no failed track is
// ever taken for a success.
enum RipEndReason : std::int32_t {
    kEndRunning = 0,       // still running, or completed when the track is done
    kEndStopped = 1,       // Stop
    kEndReadError = 2,     // a read failed after its tries
    kEndEncoderStart = 3,  // the encoder refused to start
    kEndOutputError = 4,   // writing or encoding the output failed
    kEndCannotCreate = 5,  // the output file could not be created
    kEndNoEncoder = 6,     // MP3 output with no encoder bound
    kEndDataTrack = 7,     // a data track (or no entry) holds no audio: skipped
};
// A short English text for a reason, for the headless command's summary.
const char* EndReasonText(std::int32_t reason);

// The record the rip dialog hands to SetOutput: the format and the folder, for MP3
// output the rate index (into the rate list; the encoder's minimum bit rate) and the
// channel choice ("channle" setting index), for FLAC output the compression level.
// Indexes and levels outside their ranges mean the defaults.
struct RipOptions {
    std::int32_t rateIndex = 0;
    std::int32_t channelIndex = 0;
    encode::Format format = encode::Format::Wav;
    std::int32_t flacLevel = core::kDefaultFlacLevel;
    char folder[260] = {};
};

// What the reader reads for one track, in disc frames, once the read offset is
// applied. The track's audio is the disc's bytes from startLba x 2352 + offset x 4,
// lengthFrames x 2352 long; the frames [firstFrame, endFrame) that hold it and lie
// on the readable disc are read, the first skipBytes read are dropped, keepBytes are
// kept, and the parts outside the readable disc are silence.
struct ReadPlan {
    std::uint32_t firstFrame = 0, endFrame = 0;
    std::uint64_t silenceBefore = 0, skipBytes = 0, keepBytes = 0, silenceAfter = 0;
    bool firstAudioTrack = false, lastAudioTrack = false;  // for the AccurateRip sums
    std::uint64_t ctdbTailSamples = 0;  // what the last audio track's CTDB CRC leaves out
};
// The plan for a track at startLba of lengthFrames, with the readable disc being
// the frames [discStart, discEnd) and a read offset in stereo samples.
ReadPlan PlanTrackRead(std::uint32_t startLba, std::uint32_t lengthFrames, std::uint32_t discStart,
                       std::uint32_t discEnd, int offsetSamples);

// How a finished track can be proved: its checksums, the test pass's CRC32 when it
// was verified, and the read trouble the reader recovered from.
struct TrackProof {
    bool complete = false;  // every byte of the track was read and queued
    std::uint32_t crc32 = 0, accurateRipV1 = 0, accurateRipV2 = 0;
    std::uint32_t ctdbCrc = 0;    // the CTDB's CRC32 of the track (TrackChecksum)
    std::uint64_t ctdbBytes = 0;  // the bytes it covers
    bool verified = false;        // a test pass ran to its end
    std::uint32_t testCrc32 = 0;
    bool suspicious = false;            // the test and the copy pass differ
    std::uint32_t recoveredErrors = 0;  // reads that failed and then succeeded
    std::uint32_t overlapReads = 0;     // overlap-checked read calls
};

// The memory all spools of a rip may hold at once; the rest waits in temporary files.
inline constexpr std::size_t kSpoolMemoryBytes = std::size_t{96} << 20;

// How the encoding of a track whose audio was spooled ended: written by its encoder
// worker, read once the workers are idle.
struct EncodeOutcome {
    std::int32_t endReason = kEndRunning;
    std::string outputProblem;
    std::string keptPath;  // the name the file was kept under; empty when none was
};

// An encoded track whose reading has ended: its audio waits in its spool for an
// encoder worker, which begins the encoder on the working file, encodes, finishes
// and gives the file its final name (or removes it).
struct DeferredTrack {
    std::unique_ptr<encode::Encoder> encoder;
    FILE* file = nullptr;  // the working file, open; the encoder's from its Begin
    std::unique_ptr<char[]> fileBuffer;
    std::unique_ptr<TrackSpool> spool;
    std::uint64_t pcmBytes = 0;  // the whole track's audio, for the encoder's Begin
    platform::WorkFile work;
    // The final name, the track's number and what finishes the working file (tags)
    // before it takes a name to keep.
    std::string outputPath;
    int trackNumber = 0;
    TrackFiles::Finish finish;
    std::int32_t readReason = kEndRunning;  // how the reading ended
    bool readComplete = false;              // every byte of the track was spooled
    std::shared_ptr<EncodeOutcome> outcome;
    // The track's ReplayGain meter, fed by the writer as the track was spooled; it
    // counts once the encoding has ended well.
    std::shared_ptr<TrackLoudness> loudness;
};
// Encodes a deferred track; `stop` ends it at its next piece (RipWriter.cpp).
void EncodeDeferredTrack(DeferredTrack& track, const std::atomic<bool>& stop);

// One track of a batch, as the rip log reports it.
struct TrackRecord {
    cd::TrackEntry entry{};
    int number = 0;     // the track's number on the disc
    std::string title;  // the track's title, which names it in the log
    // 1-based position in the table of contents (0 unknown): the track's place in an
    // AccurateRip record, which keeps a slot for a data track that comes first.
    int discIndex = 0;
    std::string outputPath;
    std::int32_t endReason = kEndRunning;
    std::string outputProblem;  // the system's reason for an output failure, if any
    TrackProof proof;
    std::string accurateRip;  // the database's verdict, when looked up
    std::string ctdb;         // the CTDB's verdict on this track, when only some were ripped
    // ReplayGain 2.0 of the track as it was read (a complete track, when measuring);
    // the meter stays for the album's gain.
    std::shared_ptr<TrackLoudness> loudness;
    GainValues trackGain;
    std::string gainTagProblem;  // why the gains could not be written into the file
    // An encoded track's outcome, applied to endReason, outputProblem and outputPath
    // once the encoder workers are idle (RipEngine::WaitForEncoders).
    std::shared_ptr<EncodeOutcome> encoding;
};

// The state of the track being ripped, shared by the reader and writer threads.
// The engine owns one record and clears it at the start of every track (all but
// the CD handle). Flags written by one thread and read by another are atomic.
struct RipSession {
    std::uint32_t cdHandle = 0;  // the engine's drive; kept from track to track
    FILE* outputFile = nullptr;
    std::unique_ptr<char[]> outputBuffer;  // outputFile's stream buffer, freed by EndTrack
    AudioRingBuffer ring;
    std::uint32_t currentLba = 0;  // next frame to read; guarded by lock
    std::uint32_t endLba = 0;      // first frame after the track
    std::uint32_t lengthFrames = 0;
    std::atomic<std::int32_t> stopRequested{0};
    std::atomic<std::int32_t> abortWriter{0};
    std::atomic<std::int32_t> readerFinished{0};
    std::atomic<std::int32_t> endReason{kEndRunning};
    RipObserver* observer = nullptr;  // the track's observer, kept from its StartTrack
    std::uint64_t progressTotal = 0;  // the track's work in bytes of disc audio
    std::atomic<std::uint64_t> progressDone{0};
    std::thread readerThread;
    std::thread writerThread;
    // Events live as long as the record: Stop may set sessionEvent at any time.
    platform::Event sessionEvent{platform::Event::Reset::Auto};  // wakes the reader
    platform::Event dataEvent{platform::Event::Reset::Auto};     // wakes the idle writer
    platform::Event writerDone{platform::Event::Reset::Manual};
    platform::RecursiveLock lock;  // guards currentLba
    // The track's file is written under a working file of its own (workPath:
    // outputPath + ".part", numbered when another run holds that) and takes its final
    // name, outputPath, only when the writer has finished it as a valid file. A partial
    // file never replaces one that was there before, nor does any file replace one
    // another run put there meanwhile: it is then kept beside it (keptPath says where;
    // empty when no file was kept).
    std::string outputPath;
    std::string workPath;
    platform::WorkFile work;
    std::string keptPath;
    std::string outputProblem;  // the system's reason for an output failure, if any
    // The track's encoder, made for the format chosen at the track's start; the writer
    // thread drives it from its Begin on. An encoded format (not WAV) instead spools
    // the track: the writer fills `spool` and hands the track to `handOver`, which
    // queues it for the engine's encoder workers; `encoding` then tells its outcome.
    std::unique_ptr<encode::Encoder> encoder;
    // The track's number on the disc and what finishes its working file (tags) before
    // it takes its final name; empty when nothing does.
    int trackNumber = 0;
    TrackFiles::Finish finish;
    std::unique_ptr<TrackSpool> spool;
    std::shared_ptr<EncodeOutcome> encoding;
    std::function<void(std::unique_ptr<DeferredTrack>)> handOver;
    std::atomic<bool> active{false};      // threads started and not yet joined by EndTrack
    std::atomic<bool> readerDone{false};  // the reader has posted its notice
    // Proof of the rip. Written by the reader thread only and read after it is joined.
    ReadPlan plan;
    bool verify = false;
    bool sumAudio = true;
    TrackChecksum checksum;      // the copy pass
    TrackChecksum testChecksum;  // the test pass
    // The copy pass's ReplayGain meter, when measuring: fed by the writer thread, off
    // the reader's thread and off the encoder workers' (whose slowest track bounds an
    // encoded rip).
    std::shared_ptr<TrackLoudness> loudness;
    bool testPassDone = false;
    std::uint32_t recoveredErrors = 0;
    std::uint32_t overlapReads = 0;
};

class RipEngine {
  public:
    // Called by the writer thread after every piece it takes from the ring.
    using WriterObserver = std::function<void()>;

    // Keeps the CD handle, binds the MP3 encoder module and chooses MP3 output when
    // one is bound, WAV otherwise. Fills the file-name table. `afterWriterPiece` (may be
    // empty) runs on the writer thread after every piece, for the whole engine's life.
    explicit RipEngine(std::uint32_t cdHandle, WriterObserver afterWriterPiece = {});
    // Stops a running track and waits for its threads.
    ~RipEngine();
    RipEngine(const RipEngine&) = delete;
    RipEngine& operator=(const RipEngine&) = delete;

    // The format and the folder; for MP3 the bit rate and channel choice, for FLAC the
    // compression level (WAV and FLAC always hold the disc's samples). Returns false
    // (and keeps the choice as given) when the format cannot be written here (MP3
    // with no encoder module bound): every track will then end as kEndNoEncoder.
    bool SetOutput(const RipOptions& options);
    // Prepares the session for `track` (its entry is copied; its title names the
    // file) and starts the reader and writer threads, which report to `observer`
    // (see RipObserver for when and from which thread). The file is written under a working name
    // beside its final one and renamed when the writer has finished it; a track that ends with no
    // audio, or whose output failed, leaves no file (and an earlier file under the final name
    // untouched), so no file under a final name ever disagrees with its contents, even when the
    // process is killed. Returns true when the threads started. When the track cannot start (output
    // file not created, no encoder, data track, or no track at all) it returns false and still
    // reports TrackEnded, so a batch goes on. While the previous track's reader still runs it
    // returns false, reports nothing and changes nothing (that track's own end is still to come).
    bool StartTrack(RipObserver& observer, const cd::Track* track);
    // Asks the running track and every encoder worker to end; does not wait. Safe
    // when nothing runs.
    void Stop();
    // How many tracks are encoded at once (at least 1); set before a batch.
    void SetJobs(int jobs);
    // Tracks read whose encoding has not ended yet.
    int TracksEncoding() const { return encoding_.load(); }
    // Waits until every encoder worker is idle, then applies their outcomes to the
    // batch's records. Returns the records whose reading went well but whose encoding
    // failed or was stopped. When that is the last track, LastEndReason and
    // LastOutputProblem tell its outcome from then on.
    std::vector<const TrackRecord*> WaitForEncoders();
    // After TrackEnded: joins the ended threads, releases the ring and reports the
    // track's record to its observer.
    void EndTrack();

    // Read offset of the drive in stereo samples (positive: the track's audio lies that
    // much later on the disc than its address says). Applies from the next StartTrack.
    void SetReadOffset(int samples) { offset_ = samples; }
    // Test and copy: every track is read twice, first only to sum it.
    void SetVerify(bool verify) { verify_ = verify; }
    // ReplayGain 2.0 measured on the copy pass's audio as it is read, for the log.
    void SetReplayGain(bool on) { replayGain_ = on; }
    static constexpr int kMaxReadOffset = 44100;  // one second either way

    // The batch so far: SetOutput starts a batch (and reads the disc's table of
    // contents for its identifiers); each track is added once its notice has been
    // handled (EndTrack).
    const std::vector<TrackRecord>& BatchRecords() const { return records_; }
    std::vector<TrackRecord>& BatchRecords() { return records_; }
    // The disc's table of contents as read by SetOutput; null when it could not be read.
    const cd::TableOfContents* Toc() const { return haveToc_ ? &toc_ : nullptr; }
    // The proof of the last track once it is done.
    const TrackProof& LastProof() const { return lastProof_; }

    // How the last started track ended (kEndRunning = completed once it is done).
    std::int32_t LastEndReason() const;
    // The system's reason for the last track's output failure (for example "No space
    // left on device"); empty when there was none. Valid after the track's end report.
    const std::string& LastOutputProblem() const;
    // True from a StartTrack that started threads until its EndTrack.
    bool TrackInProgress() const;
    encode::Format OutputFormat() const { return format_; }
    std::uint32_t Mp3Bitrate() const { return mp3Bitrate_; }
    core::Channels Mp3Channel() const { return channel_; }
    int FlacLevel() const { return flacLevel_; }
    static bool Mp3Available();
    // The file name kept for a track title: characters unsafe in a file name on
    // common systems become '_'.
    std::string CleanFileName(const std::string& name) const;
    // The output path StartTrack builds for a track's title.
    std::string OutputPathFor(const std::string& title) const;
    // How the files of the batches that follow are named and finished (tags); an empty
    // record gives files named after the tracks, without tags. Set it between batches.
    // Files of one batch that would come out under the same name are kept apart:
    // " (2)" ... goes before the extension (core::FreeTargetPath).
    void SetTrackFiles(TrackFiles files) { trackFiles_ = std::move(files); }
    const TrackFiles& Files() const { return trackFiles_; }

    // The session of the current (or last) track.
    const RipSession& Session() const { return *session_; }

    // Benchmark seam: with false the reader leaves the audio unsummed (the proof is
    // then incomplete). Applies from the next StartTrack.
    void SetChecksumsForTesting(bool on) { sumAudio_ = on; }

  private:
    void FinishTrack();
    std::string OutputFolder() const;  // with its trailing separator
    std::string ChooseOutputPath(int number, const std::string& title) const;
    void RecordTrack();
    void HandOver(std::unique_ptr<DeferredTrack> track, RipObserver* observer);

    std::unique_ptr<RipSession> session_;
    WriterObserver afterWriterPiece_;
    bool sumAudio_ = true;
    unsigned char keep_[256];
    int offset_ = 0;
    bool verify_ = false;
    bool replayGain_ = true;
    cd::TableOfContents toc_;
    bool haveToc_ = false;
    std::vector<TrackRecord> records_;
    TrackFiles trackFiles_;
    cd::Track pendingTrack_;
    bool pending_ = false;  // a track has been started and not yet recorded
    TrackProof lastProof_;
    std::string folder_;
    encode::Format format_ = encode::Format::Wav;
    std::uint32_t mp3Bitrate_ = kMp3Bitrate;
    core::Channels channel_ = core::Channels::Stereo;
    int flacLevel_ = core::kDefaultFlacLevel;
    // The encoder workers and the memory their spools share. The pool goes first: its
    // jobs use the budget.
    SpoolBudget spoolBudget_{kSpoolMemoryBytes};
    std::atomic<int> encoding_{0};
    EncoderPool pool_;
};

// The thread bodies (RipReader.cpp, RipWriter.cpp). The writer calls
// `afterPiece` (when set) after every piece it takes from the ring.
void RunReaderThread(RipSession* session);
// Adds `bytes` to the track's progress and reports it to the observer (on the
// calling thread: the reader's in the test pass, the writer's in the copy pass).
void ReportProgress(RipSession* session, std::uint64_t bytes);
void RunWriterThread(RipSession* session, RipEngine::WriterObserver afterPiece);

}  // namespace rip
