// What the rip dialog borrows from the window that opens it: the program's rip
// engine, the track list's rows and their check states, the track table in row
// order, and the disc's names. The main window implements it; tests may implement it over a plain
// table.
#pragma once

#include <string>
#include <vector>

#include "cd/TrackTable.h"
#include "names/DiscNames.h"
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
    // The disc's names as the next rip uses them, and the rip log's lines on where
    // they came from (none known: no names, no lines).
    virtual names::DiscNames NamesForRip() const { return {}; }
    virtual std::vector<std::string> NamesLogLines() const { return {}; }
};

}  // namespace ui
