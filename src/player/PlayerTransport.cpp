#include "player/PlayerTransport.h"

namespace player {

namespace {
constexpr int kSkipSeconds = 8;
}  // namespace

void PlayerTransport::StartRow(int row, bool stopFirst) {
    if (stopFirst) player_.Stop();
    player_.SelectTrack(view_.RowTrackNumber(row));
    currentRow_ = row;
    view_.SetSelectionMark(row);
    player_.GetTrackLength(row + 1, trackSeconds_);
    view_.SetSliderRange(0, trackSeconds_);
    view_.StartPositionTimer();
    player_.Play(row + 1);
}

bool PlayerTransport::InPlayOrder(int row) const {
    return view_.IsRowChecked(row) && !view_.IsDataRow(row);
}

void PlayerTransport::OnPlay() {
    const int rows = view_.RowCount();
    for (int r = 0; r < rows; ++r) {
        if (InPlayOrder(r)) {
            StartRow(r, false);
            return;
        }
    }
}

void PlayerTransport::OnStop() {
    player_.Stop();
}

void PlayerTransport::OnPause() {
    player_.Pause();
}

// Searches backwards from the row before the current one to row 0, then from the
// last row down to row 0 again.
void PlayerTransport::OnFirst() {
    player_.Stop();
    for (int r = currentRow_ - 1; r >= 0; --r) {
        if (InPlayOrder(r)) {
            StartRow(r, true);
            return;
        }
    }
    for (int r = view_.RowCount() - 1; r >= 0; --r) {
        if (InPlayOrder(r)) {
            StartRow(r, true);
            return;
        }
    }
}

void PlayerTransport::OnBack() {
    int seconds = 0;
    player_.GetPosition(seconds);
    seconds -= kSkipSeconds;
    if (seconds < 0) seconds = 0;
    player_.SetPosition(currentRow_ + 1, seconds);
}

void PlayerTransport::OnForward() {
    int seconds = 0;
    player_.GetPosition(seconds);
    player_.SetPosition(currentRow_ + 1, seconds + kSkipSeconds);
}

void PlayerTransport::OnNext() {
    player_.Stop();
    const int rows = view_.RowCount();
    for (int r = currentRow_ + 1; r < rows; ++r) {
        if (InPlayOrder(r)) {
            StartRow(r, true);
            return;
        }
    }
    OnPlay();
}

void PlayerTransport::PlaySelectedRow() {
    const int row = view_.FirstSelectedRow();
    if (row < 0) return;
    StartRow(row, true);
}

void PlayerTransport::OnDoubleClick() {
    view_.DispatchOneMessage();
    PlaySelectedRow();
}

void PlayerTransport::OnPlayMenu() {
    PlaySelectedRow();
}

void PlayerTransport::OnSliderReleased() {
    if (!player_.IsPlaying()) return;
    player_.SetPosition(currentRow_ + 1, view_.SliderPosition());
    view_.StartPositionTimer();
}

void PlayerTransport::OnTimer() {
    int seconds = 0;
    player_.GetPosition(seconds);
    view_.SetSliderPosition(seconds);
}

void PlayerTransport::OnPlayEnd() {
    player_.Stop();
    view_.KillPositionTimer();
    OnNext();
}

}  // namespace player
