// CPU time (user + system) the player spends playing a one-minute track from a
// simulated drive into ALSA's file sink (the `file` plugin over a `null` device, set
// up through ALSA_CONFIG_PATH), against `aplay` playing the same audio into the same
// sink. Prints both and their ratio; the target is at most 2.
//
// The player's time is the whole process's CPU time from Play to the end of Stop
// (device open, the player thread, the device's feeder thread, the reads); aplay's is
// its whole process, measured by wait4. Each side runs several times; the smallest
// time counts.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "cdaccess/CdAccess.h"
#include "cdaccess/Drive.h"
#include "cdaccess/SimulatedDrive.h"
#include "platform/WaveOut.h"
#include "player/CdPlayer.h"

using namespace player;

namespace {

constexpr std::uint32_t kTrackFrames = 60 * 75;
constexpr int kRuns = 9;

double CpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

class PlayEndWindow : public QObject {
  public:
    bool ended = false;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == static_cast<QEvent::Type>(core::WM_PLAY_END)) {
            ended = true;
            return true;
        }
        return QObject::event(e);
    }
};

std::uint32_t OpenFirstDrive() {
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

// One play of track 1 to its end; the process's CPU seconds, or -1 on failure.
double PlayOnce(CdPlayer& player, PlayEndWindow& window) {
    window.ended = false;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    player.SelectTrack(1);
    if (!player.Play(1)) return -1;
    // Sleeps in the event loop until the end notice (processEvents with a time limit
    // returns at once when nothing is pending, which would spin this thread and count
    // the spinning as the player's).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    QTimer tick;
    tick.start(1000);
    while (!window.ended) {
        if (std::chrono::steady_clock::now() > deadline) return -1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    player.Stop();
    getrusage(RUSAGE_SELF, &after);
    return CpuSeconds(after) - CpuSeconds(before);
}

// One run of aplay over the raw audio; its CPU seconds, or -1 on failure.
double AplayOnce(const std::string& raw) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDERR_FILENO);
        execlp("aplay", "aplay", "-q", "-D", "default", "-t", "raw", "-f", "cd", raw.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return CpuSeconds(usage);
}

}  // namespace

int main(int argc, char** argv) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("trackmill-player-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string capture = (dir / "capture.raw").string();
    const std::string config = (dir / "asound.conf").string();
    std::ofstream(config) << "pcm.!default {\n  type file\n  slave.pcm { type null }\n  file \""
                          << capture << "\"\n  format \"raw\"\n}\n";
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);

    QCoreApplication app(argc, argv);
    auto drive = std::make_shared<cdaccess::SimulatedDrive>(
        cdaccess::SimulatedDrive::MakeTestAudio(kTrackFrames + 100, 7));
    drive->SetAudioTracks({kTrackFrames});
    cdaccess::SetSystemDrivesListed(false);
    cdaccess::AddDrive(drive);
    const std::uint32_t handle = OpenFirstDrive();
    if (handle == 0) {
        std::fprintf(stderr, "player_bench: the simulated drive did not open\n");
        return 1;
    }
    const std::string raw = (dir / "track.raw").string();
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(drive->Disc().data()),
               static_cast<std::streamsize>(kTrackFrames) * kFrameBytes);

    PlayEndWindow window;
    CdPlayer player;
    player.SetCdHandle(handle);
    player.SetMainWindow(platform::WindowHandleOf(&window));

    double playerBest = 1e9, aplayBest = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const double p = PlayOnce(player, window);
        const double a = AplayOnce(raw);
        if (p < 0 || a < 0) {
            std::fprintf(stderr, "player_bench: a run failed (player %.3f, aplay %.3f)\n", p, a);
            return 1;
        }
        playerBest = std::min(playerBest, p);
        aplayBest = std::min(aplayBest, a);
    }
    const auto played = std::filesystem::file_size(capture);
    std::filesystem::remove_all(dir);

    std::printf("one-minute track into the file sink (%llu bytes), best of %d:\n",
                static_cast<unsigned long long>(played), kRuns);
    std::printf("  player: %.1f ms CPU\n", playerBest * 1000);
    std::printf("  aplay:  %.1f ms CPU\n", aplayBest * 1000);
    std::printf("ratio player/aplay: %.2f (target <= 2.00)\n",
                aplayBest > 0 ? playerBest / aplayBest : 0.0);
    return 0;
}
