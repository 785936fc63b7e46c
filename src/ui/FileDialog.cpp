#include "ui/FileDialog.h"

#include <QDir>
#include <QFileDialog>

namespace ui {

FileDialog::DialogFunction FileDialog::testDialog;

namespace {

std::optional<std::vector<std::string>> ShowOpenDialog(QWidget* owner,
                                                       const QStringList& nameFilters) {
    QFileDialog dialog(owner, QStringLiteral("Open"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(nameFilters);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles()) {
        paths.push_back(QDir::toNativeSeparators(file).toStdString());
    }
    return paths;
}

}  // namespace

QStringList FileDialog::QtNameFilters(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        if (description.isEmpty()) break;  // the "||" that ends the list
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString bracketed = QLatin1Char('(') + patterns + QLatin1Char(')');
        filters << (description.endsWith(bracketed) ? description
                                                    : description + QLatin1Char(' ') + bracketed);
    }
    return filters;
}

std::optional<std::vector<std::string>> FileDialog::ChooseFiles(
    QWidget* owner, const std::string& filter, const std::string& /*defaultExtension*/) {
    // The default extension only completes a typed name without one, which an
    // open dialog for existing files never needs.
    const QStringList nameFilters = QtNameFilters(filter);
    return testDialog ? testDialog(owner, nameFilters) : ShowOpenDialog(owner, nameFilters);
}

}  // namespace ui
