// "Disc names": the album artist, album, year, disc number and count, and each
// track's title and artist, to correct by hand. "Look up again" asks MusicBrainz
// afresh (past the cache) off the window's thread and fills the fields with what it
// finds. OK keeps the names in the cache, where the window and the next rip find them.
#pragma once

#include <QDialog>
#include <vector>

#include "names/DiscNames.h"
#include "names/FindDiscNames.h"
#include "ui/NamesLookup.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace ui {

class DiscNamesDialog : public QDialog {
    Q_OBJECT
  public:
    // `trackNumbers`: the disc's audio tracks, one row each. `lookUp` is the query
    // "Look up again" runs (its handle names the disc).
    DiscNamesDialog(const names::DiscNames& current, std::vector<int> trackNumbers,
                    names::NamesQuery lookUp, QWidget* parent = nullptr);
    // The names as edited (after OK: as kept).
    names::DiscNames Names() const;

    QPushButton* LookUpButton() const { return lookUpButton_; }
    QTableWidget* Tracks() const { return tracks_; }

  private:
    void Show(const names::DiscNames& names);
    void OnLookUpAgain();
    void OnLookedUp(names::NamesAnswer answer);
    void OnOk();

    names::DiscNames names_;  // what the fields started from
    bool lookedUp_ = false;   // names_ came from "Look up again", not yet kept
    std::vector<int> trackNumbers_;
    names::NamesQuery lookUp_;
    NamesLookup lookup_;
    QLineEdit* albumArtist_ = nullptr;
    QLineEdit* album_ = nullptr;
    QLineEdit* year_ = nullptr;
    QSpinBox* discNumber_ = nullptr;
    QSpinBox* discCount_ = nullptr;
    QTableWidget* tracks_ = nullptr;
    QPushButton* lookUpButton_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace ui
