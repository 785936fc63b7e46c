#include "ui/DiscNamesDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "controls/DialogFont.h"
#include "names/NamesCache.h"
#include "ui/ReleaseChoiceDialog.h"

namespace ui {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.trimmed().toStdString();
}

// Whether the fields the dialog edits differ.
bool Changed(const names::DiscNames& a, const names::DiscNames& b) {
    if (a.albumArtist != b.albumArtist || a.album != b.album || a.year != b.year ||
        a.discNumber != b.discNumber || a.discCount != b.discCount)
        return true;
    for (const names::TrackNames& t : b.tracks) {
        const names::TrackNames* old = a.Track(t.number);
        if (old ? old->title != t.title || old->artist != t.artist
                : !t.title.empty() || !t.artist.empty())
            return true;
    }
    return false;
}

}  // namespace

DiscNamesDialog::DiscNamesDialog(const names::DiscNames& current, std::vector<int> trackNumbers,
                                 names::NamesQuery lookUp, QWidget* parent)
    : QDialog(parent),
      names_(current),
      trackNumbers_(std::move(trackNumbers)),
      lookUp_(std::move(lookUp)) {
    setObjectName("DiscNames");
    setWindowTitle("Disc names");
    setFont(controls::DialogFont());
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    albumArtist_ = new QLineEdit(this);
    albumArtist_->setObjectName("albumArtist");
    album_ = new QLineEdit(this);
    album_->setObjectName("album");
    year_ = new QLineEdit(this);
    year_->setObjectName("year");
    discNumber_ = new QSpinBox(this);
    discNumber_->setObjectName("discNumber");
    discCount_ = new QSpinBox(this);
    discCount_->setObjectName("discCount");
    for (QSpinBox* box : {discNumber_, discCount_}) {
        box->setRange(0, 99);
        box->setSpecialValueText("-");
    }
    auto* disc = new QHBoxLayout;
    disc->addWidget(discNumber_);
    disc->addWidget(new QLabel("of", this));
    disc->addWidget(discCount_);
    disc->addStretch();
    form->addRow("Album artist:", albumArtist_);
    form->addRow("Album:", album_);
    form->addRow("Year:", year_);
    form->addRow("Disc:", disc);
    layout->addLayout(form);

    tracks_ = new QTableWidget(static_cast<int>(trackNumbers_.size()), 2, this);
    tracks_->setObjectName("tracks");
    tracks_->setHorizontalHeaderLabels({"Title", "Artist"});
    QStringList rows;
    for (int n : trackNumbers_) rows << QString::number(n);
    tracks_->setVerticalHeaderLabels(rows);
    tracks_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tracks_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    layout->addWidget(tracks_);

    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    lookUpButton_ = buttons->addButton("Look up again", QDialogButtonBox::ActionRole);
    lookUpButton_->setObjectName("lookUpAgain");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &DiscNamesDialog::OnOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lookUpButton_, &QPushButton::clicked, this, &DiscNamesDialog::OnLookUpAgain);
    Show(names_);
    resize(520, 200 + 30 * std::min<int>(static_cast<int>(trackNumbers_.size()), 12));
}

void DiscNamesDialog::Show(const names::DiscNames& n) {
    albumArtist_->setText(Q(n.albumArtist));
    album_->setText(Q(n.album));
    year_->setText(Q(n.year));
    discNumber_->setValue(n.discNumber);
    discCount_->setValue(n.discCount);
    for (std::size_t row = 0; row < trackNumbers_.size(); ++row) {
        const names::TrackNames* t = n.Track(trackNumbers_[row]);
        const int r = static_cast<int>(row);
        tracks_->setItem(r, 0, new QTableWidgetItem(t ? Q(t->title) : QString()));
        tracks_->setItem(r, 1, new QTableWidgetItem(t ? Q(t->artist) : QString()));
    }
}

names::DiscNames DiscNamesDialog::Names() const {
    names::DiscNames n = names_;
    n.albumArtist = S(albumArtist_->text());
    n.album = S(album_->text());
    n.year = S(year_->text());
    n.discNumber = discNumber_->value();
    n.discCount = discCount_->value();
    for (std::size_t row = 0; row < trackNumbers_.size(); ++row) {
        const int r = static_cast<int>(row);
        const std::string title = tracks_->item(r, 0) ? S(tracks_->item(r, 0)->text()) : "";
        const std::string artist = tracks_->item(r, 1) ? S(tracks_->item(r, 1)->text()) : "";
        names::TrackNames* track = nullptr;
        for (names::TrackNames& t : n.tracks)
            if (t.number == trackNumbers_[row]) track = &t;
        if (!track) {
            if (title.empty() && artist.empty()) continue;
            n.tracks.push_back({});
            track = &n.tracks.back();
            track->number = trackNumbers_[row];
        }
        track->title = title;
        track->artist = artist;
    }
    return n;
}

void DiscNamesDialog::OnLookUpAgain() {
    lookUpButton_->setEnabled(false);
    status_->setText("Looking the disc up...");
    names::NamesQuery query = lookUp_;
    query.useCache = false;
    query.remember = false;  // OK keeps what the dialog shows; Cancel keeps nothing
    lookup_.Start(query, this, [this](names::NamesAnswer a) { OnLookedUp(std::move(a)); });
}

void DiscNamesDialog::OnLookedUp(names::NamesAnswer answer) {
    lookUpButton_->setEnabled(true);
    if (answer.needsChoice) {
        const int index = ChooseReleaseInWindow(this, answer.releases, answer.best);
        names::ChooseRelease(answer, index >= 0 ? index : answer.best);
    }
    status_->setText(answer.log.empty() ? QString() : Q(answer.log.back()));
    if (!answer.names.Known()) return;  // nothing found: the fields stay as they are
    names_ = answer.names;
    lookedUp_ = true;
    Show(names_);
}

void DiscNamesDialog::OnOk() {
    lookup_.Cancel();
    names::DiscNames edited = Names();
    const bool changed = Changed(names_, edited);
    if (changed) edited.source = names::NamesSource::Edited;
    if (changed || lookedUp_) names::SaveCachedNames(edited);
    names_ = std::move(edited);
    accept();
}

}  // namespace ui
