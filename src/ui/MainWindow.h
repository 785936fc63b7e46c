// MainWindow: the program's only top-level window.
//
// A frameless, skinned dialog: the background picture stretched over the whole
// client area, fourteen bitmap buttons, the disc's track list with a check box per
// row, the seek slider and the transport bar. It opens the first CD drive that
// answers at start-up, builds the track table, creates the program's one rip
// engine and owns the player. The user drags it by its background and closes it
// with its own close button or Escape; closing it ends the program.
//
// Every control carries its numeric id as its object name ("1000" is the track
// list), and so does every entry of the popup menu ("32780" is "CD to MP3"), so
// tests and id lookups find them. ConnectHandlers is the one place that binds ids
// to handlers.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cd/TrackTable.h"
#include "cdaccess/CdAccess.h"
#include "convert/ConverterLibrary.h"
#include "encode/Formats.h"
#include "names/DiscNames.h"
#include "names/FindDiscNames.h"
#include "player/CdPlayer.h"
#include "player/PlayerTransport.h"
#include "ui/NamesLookup.h"
#include "ui/RipSource.h"

class BitmapButton;
class QMenu;
class QTreeWidget;
class SkinSlider;

namespace ui {

class MainWindow : public QDialog, public RipSource, public player::PlayerView {
    Q_OBJECT
  public:
    // Control ids of the window's template and of its popup menu.
    enum ControlId : int {
        kTrackList = 1000,
        kRip = 1001,
        kConvert = 1003,
        kPlay = 1004,
        kStop = 1005,
        kPause = 1006,
        kSeekSlider = 1007,
        kFirst = 1008,
        kBack = 1009,
        kForward = 1010,
        kNext = 1011,
        kHelp = 1013,
        kOptions = 1014,
        kMinimise = 1027,
        kClose = 1028,
        kWebPage = 1029,
    };
    enum MenuId : int {
        kPopupMenu = 132,
        kMenuSelectAll = 32778,
        kMenuInvertSelect = 32779,
        kMenuCdToMp3 = 32780,
        kMenuCdToWav = 32781,
        kMenuSelectNone = 32782,
        kMenuPlayMusic = 32783,
        kMenuCdToFlac = 32784,
        kMenuDiscNames = 32785,
    };

    // Builds the window and initialises it: pictures, drive, track list, rip engine,
    // default output folder, player. Disc images named on the command line must be
    // added to the drive list before.
    // `converter` is the program's binding of the converter's encoder module, which the
    // convert dialog converts through; it outlives the window (none: conversions fail).
    explicit MainWindow(QWidget* parent = nullptr,
                        const convert::ConverterLibrary* converter = nullptr);
    // Stops the player, closes the drive, then deletes the rip engine.
    ~MainWindow() override;

    // What the rip dialog borrows (RipSource); RowCount and IsRowChecked also serve
    // the player's transport.
    rip::RipEngine& Engine() override;
    int RowCount() const override;
    bool IsRowChecked(int row) const override;
    cd::Track TrackAt(int row) const override;
    names::DiscNames NamesForRip() const override { return discNames_; }
    std::vector<std::string> NamesLogLines() const override;

    // The handle of the open drive, 0 when none opened.
    std::uint32_t DriveHandle() const { return driveHandle_; }
    // Why no drive opened at start-up, when a drive or disc image says why; else empty.
    const std::string& DriveFailure() const { return driveFailure_; }
    const player::CdPlayer& Player() const { return player_; }
    // The popup menu of the track list (object name "132").
    QMenu* PopupMenu() const { return popupMenu_; }
    // The disc's names as last found or edited (none known: source None). The lookup
    // runs off the window's thread from start-up; the Track column shows the titles
    // when they arrive.
    const names::DiscNames& Names() const { return discNames_; }
    bool NamesLookupRunning() const { return namesLookup_.Running(); }
    // The client area's picture as the background paint draws it, for a rectangle
    // of the client area.
    QImage SkinUnder(const QRect& client) const;

    // PlayerView: the list, the slider and timer 1 as the transport sees them.
    int RowTrackNumber(int row) const override;
    bool IsDataRow(int row) const override;
    // The text of the row's second column (the track name).
    std::string RowTrackText(int row) const;
    int FirstSelectedRow() const override;
    void SetSelectionMark(int row) override;
    void SetSliderRange(int minimum, int maximum) override;
    int SliderPosition() const override;
    void SetSliderPosition(int seconds) override;
    void StartPositionTimer() override;
    void KillPositionTimer() override;
    void DispatchOneMessage() override;

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    void CreateControls();
    void InitDialog();
    void BuildPopupMenu();
    void ConnectHandlers();
    BitmapButton* Button(int id) const;

    // Commands.
    void OnRip();
    void OnCdToMp3();
    void OnCdToWav();
    void OnCdToFlac();
    void OnConvert();
    void OnOptions();
    void OnHelp();
    void OnWebPage();
    void OnMinimise();
    void OnClose();
    void OnSelectAll();
    void OnSelectNone();
    void OnInvertSelect();
    void OnListRightClick(const QPoint& viewportPoint);
    void OnDiscNames();

    // Disc names: the query the window looks the disc up with, what came back, and
    // the titles shown in the Track column.
    names::NamesQuery NamesQueryForDisc() const;
    void OnNamesFound(names::NamesAnswer answer);
    void ShowNames(const names::DiscNames& names);

    // Rip commands share the missing-drive check, then run the rip dialog.
    void OpenRipDialog(encode::Format format, bool autoStart, bool plainForm);
    void RunRipDialog(encode::Format format, bool autoStart, bool plainForm);
    void RunConvertDialog();
    void RunOptionsDialog();

    const convert::ConverterLibrary* converter_ = nullptr;

    QTreeWidget* list_ = nullptr;
    SkinSlider* slider_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    QImage background_;
    QTimer positionTimer_;  // timer 1: moves the slider while a track plays

    DriveListRecord drives_{};
    std::uint32_t driveHandle_ = 0;
    std::string driveFailure_;
    std::array<cd::TrackEntry, cd::kMaxTracks> table_{};
    std::vector<cd::TrackRow> rows_;  // the list's rows, with their tracks' numbers and titles
    std::unique_ptr<rip::RipEngine> ripEngine_;
    names::DiscNames discNames_;
    std::vector<std::string> namesNotes_;  // how the lookup went, for the rip log
    NamesLookup namesLookup_;
    player::CdPlayer player_;
    player::PlayerTransport transport_{player_, *this};

    // The manual move used when the window system does not move the window itself.
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace ui
