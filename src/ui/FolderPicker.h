// The folder picker three dialogs use to choose an output folder. A dialog makes one
// on its stack, sets its inputs, calls Browse and reads the chosen path.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace ui {

class FolderPicker {
  public:
    std::int32_t imageIndex = 0;   // out: the chosen folder's icon index (always 0 here)
    std::string chosenPath;        // out: at most 259 characters, ends with a separator
    std::string rootFolder;        // in: the browser's root; empty = no limit
    std::string initialSelection;  // in: preselected folder; empty = none
    std::string title;             // in: shown above the folders; empty = "Open"

    // Shows the platform's folder dialog over `owner` (may be null). True when the
    // user chose a folder: chosenPath then holds it, ending with the path separator.
    // False when the user cancels or on any failure; chosenPath is then unchanged.
    bool Browse(QWidget* owner);

    // The folder dialog itself: given the owner, the caption, the folder to start in
    // and the root folder, it returns the chosen folder or nothing on cancel.
    using DialogFunction = std::function<std::optional<std::string>(
        QWidget* owner, const std::string& caption, const std::string& startFolder,
        const std::string& rootFolder)>;
    // Test seam: when set, Browse asks this function instead of showing a dialog.
    static DialogFunction testDialog;
};

}  // namespace ui
