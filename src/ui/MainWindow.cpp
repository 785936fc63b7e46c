#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "cd/DiscSession.h"
#include "controls/BitmapButton.h"
#include "controls/DialogFont.h"
#include "controls/SkinLayout.h"
#include "controls/SkinResources.h"
#include "controls/SkinSlider.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"
#include "ui/ConvertDialog.h"
#include "ui/DiscNamesDialog.h"
#include "ui/MessageBox.h"
#include "ui/OptionsDialog.h"
#include "ui/ReleaseChoiceDialog.h"
#include "ui/RipDialog.h"

namespace ui {

namespace {

const QColor kListColour(247, 243, 247);
const char* const kNoDriveText = "    Inistall Rip Libarary failure !      ";
const char* const kNoDriveCaption = "Error";
constexpr int kPositionTimerMs = 500;
constexpr int kSliderMaximum = 100;
constexpr int kSliderStep = 5;

// A transport button's template rectangle; index 0..6 is Play, Stop, Pause, First,
// BK, FF, Next.
constexpr QRect Transport(int index) {
    return QRect(QPoint(controls::kTransportLeft[index], controls::kTransportTop),
                 controls::kTransportSize);
}

// The buttons in template order (which is also the keyboard focus order).
struct TemplateButton {
    int id;
    QRect rect;  // dialog units
};
constexpr TemplateButton kTemplateButtons[] = {
    {MainWindow::kRip, controls::kRipButton},
    {MainWindow::kConvert, controls::kConvertButton},
    {MainWindow::kOptions, controls::kOptionButton},
    {MainWindow::kHelp, controls::kHelpButton},
    {MainWindow::kWebPage, controls::kWebButton},
    {MainWindow::kMinimise, controls::kMinimiseButton},
    {MainWindow::kClose, controls::kCloseButton},
    {MainWindow::kPlay, Transport(0)},
    {MainWindow::kStop, Transport(1)},
    {MainWindow::kPause, Transport(2)},
    {MainWindow::kFirst, Transport(3)},
    {MainWindow::kBack, Transport(4)},
    {MainWindow::kForward, Transport(5)},
    {MainWindow::kNext, Transport(6)},
};

// The buttons' faces, in the order they are loaded. The transport buttons show
// their blue face while pressed and while they have the focus.
struct ButtonFaces {
    int id;
    int normal;
    int blue;  // pressed and focused face; 0 = none
};
constexpr ButtonFaces kFaces[] = {
    {MainWindow::kClose, controls::kIdClose, 0},
    {MainWindow::kMinimise, controls::kIdMinimise, 0},
    {MainWindow::kWebPage, controls::kIdWebPage, 0},
    {MainWindow::kHelp, controls::kIdHelp, 0},
    {MainWindow::kRip, controls::kIdRipper, 0},
    {MainWindow::kOptions, controls::kIdOption, 0},
    {MainWindow::kConvert, controls::kIdConvert, 0},
    {MainWindow::kPlay, controls::kIdPlay, controls::kIdPlayBlue},
    {MainWindow::kStop, controls::kIdStop, controls::kIdStopBlue},
    {MainWindow::kPause, controls::kIdPause, controls::kIdPauseBlue},
    {MainWindow::kNext, controls::kIdNext, controls::kIdNextBlue},
    {MainWindow::kForward, controls::kIdForward, controls::kIdForwardBlue},
    {MainWindow::kFirst, controls::kIdFirst, controls::kIdFirstBlue},
    {MainWindow::kBack, controls::kIdBack, controls::kIdBackBlue},
};

// A dialog made without a parent opens where the platform puts it, the screen's
// centre; it is moved to open centred over the main window instead, kept on the
// main window's screen.
void CentreOver(QWidget& dialog, const QWidget& owner) {
    QRect placed(QPoint(), dialog.frameGeometry().size());
    placed.moveCenter(owner.frameGeometry().center());
    if (const QScreen* screen = owner.screen()) {
        const QRect room = screen->availableGeometry();
        placed.moveRight(std::min(placed.right(), room.right()));
        placed.moveBottom(std::min(placed.bottom(), room.bottom()));
        placed.moveLeft(std::max(placed.left(), room.left()));
        placed.moveTop(std::max(placed.top(), room.top()));
    }
    dialog.move(placed.topLeft());
}

QUrl HelpPageUrl() {
    return QUrl::fromLocalFile(QString::fromStdString(core::HelpFilePath()));
}

}  // namespace

MainWindow::MainWindow(QWidget* parent, const convert::ConverterLibrary* converter)
    : QDialog(parent), converter_(converter) {
    CreateControls();
    InitDialog();
    BuildPopupMenu();
    ConnectHandlers();
}

MainWindow::~MainWindow() {
    namesLookup_.Cancel();
    // The player reads from the drive, so it stops before the drive is closed.
    positionTimer_.stop();
    player_.Stop();
    if (driveHandle_ != 0) CloseCDHandle(driveHandle_);
    driveHandle_ = 0;
    ripEngine_.reset();
}

// The window's template: the controls at their dialog-unit positions, in template
// order, on a client area that has also the height of the caption it does not show.
void MainWindow::CreateControls() {
    setWindowTitle(QStringLiteral("Trackmill"));
    setFont(controls::DialogFont());
    const controls::WindowMetrics metrics = controls::CurrentWindowMetrics();
    resize(metrics.ClientSize());

    list_ = new QTreeWidget(this);
    platform::SetControlId(list_, kTrackList);
    list_->setGeometry(metrics.ToClient(controls::kTrackList));

    for (const TemplateButton& b : kTemplateButtons) {
        auto* button = new BitmapButton(this);
        platform::SetControlId(button, b.id);
        button->setGeometry(metrics.ToClient(b.rect));
    }

    slider_ = new SkinSlider(this);
    platform::SetControlId(slider_, kSeekSlider);
    slider_->setGeometry(metrics.ToClient(controls::kSeekSlider));
    slider_->setTickPosition(QSlider::NoTicks);
    slider_->SetBackdropSource([this](const QRect& r) { return SkinUnder(r); });
}

// The dialog's initialisation, step by step in its fixed order.
void MainWindow::InitDialog() {
    // No caption: a frameless top-level window that keeps its taskbar entry.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setWindowIcon(controls::AppIcon());
    background_ = controls::LoadSkinBitmap(controls::kIdBackground);
    for (const ButtonFaces& f : kFaces) Button(f.id)->LoadBitmaps(f.normal, f.blue, f.blue, 0);
    bool cursorLoaded = false;
    const QCursor skinCursor = controls::SkinCursor(&cursorLoaded);
    if (cursorLoaded)
        for (const TemplateButton& b : kTemplateButtons) Button(b.id)->setCursor(skinCursor);

    std::memset(&drives_, 0, sizeof drives_);
    drives_.capacity = 8;
    GetCDList(&drives_);
    driveHandle_ = 0;
    driveHandle_ = cd::OpenDrive(driveHandle_, drives_);
    if (driveHandle_ == 0) driveFailure_ = cd::DriveOpenFailure();

    // Check boxes in column 0, whole rows selected, no sorting.
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSortingEnabled(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setExpandsOnDoubleClick(false);

    list_->setColumnCount(3);
    list_->setHeaderLabels(
        {QStringLiteral("No."), QStringLiteral("Track"), QStringLiteral("Time")});
    QHeaderView* header = list_->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[3] = {85, 140, 140};
    for (int c = 0; c < 3; ++c) header->resizeSection(c, widths[c]);

    QPalette listPalette = list_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        listPalette.setColor(group, QPalette::Base, kListColour);
        listPalette.setColor(group, QPalette::AlternateBase, kListColour);
    }
    list_->setPalette(listPalette);

    cd::BuildTrackTable(driveHandle_, drives_, table_.data(), rows_);
    for (const cd::TrackRow& row : rows_) {
        auto* item = new QTreeWidgetItem(
            list_, {QString::fromStdString(row.number), QString::fromStdString(row.name),
                    QString::fromStdString(row.time)});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       Qt::ItemNeverHasChildren);
    }
    OnSelectAll();
    if (driveHandle_ != 0 && !rows_.empty())
        namesLookup_.Start(NamesQueryForDisc(), this,
                           [this](names::NamesAnswer a) { OnNamesFound(std::move(a)); });

