#include "ui/RipDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>
#include <QThread>
#include <QTimerEvent>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "cdaccess/Drive.h"

#include "controls/HoverButton.h"
#include "controls/PercentBar.h"
#include "controls/SkinResources.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "names/RipFiles.h"
#include "platform/WindowMessages.h"
#include "rip/RipLog.h"
#include "ui/FolderPicker.h"
#include "ui/RipSource.h"
#include "ui/TemplateLayout.h"

namespace ui {

using namespace rip;

namespace {

// The dialog's size and its controls' places, in dialog units (left, top, width,
// height).
constexpr QSize kDialogUnits(244, 112);
constexpr QRect kGroupRect(7, 4, 230, 76);
constexpr QRect kFolderCaptionRect(14, 15, 60, 8);
constexpr QRect kFolderRect(14, 25, 194, 12);
constexpr QRect kChooseFolderRect(212, 24, 18, 14);
constexpr QRect kStatusRect(14, 44, 216, 9);
constexpr QRect kProgressRect(14, 57, 216, 13);
constexpr QRect kMp3Rect(16, 90, 34, 10);
constexpr QRect kWavRect(56, 90, 34, 10);
constexpr QRect kFlacRect(96, 90, 30, 10);
constexpr QRect kRipRect(128, 88, 50, 15);
constexpr QRect kExitRect(186, 88, 50, 15);

constexpr int kAutoStartDelayMs = 200;
constexpr int kExitDelayMs = 10;

const char* const kTextRip = "Rip";
const char* const kTextStop = "Stop";
const char* const kTextUserStop = "User stop !";
const char* const kTextFinishedOk = "Finished ok !";
const char* const kTextNoAudioChecked = "No audio track checked !";
const char* const kTextFolderTooLong = "Output folder path too long !";
const char* const kTextOffsetOutOfRange = "Read offset setting out of range !";
const char* const kTextCheckingAccurateRip = "Checking AccurateRip...";
const char* const kTextCheckingCtdb = "Checking CTDB...";
const char* const kTextCheckingBoth = "Checking AccurateRip and CTDB...";

// Copies text into a fixed field, at most size - 1 bytes and never splitting a
// UTF-8 sequence, NUL-terminated.
void CopyToField(const QByteArray& text, char* field, std::size_t size) {
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(text.size()), size - 1);
    if (n < static_cast<std::size_t>(text.size()))
        while (n > 0 &&
               (static_cast<unsigned char>(text[static_cast<qsizetype>(n)]) & 0xC0) == 0x80)
            --n;
    std::memcpy(field, text.constData(), n);
    field[n] = '\0';
}

// A few words for why a track failed, short enough for the status line; the whole
// reason is in the status line's tooltip and in the log.
const char* ShortCause(const TrackRecord& t) {
    switch (t.endReason) {
        case kEndReadError:
            return "read error";
        case kEndCannotCreate:
            return "cannot create the file";
        case kEndOutputError:
            return t.outputProblem == std::strerror(ENOSPC) ||
                           t.outputProblem == std::strerror(EFBIG)
                       ? "disk full"
                       : "write error";
        case kEndNoEncoder:
        case kEndEncoderStart:
            return "no encoder";
        default:
            return "failed";
    }
}

// The batch's record of the failed track `title` (the last one so named).
const TrackRecord* FailedRecord(const std::vector<TrackRecord>& records, const std::string& title) {
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (it->title == title && it->endReason != kEndRunning) return &*it;
    return nullptr;
}

}  // namespace

RipDialog::RipDialog(RipSource& owner, QWidget* parent)
    : RipDialog(owner, kFormatMp3, false, parent) {}

