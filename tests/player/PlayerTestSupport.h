// Seams shared by the player's tests.
//
// Sound device: PortAudio plays to ALSA's default device, and each test points
// ALSA_CONFIG_PATH at a configuration of its own in which that device is the `file`
// plugin over a `null` device. Every byte the player gives the device lands in a raw
// file, with no sound card; the sink consumes at once, so nothing here times anything
// from it. A configuration whose default device is a sound card that does not exist
// stands for a machine without sound.
//
// Drive: a SimulatedDrive of the CD access library holds the disc in memory. A
// GatedDrive wraps it and can hold the player thread inside a read at a chosen
// address until the test lets it go, so a pause, seek or stop lands at a known block.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "cdaccess/CdAccess.h"
#include "cdaccess/Drive.h"
#include "cdaccess/SimulatedDrive.h"
#include "core/Messages.h"

namespace playertest {

// A temporary folder with an ALSA configuration whose default device writes to
// `capture`. Sets ALSA_CONFIG_PATH for the process.
class SoundSink {
  public:
    explicit SoundSink(bool deviceExists = true) {
        dir_ = std::filesystem::temp_directory_path() /
               ("trackmill-player-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        std::filesystem::create_directories(dir_);
        capture_ = (dir_ / "capture.raw").string();
        const std::string config = (dir_ / "asound.conf").string();
        std::ofstream out(config);
        if (deviceExists) {
            out << "pcm.!default {\n  type file\n  slave.pcm { type null }\n  file \"" << capture_
                << "\"\n  format \"raw\"\n}\n";
        } else {
            out << "pcm.!default { type hw card 31 }\n";
        }
        out.close();
        ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    }
    ~SoundSink() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    // Everything the device was given since it was last opened.
    std::vector<unsigned char> Captured() const {
        std::ifstream in(capture_, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }
    const std::filesystem::path& Dir() const { return dir_; }

  private:
    static inline int next_ = 0;
    std::filesystem::path dir_;
    std::string capture_;
};

// Holds reads at or after `gateLba` until Open; everything else goes to the inner drive.
class GatedDrive : public cdaccess::Drive {
  public:
    explicit GatedDrive(std::shared_ptr<cdaccess::SimulatedDrive> inner)
        : inner_(std::move(inner)) {}

    void CloseGateAt(std::uint32_t lba) {
        std::lock_guard<std::mutex> guard(mutex_);
        gateLba_ = lba;
        closed_ = true;
        arrived_ = false;
    }
    // Lets the held read (and every later one) through.
    void OpenGate() {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = false;
        cv_.notify_all();
    }
    // Waits (at most 10 s) until a read is held at the gate.
    bool WaitArrived() {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return arrived_; });
    }

    std::string Name() const override { return inner_->Name(); }
    bool Open() override { return inner_->Open(); }
    bool ReadToc(cdaccess::DiscToc& toc) override { return inner_->ReadToc(toc); }
    int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (closed_ && lba >= gateLba_) {
                arrived_ = true;
                cv_.notify_all();
                cv_.wait_for(lock, std::chrono::seconds(10), [&] { return !closed_; });
            }
        }
        return inner_->ReadFrames(lba, count, out);
    }
    bool Ready() override { return inner_->Ready(); }
    void Reset() override { inner_->Reset(); }

  private:
    std::shared_ptr<cdaccess::SimulatedDrive> inner_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::uint32_t gateLba_ = 0;
    bool closed_ = false;
    bool arrived_ = false;
};

// Opens the first listed drive the way the main window does; 0 when none opens.
inline std::uint32_t OpenFirstDrive() {
    DriveListRecord list{};
    list.capacity = 8;
    GetCDList(&list);
    if (list.count == 0) return 0;
    HandleRequest request{};
    request.size = 12;
    request.one = 1;
    request.adapter = list.entries[0].adapter;
    request.target = list.entries[0].target;
    request.unit = list.entries[0].unit;
    request.byte10 = 1;
    request.byte11 = 3;
    return GetCDHandle(&request);
}

// The application object the posted window messages need, created once per process.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "player_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// Stands in for the main window: counts WM_PLAY_END and runs an optional handler.
class PlayEndWindow : public QObject {
  public:
    int playEnds = 0;
    std::function<void()> onPlayEnd;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == static_cast<QEvent::Type>(core::WM_PLAY_END)) {
            ++playEnds;
            if (onPlayEnd) onPlayEnd();
            return true;
        }
        return QObject::event(e);
    }
};

// Processes events until pred holds or 10 s pass; false on time-out.
inline bool ProcessEventsUntil(const std::function<bool()>& pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

// The disc's bytes for frames [from, from + count).
inline std::vector<unsigned char> Frames(const std::vector<unsigned char>& disc, std::uint32_t from,
                                         std::uint32_t count) {
    const auto begin = disc.begin() + static_cast<std::ptrdiff_t>(from) * kFrameBytes;
    return std::vector<unsigned char>(begin,
                                      begin + static_cast<std::ptrdiff_t>(count) * kFrameBytes);
}

// True when `played` is the beginning of the disc's audio from frame `from`: what a
// stream cut short leaves (a reset may cut a block part way, at a sample boundary).
inline bool IsPrefixOf(const std::vector<unsigned char>& played,
                       const std::vector<unsigned char>& disc, std::uint32_t from) {
    const std::size_t begin = static_cast<std::size_t>(from) * kFrameBytes;
    if (played.size() % 4 != 0 || begin + played.size() > disc.size()) return false;
    return std::equal(played.begin(), played.end(),
                      disc.begin() + static_cast<std::ptrdiff_t>(begin));
}

}  // namespace playertest