    ripEngine_ = std::make_unique<rip::RipEngine>(driveHandle_);
    core::EnsureDefaultOutputFolder();

    player_.SetCdHandle(driveHandle_);
    player_.SetMainWindow(platform::WindowHandleOf(this));

    slider_->setRange(0, kSliderMaximum);
    slider_->setPageStep(kSliderStep);
    slider_->setSingleStep(kSliderStep);

    positionTimer_.setInterval(kPositionTimerMs);
    list_->setFocus();
}

void MainWindow::BuildPopupMenu() {
    popupMenu_ = new QMenu(this);
    popupMenu_->setObjectName(QString::number(kPopupMenu));
    // clang-format off
    const struct {
        const char* text;
        int id;  // 0 = separator
    } entries[] = {
        {"CD to MP3", kMenuCdToMp3},
        {"CD to Wav", kMenuCdToWav},
        {"CD to FLAC", kMenuCdToFlac},
        {nullptr, 0},
        {"Select All", kMenuSelectAll},
        {"Select None", kMenuSelectNone},
        {"Invert select", kMenuInvertSelect},
        {nullptr, 0},
        {"Play the music", kMenuPlayMusic},
        {"Disc names...", kMenuDiscNames},
    };
    // clang-format on
    for (const auto& entry : entries) {
        if (entry.id == 0) {
            popupMenu_->addSeparator();
            continue;
        }
        QAction* action = popupMenu_->addAction(QString::fromLatin1(entry.text));
        action->setObjectName(QString::number(entry.id));
    }
}