RipDialog::RipDialog(RipSource& owner, encode::Format format, bool autoStart, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      engine_(owner.Engine()),
      owner_(owner),
      autoStart_(autoStart),
      format_(format) {
    BuildControls();
}

RipDialog::~RipDialog() {
    // Normally the dialog only closes once its track has ended and its batch is
    // logged; a dialog destroyed without closing still must not leave the track's
    // threads or ring, or a lookup using the engine's records, behind.
    if (finisher_) {
        cancelLookup_ = true;
        finisher_->wait();
        delete finisher_;
    }
    if (batch_.TrackPending()) {
        batch_.Stop();
        batch_.TrackDone(false);
        closePending_ = false;
        FinishBatch(QString::fromLatin1(kTextUserStop), true);
    }
}

void RipDialog::BuildControls() {
    const QSize base =
        ApplyTemplate(this, QStringLiteral("Ripper"), kDialogUnits.width(), kDialogUnits.height());
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    auto place = [&](QWidget* w, const QRect& du, int id) { PlaceControl(w, id, du, base); };

    place(new QGroupBox(this), kGroupRect, 0);
    place(new QLabel(QStringLiteral("Output folder"), this), kFolderCaptionRect, 0);

    folderLabel_ = new QLabel(QStringLiteral("path"), this);
    folderLabel_->setFrameStyle(QFrame::Box | QFrame::Plain);
    folderLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    place(folderLabel_, kFolderRect, kIdFolder);

    folderButton_ = new HoverButton(QStringLiteral("..."), this);
    place(folderButton_, kChooseFolderRect, kIdChooseFolder);

    status_ = new QLabel(QStringLiteral("Track :"), this);
    place(status_, kStatusRect, kIdStatus);

    progress_ = new PercentBar(this);
    place(progress_, kProgressRect, kIdProgress);
    dialogHandle_ = platform::WindowHandleOf(this);
    progressHandle_ = platform::WindowHandleOf(progress_);

    mp3Radio_ = new QRadioButton(QStringLiteral("MP3"), this);
    place(mp3Radio_, kMp3Rect, kIdMp3);
    wavRadio_ = new QRadioButton(QStringLiteral("WAV"), this);
    place(wavRadio_, kWavRect, kIdWav);
    flacRadio_ = new QRadioButton(QStringLiteral("FLAC"), this);
    place(flacRadio_, kFlacRect, kIdFlac);
    formatGroup_ = new QButtonGroup(this);
    formatGroup_->addButton(mp3Radio_, static_cast<int>(kFormatMp3));
    formatGroup_->addButton(wavRadio_, static_cast<int>(kFormatWav));
    formatGroup_->addButton(flacRadio_, static_cast<int>(kFormatFlac));

    ripButton_ = new HoverButton(QString::fromLatin1(kTextRip), this);
    place(ripButton_, kRipRect, kIdRipStop);
    exitButton_ = new HoverButton(QStringLiteral("Exit"), this);
    place(exitButton_, kExitRect, kIdExit);

    // The message map.
    connect(ripButton_, &QPushButton::clicked, this, &RipDialog::OnRipOrStop);
    connect(exitButton_, &QPushButton::clicked, this, &RipDialog::OnExit);
    connect(folderButton_, &QPushButton::clicked, this, &RipDialog::OnChooseFolder);
}

bool RipDialog::UpdateData(bool save) {
    if (save) {
        const int checked = formatGroup_->checkedId();  // -1 when none is checked
        format_ = checked < 0 ? std::nullopt
                              : std::optional(encode::InfoOf(encode::Format(checked)).format);
        folderText_ = folderLabel_->text();
        return true;
    }
    if (QAbstractButton* button =
            format_ ? formatGroup_->button(static_cast<int>(*format_)) : nullptr) {
        button->setChecked(true);
    } else {
        formatGroup_->setExclusive(false);
        for (QAbstractButton* b : formatGroup_->buttons()) b->setChecked(false);
        formatGroup_->setExclusive(true);
    }
    folderLabel_->setText(folderText_);
    return true;
}

void RipDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
}

void RipDialog::OnInitDialog() {
    setWindowIcon(controls::AppIcon());
    progress_->Initialize();
    folderText_ = QString::fromLocal8Bit(core::ReadOutputSetting());
    options_.channelIndex = core::ReadChannelSetting();
    options_.rateIndex = core::ReadRateSetting();
    options_.flacLevel = core::ReadFlacSetting();
    if (autoStart_) autoStartTimer_ = startTimer(kAutoStartDelayMs);
    UpdateData(false);
}

bool RipDialog::event(QEvent* e) {
    if (platform::IsWindowMessage(e) &&
        static_cast<platform::WindowMessageEvent*>(e)->message() == core::WM_RIP_TRACK_DONE) {
        OnTrackFinished();
        return true;
    }
    return QDialog::event(e);
}

void RipDialog::timerEvent(QTimerEvent* e) {
    if (e->timerId() == autoStartTimer_ && autoStartTimer_ != 0) {
        OnAutoStartTimer();
        return;
    }
    QDialog::timerEvent(e);
}

void RipDialog::OnAutoStartTimer() {
    // One tick is all the timer is for, whether or not it still has to start.
    killTimer(autoStartTimer_);
    autoStartTimer_ = 0;
    if (autoStart_) OnRipOrStop();
}

// The observer's calls on StartTrack's thread come on the dialog's own; the others
// reach it through window messages.
void RipDialog::Observer::TrackFile(const std::string& fileName) {
    dialog_.trackFile_ = QString::fromLocal8Bit(fileName.c_str());
    dialog_.ShowTrackStatus();
}

