#include "ui/ReleaseChoiceDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "controls/DialogFont.h"

namespace ui {

namespace {

ReleaseChoiceAnswerer& Answerer() {
    static ReleaseChoiceAnswerer answerer;
    return answerer;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

ReleaseChoiceDialog::ReleaseChoiceDialog(const std::vector<names::Release>& releases,
                                         int preselected, QWidget* parent)
    : QDialog(parent) {
    setObjectName("ReleaseChoice");
    setWindowTitle("Choose the release");
    setFont(controls::DialogFont());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("This disc is on several releases. Which one is yours?", this));
    table_ = new QTableWidget(static_cast<int>(releases.size()), 8, this);
    table_->setObjectName("releases");
    table_->setHorizontalHeaderLabels(
        {"Title", "Artist", "Date", "Country", "Label", "Catalogue no.", "Format", "Tracks"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    for (int row = 0; row < table_->rowCount(); ++row) {
        const names::Release& r = releases[static_cast<std::size_t>(row)];
        const names::DiscNames& n = r.names;
        QString format = Q(r.format);
        if (n.discCount > 1)
            format += QString(" (disc %1 of %2)").arg(n.discNumber).arg(n.discCount);
        const QString cells[] = {
            Q(n.album), Q(n.albumArtist),     Q(n.year), Q(r.country),
            Q(n.label), Q(n.catalogueNumber), format,    QString::number(r.trackCount)};
        for (int column = 0; column < 8; ++column)
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    if (preselected >= 0 && preselected < table_->rowCount()) table_->selectRow(preselected);
    layout->addWidget(table_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    int width = 0;
    for (int c = 0; c < 8; ++c) width += table_->columnWidth(c);
    resize(std::min(width + 40, 1000), 120 + 24 * std::min<int>(table_->rowCount(), 8));
}

int ReleaseChoiceDialog::Chosen() const {
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

int ChooseReleaseInWindow(QWidget* owner, const std::vector<names::Release>& releases,
                          int preselected) {
    if (Answerer()) return Answerer()(releases, preselected);
    ReleaseChoiceDialog dialog(releases, preselected, owner);
    return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : -1;
}

void SetReleaseChoiceAnswerer(ReleaseChoiceAnswerer answerer) {
    Answerer() = std::move(answerer);
}

}  // namespace ui
