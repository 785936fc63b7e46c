// Shared harness of the rip engine tests.
//
// Seams: the disc is a cdaccess::SimulatedDrive (in-memory audio with scripted read
// errors and seek jitter), added ahead of every other drive with the machine's own
// drives hidden, and opened through the ordinary C API. The rip dialog is a plain
// QObject observing the engine: the progress (its "bar"), the file name (its status
// text) and the count of ended tracks are handed to the test's thread as the dialog's
// window messages were; the test pumps the Qt event queue until the end arrives,
// for a bounded time.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cd/TrackTable.h"
#include "cdaccess/CdAccess.h"
#include "cdaccess/Drive.h"
#include "cdaccess/SimulatedDrive.h"
#include "core/Messages.h"
#include "encode/EncoderBinding.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"

namespace riptest {

using namespace cd;
using namespace rip;
using namespace encode;

// The progress as the test's thread has seen it: the range and, in deltaSum, the
// bytes done of it.
struct ProgressSeen {
    std::uint64_t range = 0, deltaSum = 0;
    int setRanges = 0, deltas = 0;
};

class FakeDialog : public QObject, public RipObserver {
  public:
    FakeDialog() : bar(&seen_) {}
    void TrackFile(const std::string& fileName) override { status_ = fileName; }
    void TrackBegun(std::uint64_t totalBytes) override {
        bar->range = totalBytes, ++bar->setRanges;
    }
    void TrackProgress(std::uint64_t doneBytes, std::uint64_t) override {
        platform::PostCall(this, [this, doneBytes] { bar->deltaSum = doneBytes, ++bar->deltas; });
    }
    void TrackEnded(std::int32_t) override {
        platform::PostCall(this, [this] { ++done; });
    }
    std::string StatusText() const { return status_; }

    ProgressSeen* bar;
    int done = 0;

  private:
    ProgressSeen seen_;
    std::string status_;
};

// A table entry as a track of the batch: its number and its row's text as title.
inline cd::Track AsTrack(const TrackEntry& entry, int number = 0) {
    return cd::Track{entry, number, entry.name};
}

// Pumps events until pred() holds or timeoutMs passes; returns pred().
template <class Pred>
bool PumpUntil(Pred pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

// A drive that loses its place when it has been idle, as a real drive does once it
// has stopped reading ahead: the first read after a pause longer than idleMs lands
// as after a seek, off by the simulated drive's jitter. It makes the simulated
// drive lose its place with a one-frame read of the disc's last frame.
class IdleLosesPlaceDrive : public cdaccess::Drive {
  public:
    IdleLosesPlaceDrive(std::shared_ptr<cdaccess::SimulatedDrive> inner, int idleMs)
        : inner_(std::move(inner)), idle_(idleMs) {}
    std::string Name() const override { return inner_->Name(); }
    bool Open() override { return inner_->Open(); }
    bool ReadToc(cdaccess::DiscToc& toc) override { return inner_->ReadToc(toc); }
    bool Ready() override { return inner_->Ready(); }
    int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) override {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (haveLast_ && now - last_ > idle_) {
            std::vector<unsigned char> scratch(kFrameBytes);
            inner_->ReadFrames(inner_->Frames() - 1, 1, scratch.data());
            ++losses;
        }
        const int result = inner_->ReadFrames(lba, count, out);
        last_ = std::chrono::steady_clock::now();
        haveLast_ = true;
        return result;
    }
    std::atomic<int> losses{0};

  private:
    std::shared_ptr<cdaccess::SimulatedDrive> inner_;
    std::chrono::milliseconds idle_;
    std::mutex mutex_;
    bool haveLast_ = false;
    std::chrono::steady_clock::time_point last_;
};

struct SimDisc {
    std::shared_ptr<cdaccess::SimulatedDrive> drive;
    std::shared_ptr<IdleLosesPlaceDrive> idleDrive;  // the drive listed, when used
    std::vector<unsigned char> audio;
    std::vector<std::uint32_t> starts, lengths;
    std::uint32_t handle = 0;