void RipDialog::Observer::TracksEncoding(int count) {
    RipDialog* dialog = &dialog_;
    platform::PostCall(dialog, [dialog, count] { dialog->OnTracksEncoding(count); });
}

void RipDialog::ShowTrackStatus() {
    if (waitingForEncoders_) {
        status_->setText(QStringLiteral("Encoding... %1 track%2 left")
                             .arg(encoding_)
                             .arg(encoding_ == 1 ? "" : "s"));
    } else if (encoding_ > 0) {
        status_->setText(QStringLiteral("%1  (%2 encoding)").arg(trackFile_).arg(encoding_));
    } else {
        status_->setText(trackFile_);
    }
}

void RipDialog::OnTracksEncoding(int count) {
    // Reports from several workers may arrive out of order: the engine's count is the
    // one that holds now.
    (void)count;
    encoding_ = batch_.TracksEncoding();
    if (waitingForEncoders_ && encoding_ == 0) {
        waitingForEncoders_ = false;
        finishing_ = false;
        running_ = false;
        ripButton_->setText(QString::fromLatin1(kTextRip));
        FinishBatch(waitingText_, closePending_);
        if (closePending_ && !finishing_) {
            closePending_ = false;
            QDialog::done(closeResult_);
        }
        return;
    }
    if (running_ || waitingForEncoders_) ShowTrackStatus();
}

void RipDialog::Observer::TrackBegun(std::uint64_t totalBytes) {
    platform::SendMessage(dialog_.progressHandle_, core::PBX_SETRANGE,
                          static_cast<platform::WParam>(totalBytes), 0);
    platform::SendMessage(dialog_.progressHandle_, core::PBX_SETPOS, 0, 0);
}

void RipDialog::Observer::TrackProgress(std::uint64_t doneBytes, std::uint64_t /*totalBytes*/) {
    platform::PostMessage(dialog_.progressHandle_, core::PBX_SETPOS,
                          static_cast<platform::WParam>(doneBytes), 0);
}

void RipDialog::Observer::TrackEnded(std::int32_t /*reason*/) {
    platform::PostMessage(dialog_.dialogHandle_, core::WM_RIP_TRACK_DONE, 0, 0);
}

int RipDialog::CheckedRows::Count() const {
    return owner_.RowCount();
}
bool RipDialog::CheckedRows::Wanted(int row) const {
    return owner_.IsRowChecked(row);
}
cd::Track RipDialog::CheckedRows::TrackAt(int row) const {
    return owner_.TrackAt(row);
}

void RipDialog::OnRipOrStop() {
    UpdateData(true);
    const QByteArray folder = folderText_.toLocal8Bit();
    CopyToField(folder, options_.folder, sizeof options_.folder);
    // With no button checked the rip is to WAV, as it always was.
    options_.format = format_.value_or(kFormatWav);
    if (running_) {
        running_ = false;
        batch_.Stop();
        ripButton_->setText(QString::fromLatin1(kTextRip));
        status_->setText(QString::fromLatin1(kTextUserStop));
        if (waitingForEncoders_) {
            // The stopped encoders end at their next piece; the batch then ends.
            waitingText_ = QString::fromLatin1(kTextUserStop);
            UpdateRipButton();
            return;
        }
        // The batch ends with the stopped track's notice; with none running, now.
        if (!batch_.TrackPending()) FinishBatch(QString::fromLatin1(kTextUserStop));
        UpdateRipButton();
        return;
    }
    // No second track while a stopped one's threads are still ending, or while the
    // last batch is being logged (the button is disabled then; this also covers a
    // click already queued).
    if (batch_.TrackPending() || closePending_ || finishing_) return;
    // A folder cut to fit the options would be another folder: no batch starts.
    if (static_cast<std::size_t>(folder.size()) >= sizeof options_.folder) {
        status_->setText(QString::fromLatin1(kTextFolderTooLong));
        return;
    }
    // A missing output folder is made; one that cannot be made fails each track.
    std::error_code madeError;
    std::filesystem::create_directories(folder.toStdString(), madeError);
    const int offset = core::ReadOffsetSetting();
    if (std::abs(offset) > RipEngine::kMaxReadOffset) {
        status_->setText(QString::fromLatin1(kTextOffsetOutOfRange));
        return;
    }
    running_ = true;
    autoStart_ = false;
    batch_.Begin();
    status_->setToolTip(QString());
    ripButton_->setText(QString::fromLatin1(kTextStop));
    engine_.SetOutput(options_);
    engine_.SetTrackFiles(names::RipFilesFor(owner_.NamesForRip(), names::ReadRipFileSettings()));
    readOffset_ = offset;
    verify_ = core::ReadVerifySetting();
    engine_.SetReadOffset(readOffset_);
    engine_.SetVerify(verify_);
    engine_.SetReplayGain(core::ReadReplayGainSetting());
    engine_.SetJobs(core::ReadJobsSetting());
    encoding_ = 0;
    batch_.StartNext();
    // With no row checked nothing started: the batch still reads "Stop" until the
    // user presses it.
    if (running_ && !batch_.TrackPending() && !batch_.Failed().empty()) {
        running_ = false;
        ripButton_->setText(QString::fromLatin1(kTextRip));
        FinishBatch(QString());
    }
    UpdateRipButton();
}

