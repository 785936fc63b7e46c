// trackmill --play ROW [--disc FILE]: plays one row of the disc's track list to the
// default sound device, showing the position as it goes, and ends at the end of the
// row or on Ctrl+C. Exit status 0 when it played, 1 when the disc, the sound device
// or the drive failed, 2 on a usage error.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cd/DiscSession.h"
#include "cli/Commands.h"
#include "player/CdPlayer.h"

namespace cli {

using namespace cd;
using namespace player;

namespace {

// Set by the Ctrl+C handler, which may run on any thread; a lock-free atomic is safe
// to store from a signal handler.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnInterrupt(int) {
    g_interrupted = 1;
}

// Stands in for the main window: quits the event loop on WM_PLAY_END.
class PlayEndReceiver : public QObject {
  protected:
    bool event(QEvent* e) override {
        if (e->type() == static_cast<QEvent::Type>(core::WM_PLAY_END)) {
            QCoreApplication::quit();
            return true;
        }
        return QObject::event(e);
    }
};

int Usage(const char* why) {
    std::fprintf(stderr, "trackmill: %s\nusage: trackmill --play ROW [--disc FILE]\n", why);
    return 2;
}

// ROW as a row number from 1; 0 when it is not one.
int ParseRow(const std::string& text) {
    if (text.empty() || text.size() > 3) return 0;
    int row = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        row = row * 10 + (c - '0');
    }
    return row;
}

void ShowPosition(int seconds, int total) {
    std::printf("\r%02d:%02d / %02d:%02d", seconds / 60, seconds % 60, total / 60, total % 60);
    std::fflush(stdout);
}

// Plays the row's range to its end or until Ctrl+C, showing the position. Needs the
// application object for WM_PLAY_END. Returns the command's exit status.
int PlayRow(const DiscState& disc, int row) {
    PlayEndReceiver receiver;
    CdPlayer player;
    player.SetCdHandle(disc.handle);
    player.SetMainWindow(platform::WindowHandleOf(&receiver));
    player.SelectTrack(disc.rows[row - 1].name);
    if (player.RangeLength() <= 0) {
        std::fprintf(stderr, "trackmill: the table of contents could not be read\n");
        return 1;
    }
    if (!player.Play(row)) {
        std::fprintf(stderr, "trackmill: the sound device could not be opened\n");
        return 1;
    }
    const int total = player.RangeLength() / 75;
    std::printf("Playing row %d, %s\n", row, disc.rows[row - 1].name.c_str());

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        int seconds = 0;
        player.GetPosition(seconds);
        ShowPosition(seconds, total);
        if (g_interrupted) QCoreApplication::quit();
    });
    timer.start(100);
    ShowPosition(0, total);
    QCoreApplication::exec();
    timer.stop();
    player.Stop();

    int seconds = 0;
    player.GetPosition(seconds);
    ShowPosition(seconds, total);
    std::printf("\n");
    if (CdPlayer::LastEndReason() == CdPlayer::EndReason::DriveFailed) {
        std::fprintf(stderr, "trackmill: the drive failed\n");
        return 1;
    }
    if (g_interrupted) std::printf("Stopped\n");
    return 0;
}

}  // namespace

int RunPlayCommand(const std::vector<std::string>& args) {
    int row = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--play") {
            if (i + 1 >= args.size()) return Usage("--play needs a row number");
            row = ParseRow(args[++i]);
            if (row < 1) return Usage("the row must be a number from 1");
        } else if (args[i] == "--disc") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Usage("--disc needs a file");
            ++i;
        } else {
            return Usage(("unknown argument " + args[i]).c_str());
        }
    }

    DiscState disc;
    std::string error;
    if (!OpenDisc(args, disc, error)) {
        std::fprintf(stderr, "trackmill: %s\n", error.c_str());
        return 1;
    }
    if (row > static_cast<int>(disc.rows.size())) {
        std::fprintf(stderr, "trackmill: there is no row %d: the disc has %zu rows\n", row,
                     disc.rows.size());
        CloseDisc(disc);
        return 2;
    }
    if (disc.table[row - 1].isData) {
        std::fprintf(stderr, "trackmill: row %d is a data track\n", row);
        CloseDisc(disc);
        return 2;
    }

    static int argc = 1;
    static char name[] = "trackmill";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);

    const int status = PlayRow(disc, row);
    sigaction(SIGINT, &previous, nullptr);
    CloseDisc(disc);
    return status;
}

}  // namespace cli
