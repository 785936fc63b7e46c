// The transport logic of the main window: what Play, Stop, Pause, First, BK, FF,
// Next, a double-click on the track list, the menu's "Play the music", a slider
// release, timer 1 and WM_PLAY_END do with the player and the list's rows. It works
// on the rows and check states through PlayerView, so the main window supplies the
// real controls and tests a plain list.
#pragma once

#include <string>

#include "player/CdPlayer.h"

namespace player {

// The controls the transport logic reads and drives. Rows are indexed from 0.
class PlayerView {
  public:
    virtual ~PlayerView() = default;
    virtual int RowCount() const = 0;
    virtual bool IsRowChecked(int row) const = 0;
    // A data track's row: it holds no audio to play.
    virtual bool IsDataRow(int row) const = 0;
    // The number on the disc of the track the row shows.
    virtual int RowTrackNumber(int row) const = 0;
    // The first selected row, or -1 when none is selected.
    virtual int FirstSelectedRow() const = 0;
    virtual void SetSelectionMark(int row) = 0;
    // The seek slider, in seconds: its range (set without redrawing), its position.
    virtual void SetSliderRange(int minimum, int maximum) = 0;
    virtual int SliderPosition() const = 0;
    virtual void SetSliderPosition(int seconds) = 0;
    // Timer 1 of the main window: every 500 ms it calls PlayerTransport::OnTimer.
    virtual void StartPositionTimer() = 0;
    virtual void KillPositionTimer() = 0;
    // Takes one message from the thread's queue (waiting for one) and dispatches it,
    // so the list finishes handling the click that caused a double-click notice.
    virtual void DispatchOneMessage() = 0;
};

class PlayerTransport {
  public:
    PlayerTransport(CdPlayer& player, PlayerView& view) : player_(player), view_(view) {}

    void OnPlay();         // "Play": the first checked row, no stop before it
    void OnStop();         // "Stop"
    void OnPause();        // "Pause"
    void OnFirst();        // "First": the previous checked row, wrapping to the last
    void OnBack();         // "BK": 8 seconds back, not before 0
    void OnForward();      // "FF": 8 seconds on
    void OnNext();         // "Next": the next checked row, else as "Play"
    void OnDoubleClick();  // double-click on the track list
    void OnPlayMenu();     // menu "Play the music"
    void OnSliderReleased();
    void OnTimer();
    void OnPlayEnd();  // WM_PLAY_END

    // Starts row r: stops first unless called from "Play", selects the row's track,
    // sets the slider's range and timer 1, and plays.
    void StartRow(int row, bool stopFirst);

    int CurrentRow() const { return currentRow_; }

  private:
    void PlaySelectedRow();
    // A checked audio row: the rows that play, in list order, skip data rows.
    bool InPlayOrder(int row) const;

    CdPlayer& player_;
    PlayerView& view_;
    int currentRow_ = 0;
    int trackSeconds_ = 0;
};

}  // namespace player
