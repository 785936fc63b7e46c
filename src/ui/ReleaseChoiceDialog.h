// "Choose the release": the releases MusicBrainz holds the disc on, one row each
// (title, artist, date, country, label, catalogue number, format, tracks), the best
// match preselected. OK (or a double click) takes the selected row.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "names/MusicBrainz.h"

class QTableWidget;

namespace ui {

class ReleaseChoiceDialog : public QDialog {
    Q_OBJECT
  public:
    ReleaseChoiceDialog(const std::vector<names::Release>& releases, int preselected,
                        QWidget* parent = nullptr);
    // The selected row; -1 for none.
    int Chosen() const;
    QTableWidget* Table() const { return table_; }

  private:
    QTableWidget* table_ = nullptr;
};

// Shows the dialog modally and returns the release taken, or -1 when it was closed
// without a choice. Tests may answer instead of the user (an empty function restores
// the dialog).
int ChooseReleaseInWindow(QWidget* owner, const std::vector<names::Release>& releases,
                          int preselected);
using ReleaseChoiceAnswerer =
    std::function<int(const std::vector<names::Release>& releases, int preselected)>;
void SetReleaseChoiceAnswerer(ReleaseChoiceAnswerer answerer);

}  // namespace ui
