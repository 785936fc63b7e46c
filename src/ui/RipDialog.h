// RipDialog: the modal "Ripper" dialog that rips the checked rows of the track
// list one after another to WAV, MP3 or FLAC files in an output folder.
//
// The dialog runs a batch (rip::RipBatch: which row comes next, failures named, the
// log) and tells the user; everything inside one track belongs to the rip engine.
// Its observer shows the engine's reports: the file name in the status line, the
// progress on the percent bar, and each track's end as WM_RIP_TRACK_DONE to the
// dialog, on whose thread the batch goes on. Only one track is ever in progress: a
// new one starts from the previous one's end notice, or at the start of a batch
// when none is pending, and the dialog does not close while a track it started
// is still running (it stops it and closes once the notice has arrived). After
// every batch, finished, failed or stopped, it writes the rip log into the output
// folder; an AccurateRip lookup, when the settings ask for one, runs on a thread
// of its own so that the window stays responsive meanwhile.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/WindowMessages.h"
#include "rip/RipBatch.h"
#include "rip/RipEngine.h"
#include "rip/RipObserver.h"

class HoverButton;
class PercentBar;
class QButtonGroup;
class QLabel;
class QThread;
class QRadioButton;

namespace ui {

class RipSource;

class RipDialog : public QDialog {
    Q_OBJECT
  public:
    // Control ids, kept as the controls' object names.
    enum ControlId : int {
        kIdRipStop = 1028,
        kIdExit = 1030,
        kIdChooseFolder = 1039,
        kIdFolder = 1040,
        kIdStatus = 1029,
        kIdProgress = 1023,
        kIdMp3 = 1018,
        kIdWav = 1019,
        kIdFlac = 1022,
    };
    // The formats of the radio buttons; a button's id in the group is its format's value.
    static constexpr encode::Format kFormatMp3 = encode::Format::Mp3;
    static constexpr encode::Format kFormatWav = encode::Format::Wav;
    static constexpr encode::Format kFormatFlac = encode::Format::Flac;

    // Opened with the RIP button: MP3 preselected, no automatic start.
    explicit RipDialog(RipSource& owner, QWidget* parent = nullptr);
    // Opened from the track list's popup menu: the given format, and with autoStart
    // the batch starts by itself 200 ms after the dialog opens.
    RipDialog(RipSource& owner, encode::Format format, bool autoStart, QWidget* parent = nullptr);
    // A track still running here is stopped and waited for.
    ~RipDialog() override;

    // Dialog-data exchange. save = true moves the controls into the fields (the
    // format of the checked radio button, none when none is checked; folder text
    // from control 1040); save = false moves every field into its control.
    bool UpdateData(bool save = true);

    // State, for the owner and for tests.
    bool Running() const { return running_; }
    bool TrackPending() const { return batch_.TrackPending(); }
    // The batch's rip log (and AccurateRip lookup) is still being written.
    bool Finishing() const { return finishing_; }
    std::optional<encode::Format> ChosenFormat() const { return format_; }
    QString FolderText() const { return folderText_; }
    const rip::RipOptions& Options() const { return options_; }

    // Closes the dialog with `result`. While a track of this dialog runs, the
    // track is stopped first and the dialog closes when its end notice arrives.
    void done(int result) override;

  protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

  private:
    void BuildControls();
    // Dialog initialisation: icon, percent bar, settings, automatic start timer.
    void OnInitDialog();
    // The handlers of the message map.
    void OnRipOrStop();
    void OnExit();
    void OnChooseFolder();
    void OnTrackFinished();
    void OnAutoStartTimer();
    // The engine's reports, shown in the dialog's controls (see RipObserver for the
    // threads they come from).
    class Observer : public rip::RipObserver {
      public:
        explicit Observer(RipDialog& dialog) : dialog_(dialog) {}
        void TrackFile(const std::string& fileName) override;
        void TrackBegun(std::uint64_t totalBytes) override;
        void TrackProgress(std::uint64_t doneBytes, std::uint64_t totalBytes) override;
        void TrackEnded(std::int32_t reason) override;
        void TracksEncoding(int count) override;

      private:
        RipDialog& dialog_;
    };
    // The batch's tracks: the checked rows of the owner's list, in row order.
    class CheckedRows : public rip::BatchRows {
      public:
        explicit CheckedRows(RipSource& owner) : owner_(owner) {}
        int Count() const override;
        bool Wanted(int row) const override;
        cd::Track TrackAt(int row) const override;

      private:
        RipSource& owner_;
    };
    // The status text at the end of a batch: "Finished ok !" or what failed or
    // came out suspicious.
    QString EndOfBatchText() const;
    // Puts a batch's end text in the status line, and the whole of it, with every
    // failed track's reason, in the line's tooltip.
    // `detail`, when given, is a further line for the tooltip alone.
    void ShowEndText(const QString& text, const QString& detail = QString());
    // Ends the batch: writes the rip log (after the AccurateRip lookup when asked,
    // unless the dialog is closing) and then shows `text` in the status line.
    // A null text stands for the batch's end text, told once the encoding is over. While
    // encoder workers still run, the batch waits for them first (Stop still stops them).
    void FinishBatch(const QString& text, bool closing = false);
    // The count of tracks still being encoded changed.
    void OnTracksEncoding(int count);
    // The status line: the reading track's file, with the tracks still being encoded.
    void ShowTrackStatus();
    void OnBatchFinished(const std::string& logPath, const std::string& error);
    void UpdateRipButton();

    rip::RipEngine& engine_;
    RipSource& owner_;
    bool running_ = false;
    bool autoStart_ = false;
    rip::RipOptions options_;

    HoverButton* ripButton_ = nullptr;
    HoverButton* exitButton_ = nullptr;
    HoverButton* folderButton_ = nullptr;
    QLabel* status_ = nullptr;
    PercentBar* progress_ = nullptr;
    QLabel* folderLabel_ = nullptr;
    QRadioButton* mp3Radio_ = nullptr;
    QRadioButton* wavRadio_ = nullptr;
    QRadioButton* flacRadio_ = nullptr;
    QButtonGroup* formatGroup_ = nullptr;

    std::optional<encode::Format> format_ = kFormatMp3;
    QString folderText_;

    bool initialised_ = false;
    int autoStartTimer_ = 0;
    // The handles the observer reports to from the engine's threads.
    platform::WindowHandle dialogHandle_ = 0;
    platform::WindowHandle progressHandle_ = 0;
    Observer observer_{*this};
    CheckedRows rows_{owner_};
    // Declared after what it uses: it ends a track still pending before they go.
    rip::RipBatch batch_{engine_, rows_, observer_};
    // The batch's read offset and test-and-copy choice, for its log.
    int readOffset_ = 0;
    bool verify_ = false;
    // The end of a batch in progress on finisher_, and the text it ends with.
    bool finishing_ = false;
    std::atomic<bool> cancelLookup_{false};  // asked by the lookup's thread
    QThread* finisher_ = nullptr;
    QString endText_;
    // Tracks read and still being encoded, the reading track's file name, and the end
    // of a batch waiting for its encoders (with its text and whether the dialog closes).
    int encoding_ = 0;
    QString trackFile_;
    bool waitingForEncoders_ = false;
    QString waitingText_;
    // The Rip button had the focus when it was disabled.
    bool ripFocusLent_ = false;
    // A close asked for while a track was pending: the result to close with.
    bool closePending_ = false;
    int closeResult_ = 0;
};

}  // namespace ui
