// trackmill --play ROW [--disc FILE]: plays one row of the disc's track list to the
// default sound device, showing the position as it goes, and ends at the end of the
// row or on Ctrl+C.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cd/DiscSession.h"
#include "cli/Application.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "player/CdPlayer.h"

namespace cli {

using namespace cd;
using namespace player;

namespace {

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
    const TrackEntry& entry = disc.table[static_cast<std::size_t>(row - 1)];
    if (entry.lengthFrames == 0) {
        std::printf("Row %d, %s, is empty: nothing to play\n", row, entry.name);
        return kExitOk;
    }
    // The player reads the track table again; it must find the row's track there.
    player.SelectTrack(disc.rows[row - 1].trackNumber);
    if (player.RangeStart() != static_cast<std::int32_t>(entry.startLba) ||
        player.RangeLength() != static_cast<std::int32_t>(entry.lengthFrames)) {
        PrintError("the table of contents could not be read again");
        return kExitFailed;
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
        if (InterruptGuard::Requested()) QCoreApplication::quit();
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
    if (player.LastEndReason() == CdPlayer::EndReason::DriveFailed) {
        std::fprintf(stderr, "trackmill: the drive failed\n");
        return 1;
    }
    if (InterruptGuard::Requested()) std::printf("Stopped\n");
    return 0;
}

}  // namespace

int RunPlayCommand(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) return UsageError(error);
    if (line.command != Command::Play) return UsageError("--play expected");
    const int row = line.playRow;

    DiscState disc;
    if (!OpenDisc(DiscArguments(line), disc, error)) {
        PrintError(error);
        return kExitUsage;
    }
    if (row > static_cast<int>(disc.rows.size())) {
        return UsageError("there is no row " + std::to_string(row) + ": the disc has " +
                          std::to_string(disc.rows.size()) + " rows");
    }
    if (disc.table[row - 1].isData) {
        return UsageError("row " + std::to_string(row) + " is a data track");
    }

    const auto app = ApplicationIfNone();

    InterruptGuard interrupt;
    return PlayRow(disc, row);
}

}  // namespace cli
