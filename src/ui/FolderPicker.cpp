#include "ui/FolderPicker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "platform/Paths.h"

namespace ui {

FolderPicker::DialogFunction FolderPicker::testDialog;

namespace {

// The longest chosen path the picker hands back (its field holds 260 bytes).
constexpr std::size_t kMaxChosenPath = 259;

std::optional<std::string> ShowFolderDialog(QWidget* owner, const std::string& caption,
                                            const std::string& startFolder,
                                            const std::string& /*rootFolder*/) {
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString::fromStdString(caption),
                                                             QString::fromStdString(startFolder),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(chosen).toStdString();
}

}  // namespace

bool FolderPicker::Browse(QWidget* owner) {
    // A root that does not name a folder cannot be browsed.
    if (!rootFolder.empty() && !QFileInfo(QString::fromStdString(rootFolder)).isDir()) return false;
    const std::string caption = title.empty() ? "Open" : title;
    const std::string start = !initialSelection.empty() ? initialSelection : rootFolder;

    const DialogFunction& dialog = testDialog ? testDialog : DialogFunction(ShowFolderDialog);
    std::optional<std::string> chosen = dialog(owner, caption, start, rootFolder);
    if (!chosen) return false;

    std::string path = std::move(*chosen);
    if (path.empty()) return false;  // a choice without a file-system path
    if (path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
    if (path.size() > kMaxChosenPath) return false;
    imageIndex = 0;
    chosenPath = std::move(path);
    return true;
}

}  // namespace ui
