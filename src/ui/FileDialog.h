// The platform's file-open dialog for several files, behind a seam tests answer.
#pragma once

#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace ui {

class FileDialog {
  public:
    // Shows the dialog over `owner` (may be null) for choosing several existing files.
    // `filter` is a list of description and pattern pairs, each part ended by '|' and
    // the list by a second '|' ("WAV File(*.WAV)|*.WAV||"); `defaultExtension` is the
    // extension the caller expects ("*.WAV"). Returns the chosen paths in the order the
    // dialog gives them, or nothing when the user cancels.
    static std::optional<std::vector<std::string>> ChooseFiles(QWidget* owner,
                                                               const std::string& filter,
                                                               const std::string& defaultExtension);

    // The filter as Qt's name filters: one per pair, the description as it reads with
    // its patterns in brackets after it unless it already ends with them
    // ("WAV File(*.WAV)"); patterns separated by ';' become a space-separated list.
    static QStringList QtNameFilters(const std::string& filter);

    // The dialog itself: owner and name filters in, the chosen paths out (nothing on
    // cancel).
    using DialogFunction = std::function<std::optional<std::vector<std::string>>(
        QWidget* owner, const QStringList& nameFilters)>;
    // Test seam: when set, ChooseFiles asks this function instead of showing a dialog.
    static DialogFunction testDialog;
};

}  // namespace ui