// The window's message map: every control id and menu id to its handler.
void MainWindow::ConnectHandlers() {
    const struct {
        int id;
        void (MainWindow::*handler)();
    } commands[] = {
        {kRip, &MainWindow::OnRip},         {kConvert, &MainWindow::OnConvert},
        {kOptions, &MainWindow::OnOptions}, {kHelp, &MainWindow::OnHelp},
        {kWebPage, &MainWindow::OnWebPage}, {kMinimise, &MainWindow::OnMinimise},
        {kClose, &MainWindow::OnClose},
    };
    for (const auto& c : commands)
        connect(Button(c.id), &QAbstractButton::clicked, this, c.handler);

    const struct {
        int id;
        void (player::PlayerTransport::*handler)();
    } transport[] = {
        {kPlay, &player::PlayerTransport::OnPlay},
        {kStop, &player::PlayerTransport::OnStop},
        {kPause, &player::PlayerTransport::OnPause},
        {kFirst, &player::PlayerTransport::OnFirst},
        {kBack, &player::PlayerTransport::OnBack},
        {kForward, &player::PlayerTransport::OnForward},
        {kNext, &player::PlayerTransport::OnNext},
    };
    for (const auto& t : transport) {
        const auto handler = t.handler;
        connect(Button(t.id), &QAbstractButton::clicked, this,
                [this, handler] { (transport_.*handler)(); });
    }

    const struct {
        int id;
        void (MainWindow::*handler)();
    } menu[] = {
        {kMenuCdToMp3, &MainWindow::OnCdToMp3},
        {kMenuCdToWav, &MainWindow::OnCdToWav},
        {kMenuCdToFlac, &MainWindow::OnCdToFlac},
        {kMenuSelectAll, &MainWindow::OnSelectAll},
        {kMenuSelectNone, &MainWindow::OnSelectNone},
        {kMenuInvertSelect, &MainWindow::OnInvertSelect},
        {kMenuDiscNames, &MainWindow::OnDiscNames},
    };
    for (const auto& m : menu)
        connect(popupMenu_->findChild<QAction*>(QString::number(m.id)), &QAction::triggered, this,
                m.handler);
    connect(popupMenu_->findChild<QAction*>(QString::number(kMenuPlayMusic)), &QAction::triggered,
            this, [this] { transport_.OnPlayMenu(); });

    list_->installEventFilter(this);  // Space on a row
    connect(list_, &QWidget::customContextMenuRequested, this, &MainWindow::OnListRightClick);
    connect(list_, &QAbstractItemView::doubleClicked, this, [this] { transport_.OnDoubleClick(); });
    connect(slider_, &SkinSlider::captureReleased, this, [this] { transport_.OnSliderReleased(); });
    connect(&positionTimer_, &QTimer::timeout, this, [this] { transport_.OnTimer(); });
}

BitmapButton* MainWindow::Button(int id) const {
    return findChild<BitmapButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

// ---------------------------------------------------------------- rip source

rip::RipEngine& MainWindow::Engine() {
    return *ripEngine_;
}

int MainWindow::RowCount() const {
    return list_->topLevelItemCount();
}

bool MainWindow::IsRowChecked(int row) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item && item->checkState(0) == Qt::Checked;
}

cd::Track MainWindow::TrackAt(int row) const {
    return cd::TrackOfRow(table_.at(static_cast<std::size_t>(row)),
                          rows_.at(static_cast<std::size_t>(row)));
}