    TrackEntry Entry(int i) const {
        TrackEntry e{};
        std::snprintf(e.name, sizeof e.name, "Track %d", i + 1);
        e.startLba = starts[static_cast<size_t>(i)];
        e.lengthFrames = lengths[static_cast<size_t>(i)];
        return e;
    }
    std::vector<unsigned char> TrackAudio(int i) const {
        auto from = audio.begin() + std::ptrdiff_t{starts[static_cast<size_t>(i)]} * kFrameBytes;
        return {from, from + std::ptrdiff_t{lengths[static_cast<size_t>(i)]} * kFrameBytes};
    }
};

// A simulated disc with audio tracks of these lengths, opened through the C API.
// With idleMs > 0 the drive listed is an IdleLosesPlaceDrive around it. The disc
// holds `audio` when given (all tracks' frames), else the drive's test audio.
inline SimDisc OpenSimDisc(const std::vector<std::uint32_t>& lengths, std::uint32_t seed = 1,
                           int idleMs = 0, std::vector<unsigned char> audio = {}) {
    SimDisc d;
    std::uint32_t total = 0;
    for (auto l : lengths) d.starts.push_back(total), total += l;
    d.lengths = lengths;
    d.audio = !audio.empty()
                  ? std::move(audio)
                  : cdaccess::SimulatedDrive::MakeTestAudio(total == 0 ? 1 : total, seed);
    d.drive = std::make_shared<cdaccess::SimulatedDrive>(d.audio);
    d.drive->SetAudioTracks(lengths);
    cdaccess::ClearAddedDrives();
    cdaccess::SetSystemDrivesListed(false);
    if (idleMs > 0) {
        d.idleDrive = std::make_shared<IdleLosesPlaceDrive>(d.drive, idleMs);
        cdaccess::AddDrive(d.idleDrive);
    } else {
        cdaccess::AddDrive(d.drive);
    }
    DriveListRecord list{};
    list.capacity = 8;
    GetCDList(&list);
    d.handle = OpenDrive(0, list);
    return d;
}

inline std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::string& path) {
    const auto bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The rip logs in a folder.
inline std::vector<std::string> Logs(const QString& folder) {
    std::vector<std::string> logs;
    for (const QString& f : QDir(folder).entryList({"trackmill-*.log"}, QDir::Files))
        logs.push_back((folder + "/" + f).toStdString());
    return logs;
}

inline std::uint32_t Le32(const std::vector<unsigned char>& b, size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

// Expects a WAV file whose header matches its size, holding `expected` or (when a
// prefix is allowed, as for a stopped rip) the start of it.
inline void ExpectWav(const std::string& path, const std::vector<unsigned char>& expected,
                      bool prefixAllowed = false) {
    const auto file = ReadFile(path);
    ASSERT_GE(file.size(), 44u) << path;
    const std::uint32_t length = Le32(file, 40);
    EXPECT_EQ(length, file.size() - 44) << path;
    EXPECT_EQ(Le32(file, 4), length + 36) << path;
    if (prefixAllowed) {
        ASSERT_LE(length, expected.size()) << path;
    } else {
        ASSERT_EQ(length, expected.size()) << path;
    }
    EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), expected.begin()))
        << path << ": audio differs from the disc";
}

// Starts `entry` and waits (bounded) for its WM_RIP_TRACK_DONE, then ends it.
// Returns false when the notice did not come in time.
inline bool RunTrack(RipEngine& engine, FakeDialog& dialog, const TrackEntry& entry,
                     int timeoutMs = 30000) {
    const int before = dialog.done;
    const cd::Track track = AsTrack(entry);
    engine.StartTrack(dialog, &track);
    const bool done = PumpUntil([&] { return dialog.done > before; }, timeoutMs);
    // The track's file is settled once its encoder worker has ended, as a batch's
    // end waits for it.
    if (done) {
        engine.EndTrack();
        engine.WaitForEncoders();
    }
    return done;
}

// The AccurateRip v1 and v2 sums of one track by the published formula, sample by
// sample: multiplier m runs from 1; the first track counts from m = 2940, the last
// up to m = samples - 2940.
struct ArSums {
    std::uint32_t v1 = 0, v2 = 0;
};
inline ArSums ReferenceAccurateRip(const std::vector<unsigned char>& audio, bool first, bool last) {
    const std::int64_t n = static_cast<std::int64_t>(audio.size() / 4);
    const std::int64_t from = first ? 2940 : 1, to = last ? n - 2940 : n;
    ArSums sums;
    for (std::int64_t m = from; m <= to; ++m) {
        const std::uint64_t word = Le32(audio, static_cast<size_t>(4 * (m - 1)));
        const std::uint64_t product = word * static_cast<std::uint64_t>(m);
        sums.v1 += static_cast<std::uint32_t>(product);
        sums.v2 += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
    }
    return sums;
}

inline RipOptions Options(const std::string& folder, encode::Format format) {
    RipOptions o;
    o.format = format;
    std::snprintf(o.folder, sizeof o.folder, "%s", folder.c_str());
    return o;
}
inline RipOptions Options(const std::string& folder, bool mp3) {
    return Options(folder, mp3 ? encode::Format::Mp3 : encode::Format::Wav);
}

}  // namespace riptest
