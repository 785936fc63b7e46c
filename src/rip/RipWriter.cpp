// The writer thread of a rip: takes the audio the reader queued in the ring and hands
// it to the track's encoder, reporting progress in bytes of CD audio to the track's
// observer.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "rip/RipEngine.h"

namespace rip {

namespace {

constexpr std::uint32_t kIdleWaitMs = 10;
constexpr std::size_t kSpoolPieceBytes = 64 * 1024;

// Progress of one track in bytes of CD audio taken from the ring.
class Progress {
  public:
    Progress(RipSession* session, RipEngine::WriterObserver afterPiece)
        : session_(session), afterPiece_(std::move(afterPiece)) {}
    // Called once per piece taken from the ring.
    void Report(std::uint32_t count) {
        ReportProgress(session_, count);
        if (afterPiece_) afterPiece_();
    }

  private:
    RipSession* session_;
    RipEngine::WriterObserver afterPiece_;
};

void Fail(RipSession* s, std::int32_t reason) {
    std::int32_t running = kEndRunning;
    s->endReason.compare_exchange_strong(running, reason);
    s->sessionEvent.Set();  // wake the reader if it waits for room
}

// An output failure, with the system's reason when it gave one (the first is kept).
void FailOutput(RipSession* s) {
    if (s->outputProblem.empty() && errno != 0) s->outputProblem = std::strerror(errno);
    Fail(s, kEndOutputError);
}

// Whether the loop should end: the reader aborted, or it finished and everything
// it queued has been taken. readerFinished is read before the ring's count, so a
// last piece queued just before the flag was set is never left behind.
bool ShouldLeave(RipSession* s, bool& finished, std::int32_t& used) {
    if (s->abortWriter) return true;
    finished = s->readerFinished.load(std::memory_order_acquire) != 0;
    used = RingUsedBytes(&s->ring);
    return used == 0 && finished;
}

// What the writer did with one track.
struct Written {
    bool complete = false;  // the whole track reached the file
    bool audio = false;     // the file holds some of the track's audio
};

// An output failure of the encoder: its own reason when it gave one, else the
// system's (errno).
void FailEncoder(RipSession* s) {
    if (s->outputProblem.empty()) s->outputProblem = s->encoder->Problem();
    FailOutput(s);
}

// Hands the audio to the encoder piece by piece: each piece the ring holds as soon as
// it is there, or, for an encoder that takes whole chunks, once a whole chunk is
// queued (the track's last chunk may be shorter).
void RunEncoder(RipSession* s, Progress& progress, Written& written) {
    encode::Encoder& encoder = *s->encoder;
    const auto pieceBytes = static_cast<std::int32_t>(encoder.ChunkBytes());
    std::vector<unsigned char> buffer(static_cast<std::size_t>(pieceBytes));
    bool ok = true, finished = false;
    std::int32_t used = 0;
    if (encoder.WholeChunks()) {
        while (ok && !ShouldLeave(s, finished, used)) {
            if (used < pieceBytes && !finished) {
                s->dataEvent.Wait(kIdleWaitMs);
                continue;
            }
            const std::int32_t take = RingRead(&s->ring, buffer.data(), std::min(used, pieceBytes));
            errno = 0;
            if (s->loudness) s->loudness->Add(buffer.data(), static_cast<std::size_t>(take));
            ok = encoder.Write(buffer.data(), static_cast<std::size_t>(take));
            progress.Report(static_cast<std::uint32_t>(take));
            written.audio = true;
        }
    } else {
        while (ok && !ShouldLeave(s, finished, used)) {
            if (used == 0) {
                s->dataEvent.Wait(kIdleWaitMs);
                continue;
            }
            std::int32_t n;
            while (ok && (n = RingRead(&s->ring, buffer.data(), pieceBytes)) > 0) {
                errno = 0;
                if (s->loudness) s->loudness->Add(buffer.data(), static_cast<std::size_t>(n));
                ok = encoder.Write(buffer.data(), static_cast<std::size_t>(n));
                progress.Report(static_cast<std::uint32_t>(n));
                written.audio = true;
            }
        }
    }
    if (!ok) FailEncoder(s);
    written.complete = ok && !s->abortWriter && finished && used == 0;
}

// Moves the audio from the ring into the track's spool, piece by piece as it comes.
void RunSpooler(RipSession* s, Progress& progress, Written& written) {
    std::vector<unsigned char> buffer(kSpoolPieceBytes);
    bool ok = true, finished = false;
    std::int32_t used = 0;
    while (ok && !ShouldLeave(s, finished, used)) {
        if (used == 0) {
            s->dataEvent.Wait(kIdleWaitMs);
            continue;
        }
        std::int32_t n;
        while (ok && (n = RingRead(&s->ring, buffer.data(),
                                   static_cast<std::int32_t>(buffer.size()))) > 0) {
            errno = 0;
            if (s->loudness) s->loudness->Add(buffer.data(), static_cast<std::size_t>(n));
            ok = s->spool->Append(buffer.data(), static_cast<std::size_t>(n));
            progress.Report(static_cast<std::uint32_t>(n));
            written.audio = true;
        }
    }
    if (!ok) FailOutput(s);
    written.complete = ok && !s->abortWriter && finished && used == 0;
}

// The writer's end for a spooled track: the track goes to the encoder workers, or,
// when its spool failed, its working file is removed at once.
void HandOverSpooled(RipSession* s, const Written& written) {
    errno = 0;
    if (!s->spool->EndAppending()) FailOutput(s);
    if (s->endReason.load() == kEndOutputError) {
        s->encoder.reset();
        std::fclose(s->outputFile);
        s->outputFile = nullptr;
        platform::DiscardWorkFile(s->work);
        s->spool.reset();
        return;
    }
    auto track = std::make_unique<DeferredTrack>();
    track->encoder = std::move(s->encoder);
    track->file = s->outputFile;
    s->outputFile = nullptr;
    track->fileBuffer = std::move(s->outputBuffer);
    track->spool = std::move(s->spool);
    track->pcmBytes = std::uint64_t{s->lengthFrames} * kFrameBytes;
    track->work = s->work;
    track->outputPath = s->outputPath;
    track->trackNumber = s->trackNumber;
    track->finish = s->finish;
    track->readReason = s->endReason.load();
    track->readComplete = written.complete;
    track->outcome = s->encoding;
    track->loudness = s->loudness;
    s->handOver(std::move(track));
}

// Gives the finished file a name to keep, or removes it. A file is kept when its
// output never failed and it holds the whole track or a part of it (a stop or a read
// error keeps the audio so far, as a valid file); a failed or empty file is removed,
// leaving anything already under the final name as it was. A partial file takes the
// final name only where no file was; beside an earlier file it is kept as
// "<name> (incomplete)". A track of no frames keeps its file where the format has a
// valid empty file (a WAV header of no audio) but has no MP3 file, since an MP3
// stream that encoded nothing holds no frame at all.
void SettleOutput(RipSession* s, const Written& written) {
    const std::int32_t reason = s->endReason.load();
    const bool failedOutput = reason == kEndOutputError || reason == kEndEncoderStart;
    if (!failedOutput && (written.audio || (written.complete && s->encoder->ValidWhenEmpty()))) {
        // Tags go into the working file: a file under its final name is complete and
        // tagged.
        std::string problem;
        if (s->finish && !s->finish(s->workPath, s->outputPath, s->trackNumber, problem)) {
            if (s->outputProblem.empty()) s->outputProblem = problem;
            Fail(s, kEndOutputError);
        } else {
            const bool whole = written.complete && reason == kEndRunning;
            std::string why;
            s->keptPath = platform::SettleWorkFile(s->work, whole, why);
            if (!s->keptPath.empty()) return;
            if (s->outputProblem.empty()) s->outputProblem = why;
            Fail(s, kEndOutputError);
            return;
        }
    }
    platform::DiscardWorkFile(s->work);
}

}  // namespace

// The writer thread. Ends by finishing the file (WAV header, encoder tail, info
// tag, FLAC STREAMINFO) even after a stop or a read error, so a partial file is valid,
// then closes it. A file whose output failed is only released, and removed.
void RunWriterThread(RipSession* s, RipEngine::WriterObserver afterPiece) {
    Progress progress(s, std::move(afterPiece));
    Written written;
    if (s->spool) {
        RunSpooler(s, progress, written);
        HandOverSpooled(s, written);
        s->writerDone.Set();
        return;
    }
    RunEncoder(s, progress, written);
    if (s->endReason.load() == kEndOutputError) {
        s->encoder->Abort();
    } else {
        errno = 0;
        if (!s->encoder->Finish()) FailEncoder(s);
    }
    if (s->outputFile) {
        errno = 0;
        if (std::fflush(s->outputFile) != 0 || std::ferror(s->outputFile)) FailOutput(s);
        if (std::fclose(s->outputFile) != 0) FailOutput(s);
        s->outputFile = nullptr;
    } else {
        FailOutput(s);  // the file could not be opened again after its info tag was written
    }
    SettleOutput(s, written);
    s->writerDone.Set();
}

// An encoder worker's track: begins the encoder on the working file, hands it the
// spooled audio in its chunk size (exactly as the writer would have), finishes the
// file and settles it under the same rules as a written track (SettleOutput): a valid
// file holding some or all of the audio is kept, a failed or empty one removed. A stop
// ends the encoding at its next piece and keeps what was encoded as a valid file.
void EncodeDeferredTrack(DeferredTrack& t, const std::atomic<bool>& stop) {
    EncodeOutcome& outcome = *t.outcome;
    auto fail = [&](std::int32_t reason, const std::string& why) {
        if (outcome.endReason == kEndRunning) {
            outcome.endReason = reason;
            outcome.outputProblem = why;
        }
    };
    auto reasonOf = [&](const encode::Encoder& e) {
        return !e.Problem().empty() ? e.Problem()
               : errno != 0         ? std::strerror(errno)
                                    : std::string();
    };
    encode::Encoder& encoder = *t.encoder;
    encode::TrackFacts facts;
    facts.pcmBytes = t.pcmBytes;
    facts.path = t.work.workPath;
    errno = 0;
    bool begun = false;
    if (stop.load()) {
        fail(kEndStopped, std::string());
    } else {
        switch (encoder.Begin(t.file, facts)) {
            case encode::Encoder::Start::Ok:
                begun = true;
                break;
            case encode::Encoder::Start::EncoderFailed:
                fail(kEndEncoderStart, std::string());
                break;
            case encode::Encoder::Start::OutputFailed:
                fail(kEndOutputError, reasonOf(encoder));
                break;
        }
    }
    bool ok = begun, audio = false;
    std::uint64_t consumed = 0;
    if (begun) {
        std::vector<unsigned char> buffer(encoder.ChunkBytes());
        std::size_t n;
        while (ok && !stop.load() && (n = t.spool->Read(buffer.data(), buffer.size())) > 0) {
            errno = 0;
            ok = encoder.Write(buffer.data(), n);
            consumed += n;
            audio = true;
            if (!ok) fail(kEndOutputError, reasonOf(encoder));
        }
        if (ok && t.spool->Failed()) {
            ok = false;
            fail(kEndOutputError, "the track's spool could not be read back");
        }
        if (ok && consumed < t.spool->Bytes()) fail(kEndStopped, std::string());
        if (!ok) {
            encoder.Abort();
        } else {
            errno = 0;
            if (!encoder.Finish()) {
                ok = false;
                fail(kEndOutputError, reasonOf(encoder));
            }
        }
    }
    if (t.file) {
        errno = 0;
        if (std::fflush(t.file) != 0 || std::ferror(t.file)) {
            ok = false;
            fail(kEndOutputError, std::strerror(errno));
        }
        if (std::fclose(t.file) != 0) {
            ok = false;
            fail(kEndOutputError, std::strerror(errno));
        }
        t.file = nullptr;
    } else if (begun) {
        ok = false;  // the file could not be opened again after its info tag was written
        fail(kEndOutputError, std::string());
    }
    // As SettleOutput: a partial file never replaces one that was there before.
    const bool complete = t.readComplete && consumed == t.spool->Bytes();
    if (ok && (audio || (complete && encoder.ValidWhenEmpty()))) {
        // Tags go into the working file: a file under its final name is complete and
        // tagged.
        std::string problem;
        if (t.finish && !t.finish(t.work.workPath, t.outputPath, t.trackNumber, problem)) {
            fail(kEndOutputError, problem);
            platform::DiscardWorkFile(t.work);
            return;
        }
        const bool whole =
            complete && t.readReason == kEndRunning && outcome.endReason == kEndRunning;
        std::string why;
        outcome.keptPath = platform::SettleWorkFile(t.work, whole, why);
        if (!outcome.keptPath.empty()) return;
        fail(kEndOutputError, why);
        return;
    }
    platform::DiscardWorkFile(t.work);
}

}  // namespace rip