void RipDialog::OnTrackFinished() {
    if (!batch_.TrackPending()) return;  // no track of this dialog is running
    // A data row holds no audio: skipping it is no failure. A stop is the user's.
    batch_.TrackDone(running_);
    if (closePending_) {
        // Logged at once, without a lookup; the log's end closes the dialog.
        FinishBatch(QString::fromLatin1(kTextUserStop), true);
        if (closePending_) {
            closePending_ = false;
            QDialog::done(closeResult_);
        }
        return;
    }
    if (!running_) {
        FinishBatch(QString::fromLatin1(kTextUserStop));  // the stopped track has ended
    } else if (!batch_.StartNext()) {
        running_ = false;
        autoStart_ = false;
        ripButton_->setText(QString::fromLatin1(kTextRip));
        FinishBatch(QString());
    }
    UpdateRipButton();
}

QString RipDialog::EndOfBatchText() const {
    const auto& failed = batch_.Failed();
    const auto& suspicious = batch_.Suspicious();
    if (failed.empty() && suspicious.empty())
        return QString::fromLatin1(batch_.Ripped() > 0 ? kTextFinishedOk : kTextNoAudioChecked);
    auto count = [](const std::vector<std::string>& titles, const char* what, bool withTracks) {
        const int n = static_cast<int>(titles.size());
        const QString first = QString::fromLocal8Bit(titles.front().c_str());
        return QStringLiteral("%1%2 %3: %4")
            .arg(n)
            .arg(!withTracks ? QString()
                 : n == 1    ? QStringLiteral(" track")
                             : QStringLiteral(" tracks"))
            .arg(QString::fromLatin1(what))
            .arg(first);
    };
    // The first failed track's cause, in a few words.
    QString cause;
    if (!failed.empty()) {
        if (const TrackRecord* t = FailedRecord(engine_.BatchRecords(), failed.front()))
            cause = QStringLiteral(" (%1)").arg(QString::fromLatin1(ShortCause(*t)));
    }
    if (suspicious.empty()) return count(failed, "failed", true) + cause;
    if (failed.empty()) return count(suspicious, "suspicious", true);
    // Both: the short form, to fit the status line.
    return count(failed, "failed", false) + cause + QStringLiteral("; ") +
           count(suspicious, "suspicious", false);
}

void RipDialog::ShowEndText(const QString& text, const QString& detail) {
    // The status line may be too narrow for the text: the tooltip holds all of it,
    // with every failed track's whole reason.
    QString whole = text;
    for (const std::string& title : batch_.Failed()) {
        const TrackRecord* t = FailedRecord(engine_.BatchRecords(), title);
        if (!t) continue;
        std::string why = EndReasonText(t->endReason);
        if (!t->outputProblem.empty()) why += " (" + t->outputProblem + ")";
        whole +=
            QStringLiteral("\n%1: %2")
                .arg(QString::fromLocal8Bit(title.c_str()), QString::fromLocal8Bit(why.c_str()));
    }
    if (!detail.isEmpty()) whole += QStringLiteral("\n") + detail;
    status_->setText(text);
    status_->setToolTip(whole);
}

