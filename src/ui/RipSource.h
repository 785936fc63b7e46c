// What the rip dialog borrows from the window that opens it: the program's rip
// engine, the track list's rows and their check states, and the track table in
// row order. The main window implements it; tests may implement it over a plain
// table.
#pragma once

#include "cd/TrackTable.h"
#include "rip/RipEngine.h"

namespace ui {

class RipSource {
  public:
    virtual ~RipSource() = default;
    virtual rip::RipEngine& Engine() = 0;
    // The track list's current row count and one row's check state.
    virtual int RowCount() const = 0;
    virtual bool IsRowChecked(int row) const = 0;
    // The track of a row: its table entry, its number on the disc and its title.
    virtual cd::Track TrackAt(int row) const = 0;
};

}  // namespace ui