// ---------------------------------------------------------------- player view

std::string MainWindow::RowTrackText(int row) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item ? item->text(1).toStdString() : std::string();
}

bool MainWindow::IsDataRow(int row) const {
    return row >= 0 && row < RowCount() && table_[static_cast<std::size_t>(row)].isData;
}

int MainWindow::RowTrackNumber(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size()
               ? rows_[static_cast<std::size_t>(row)].trackNumber
               : 0;
}

int MainWindow::FirstSelectedRow() const {
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        if (list_->topLevelItem(r)->isSelected()) return r;
    return -1;
}

// The selection mark is the list's current row: it moves without changing which
// rows are selected.
void MainWindow::SetSelectionMark(int row) {
    const QModelIndex index = list_->model()->index(row, 0);
    if (index.isValid())
        list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void MainWindow::SetSliderRange(int minimum, int maximum) {
    slider_->setRange(minimum, maximum);
}

int MainWindow::SliderPosition() const {
    return slider_->value();
}

// Timer 1 leaves a thumb the user holds alone: its release seeks to where it was let go.
void MainWindow::SetSliderPosition(int seconds) {
    if (slider_->isSliderDown()) return;
    slider_->setValue(seconds);
}

void MainWindow::StartPositionTimer() {
    positionTimer_.start();
}

void MainWindow::KillPositionTimer() {
    positionTimer_.stop();
}

// Lets the list finish the click behind a double-click before the row is read. User
// input waits for the normal loop, so no other command runs in between.
void MainWindow::DispatchOneMessage() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// ---------------------------------------------------------------- commands

void MainWindow::OnRip() {
    OpenRipDialog(encode::Format::Mp3, false, true);
}

void MainWindow::OnCdToMp3() {
    OpenRipDialog(encode::Format::Mp3, true, false);
}

void MainWindow::OnCdToWav() {
    OpenRipDialog(encode::Format::Wav, true, false);
}

void MainWindow::OnCdToFlac() {
    OpenRipDialog(encode::Format::Flac, true, false);
}

void MainWindow::OpenRipDialog(encode::Format format, bool autoStart, bool plainForm) {
    if (driveHandle_ == 0) {
        // The reason an image named at start-up could not be opened follows the text.
        QString text = QString::fromLatin1(kNoDriveText);
        if (!driveFailure_.empty()) text += "\n\n" + QString::fromStdString(driveFailure_);
        ShowMessageBox(this, text, QString::fromLatin1(kNoDriveCaption), QMessageBox::Information);
        return;
    }
    RunRipDialog(format, autoStart, plainForm);
}

void MainWindow::RunRipDialog(encode::Format format, bool autoStart, bool plainForm) {
    // Made without a parent, run modally and destroyed here; its result is not used.
    std::unique_ptr<RipDialog> dialog = plainForm
                                            ? std::make_unique<RipDialog>(*this)
                                            : std::make_unique<RipDialog>(*this, format, autoStart);
    CentreOver(*dialog, *this);
    dialog->exec();
}

void MainWindow::OnConvert() {
    RunConvertDialog();
}

// The convert dialog: made with no parent, run modally, destroyed here.
void MainWindow::RunConvertDialog() {
    static const convert::ConverterLibrary unbound;
    ConvertDialog dialog(converter_ ? *converter_ : unbound);
    CentreOver(dialog, *this);
    dialog.exec();
}

void MainWindow::OnOptions() {
    RunOptionsDialog();
}

// The Options dialog: made with no parent, run modally; its result is not used.
void MainWindow::RunOptionsDialog() {
    OptionsDialog dialog;
    CentreOver(dialog, *this);
    dialog.exec();
}

// The help page opens with the desktop's default handler; its "About" section
// stands for the project's web page until the project has a site of its own.
void MainWindow::OnHelp() {
    QDesktopServices::openUrl(HelpPageUrl());
}

void MainWindow::OnWebPage() {
    QUrl url = HelpPageUrl();
    url.setFragment(QStringLiteral("about"));
    QDesktopServices::openUrl(url);
}

void MainWindow::OnMinimise() {
    showMinimized();
}

// Closing goes through the event queue, as a posted close does; the dialog's close
// then ends its modal loop.
void MainWindow::OnClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::OnSelectAll() {
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        list_->topLevelItem(r)->setCheckState(0, Qt::Checked);
}

void MainWindow::OnSelectNone() {
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        list_->topLevelItem(r)->setCheckState(0, Qt::Unchecked);
}

void MainWindow::OnInvertSelect() {
    for (int r = 0; r < list_->topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = list_->topLevelItem(r);
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

// The menu opens where the list was clicked.
void MainWindow::OnListRightClick(const QPoint& viewportPoint) {
    popupMenu_->popup(list_->viewport()->mapToGlobal(viewportPoint));
}

// ---------------------------------------------------------------- disc names

names::NamesQuery MainWindow::NamesQueryForDisc() const {
    names::NamesQuery query;
    query.handle = driveHandle_;
    query.network = names::ReadMusicBrainzSetting();
    return query;
}

// On the window's thread: several releases are offered to the user, the best one
// preselected; closing the choice takes the best one for now without remembering it.
// Names edited while the lookup ran stay.
void MainWindow::OnNamesFound(names::NamesAnswer answer) {
    if (discNames_.source == names::NamesSource::Edited) return;  // edited meanwhile
    if (answer.needsChoice) {
        const int index = ChooseReleaseInWindow(this, answer.releases, answer.best);
        if (index >= 0) names::ChooseRelease(answer, index);
    }
    namesNotes_ = answer.log;
    ShowNames(answer.names);
}

std::vector<std::string> MainWindow::NamesLogLines() const {
    std::vector<std::string> lines;
    for (const std::string& note : namesNotes_) lines.push_back("names lookup: " + note);
    lines.push_back(names::NamesSourceLine(discNames_));
    return lines;
}

// A row shows its track's title where one is known, else its own name ("Track N"); the
// title goes with the row's track to the rip.
void MainWindow::ShowNames(const names::DiscNames& found) {
    discNames_ = found;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        cd::TrackRow& row = rows_[r];
        const names::TrackNames* t = table_[r].isData ? nullptr : found.Track(row.trackNumber);
        row.title = table_[r].isData ? row.name : names::RowTitle(found, row.trackNumber, row.name);
        if (QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(r)))
            item->setText(1, QString::fromStdString(t && !t->title.empty() ? t->title : row.name));
    }
}

void MainWindow::OnDiscNames() {
    if (driveHandle_ == 0) return;
    std::vector<int> tracks;
    for (std::size_t r = 0; r < rows_.size(); ++r)
        if (!table_[r].isData) tracks.push_back(rows_[r].trackNumber);
    DiscNamesDialog dialog(discNames_, tracks, NamesQueryForDisc(), this);
    if (dialog.exec() == QDialog::Accepted) ShowNames(dialog.Names());
}

// ---------------------------------------------------------------- events

bool MainWindow::event(QEvent* e) {
    if (e->type() == static_cast<QEvent::Type>(core::WM_PLAY_END)) {
        transport_.OnPlayEnd();
        return true;
    }
    return QDialog::event(e);
}

// Space toggles the check box of the list's current row, whichever of its columns
// the user clicked last (the view alone toggles it only from the first column).
bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == list_ && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(e);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            if (QTreeWidgetItem* item = list_->currentItem())
                item->setCheckState(
                    0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

QImage MainWindow::SkinUnder(const QRect& client) const {
    QImage whole(size(), QImage::Format_RGB32);
    whole.fill(palette().window().color());
    {
        QPainter p(&whole);
        if (!background_.isNull()) p.drawImage(whole.rect(), background_);
    }
    return whole.copy(client);
}

// The background picture stretched over the whole client area, whatever its size;
// the application icon, centred, while the window is minimised.
void MainWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (isMinimized()) {
        const QSize icon(32, 32);
        p.drawPixmap((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2,
                     windowIcon().pixmap(icon));
        return;
    }
    if (background_.isNull()) {
        p.fillRect(rect(), palette().window());
        return;
    }
    p.drawImage(rect(), background_);
}

// A left press on the background (a press on a control never reaches the window)
// moves the window: the window system moves it while the button is held; where it
// will not, the window follows the pointer itself until the button is released.
void MainWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        const bool systemMove = windowHandle() && windowHandle()->startSystemMove();
        dragging_ = !systemMove;
        dragOffset_ = e->globalPosition().toPoint() - pos();
        e->accept();
        return;
    }
    QDialog::mousePressEvent(e);
}

void MainWindow::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton)) {
        move(e->globalPosition().toPoint() - dragOffset_);
        e->accept();
        return;
    }
    QDialog::mouseMoveEvent(e);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) dragging_ = false;
    QDialog::mouseReleaseEvent(e);
}

}  // namespace ui