void RipDialog::FinishBatch(const QString& givenText, bool closing) {
    // Tracks still being encoded end first: the batch's end, its text and its log wait
    // for them, and Stop stays available to end them. A closing dialog has stopped
    // them already and waits here the moment they take.
    if (batch_.TracksEncoding() > 0 && !closing) {
        waitingForEncoders_ = true;
        waitingText_ = givenText;
        finishing_ = true;
        running_ = true;
        ripButton_->setText(QString::fromLatin1(kTextStop));
        encoding_ = batch_.TracksEncoding();
        ShowTrackStatus();
        UpdateRipButton();
        return;
    }
    batch_.FinishEncoding();
    encoding_ = 0;
    const QString text = givenText.isNull() ? EndOfBatchText() : givenText;
    // A data row is skipped, not ripped (the end text does not count it either), and
    // a batch in which no track was tried has nothing to log.
    if (!batch_.HasLog()) {
        ShowEndText(text);
        return;
    }
    BatchInfo info;
    if (auto drive = cdaccess::DriveForHandle(engine_.Session().cdHandle))
        info.drive = drive->Name();
    info.folder = std::string(options_.folder, strnlen(options_.folder, sizeof options_.folder));
    info.format = engine_.OutputFormat();
    info.readOffset = readOffset_;
    info.verify = verify_;
    // A closing dialog does not keep the user waiting for the network.
    info.accurateRip = !closing && core::ReadAccurateRipSetting();
    info.ctdb = !closing && core::ReadCtdbSetting();
    info.when = std::time(nullptr);
    info.names = owner_.NamesLogLines();
    info.cueNames = names::CueNamesFor(owner_.NamesForRip());
    endText_ = text;
    if (!info.accurateRip && !info.ctdb) {
        std::string error;
        const std::string path = batch_.WriteLog(info, error);
        OnBatchFinished(path, error);
        return;
    }
    // The lookup may take seconds: it runs on its own thread, which alone uses the
    // engine's batch records until it reports back here. Nothing starts meanwhile.
    finishing_ = true;
    cancelLookup_ = false;
    status_->setText(QString::fromLatin1(!info.ctdb         ? kTextCheckingAccurateRip
                                         : info.accurateRip ? kTextCheckingBoth
                                                            : kTextCheckingCtdb));
    finisher_ = QThread::create([this, info]() mutable {
        std::string error;
        const std::string path =
            batch_.WriteLog(info, error, [this] { return cancelLookup_.load(); });
        platform::PostCall(this, [this, path, error] { OnBatchFinished(path, error); });
    });
    finisher_->start();
    UpdateRipButton();
}

void RipDialog::OnBatchFinished(const std::string& logPath, const std::string& error) {
    if (finisher_) {
        finisher_->wait();
        delete finisher_;
        finisher_ = nullptr;
    }
    finishing_ = false;
    // The status line says that the log is missing; its tooltip says why.
    QString text = endText_, why;
    if (logPath.empty()) {
        text += QStringLiteral(" (no rip log)");
        why = QStringLiteral("No rip log: %1").arg(QString::fromStdString(error));
    }
    ShowEndText(text, why);
    UpdateRipButton();
    if (closePending_) {
        closePending_ = false;
        QDialog::done(closeResult_);
    }
}

void RipDialog::UpdateRipButton() {
    // Rip stays unavailable from a stop until the stopped track's notice. Disabling
    // the focused button hands the focus on (to Exit); it comes back with the button,
    // so that the next Enter or Space does not close the dialog.
    const bool enable = !closePending_ && (!finishing_ || waitingForEncoders_) &&
                        (running_ || !batch_.TrackPending());
    if (!enable && ripButton_->hasFocus()) ripFocusLent_ = true;
    ripButton_->setEnabled(enable);
    if (enable && ripFocusLent_) {
        ripFocusLent_ = false;
        ripButton_->setFocus();
    }
    exitButton_->setEnabled(!closePending_);
    // The folder is the running batch's until its log is written.
    folderButton_->setEnabled(!closePending_ && !running_ && !batch_.TrackPending() && !finishing_);
}

void RipDialog::OnExit() {
    engine_.Stop();
    QThread::msleep(kExitDelayMs);
    done(QDialog::Rejected);
}

void RipDialog::OnChooseFolder() {
    FolderPicker picker;
    picker.title = "Select output folder";
    if (!picker.Browse(this)) return;
    // The setting "output" stays as it is: the folder serves this dialog only.
    folderText_ = QString::fromLocal8Bit(picker.chosenPath);
    UpdateData(false);
}

void RipDialog::done(int result) {
    if (autoStartTimer_ != 0) {
        killTimer(autoStartTimer_);
        autoStartTimer_ = 0;
    }
    autoStart_ = false;
    if (finishing_) {
        // The batch's log is still being written: the lookup is called off, and the
        // dialog closes once the log is written. Encoders it still waits for stop.
        if (waitingForEncoders_) batch_.Stop();
        cancelLookup_ = true;
        closePending_ = true;
        closeResult_ = result;
        UpdateRipButton();
        return;
    }
    if (batch_.TrackPending()) {
        // Closing during a track: stop it, and close once its notice has come and
        // its threads and ring have been released.
        closePending_ = true;
        closeResult_ = result;
        running_ = false;
        batch_.Stop();
        UpdateRipButton();
        return;
    }
    running_ = false;
    QDialog::done(result);
}

}  // namespace ui
