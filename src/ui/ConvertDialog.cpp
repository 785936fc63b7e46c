#include "ui/ConvertDialog.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "controls/HoverButton.h"
#include "controls/PercentBar.h"
#include "convert/TargetNames.h"
#include "convert/Workers.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "platform/WindowMessages.h"
#include "ui/FileDialog.h"
#include "ui/FolderPicker.h"
#include "ui/TemplateLayout.h"

namespace ui {

using namespace convert;
using namespace core;

// The source list: a two-column report list that takes WAV files dropped on it.
class SourceList : public QTreeWidget {
  public:
    explicit SourceList(QWidget* parent) : QTreeWidget(parent) {
        setRootIsDecorated(false);
        setItemsExpandable(false);
        setUniformRowHeights(true);
        setSortingEnabled(false);
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setHeaderLabels({QStringLiteral("No."), QStringLiteral("Source File")});
        header()->setSectionsClickable(false);
        header()->setSectionsMovable(false);
        header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        header()->setStretchLastSection(false);
        setColumnWidth(0, 50);
        setColumnWidth(1, 280);
        QPalette colours = palette();
        colours.setColor(QPalette::Base, DialogBackground());
        setPalette(colours);
        setAcceptDrops(true);
        viewport()->setAcceptDrops(true);
        setDragDropMode(QAbstractItemView::DropOnly);
    }

    // Called with the WAV files of a drop, in the order they were dropped.
    std::function<void(const std::vector<std::string>&)> onDropFiles;

  protected:
    void dragEnterEvent(QDragEnterEvent* e) override { AcceptIfWav(e); }
    void dragMoveEvent(QDragMoveEvent* e) override { AcceptIfWav(e); }
    void dropEvent(QDropEvent* e) override {
        const std::vector<std::string> files = WavFiles(e->mimeData());
        if (files.empty()) {
            e->ignore();
            return;
        }
        e->acceptProposedAction();
        if (onDropFiles) onDropFiles(files);
    }

  private:
    // Local files with the extension "wav" in any case; folders and other files are
    // left out, as the file dialog's filter leaves them out.
    static std::vector<std::string> WavFiles(const QMimeData* data) {
        std::vector<std::string> files;
        if (!data || !data->hasUrls()) return files;
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile()) continue;
            const QFileInfo info(url.toLocalFile());
            if (info.isFile() &&
                info.suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0) {
                files.push_back(QDir::toNativeSeparators(info.filePath()).toStdString());
            }
        }
        return files;
    }
    void AcceptIfWav(QDragMoveEvent* e) {
        if (!WavFiles(e->mimeData()).empty()) {
            e->acceptProposedAction();
        } else {
            e->ignore();
        }
    }
};

ConvertDialog::ConvertDialog(const ConverterLibrary& library, QWidget* parent,
                             ConverterEngine::TickSource clock)
    : QDialog(parent), library_(library), clock_(clock) {
    BuildTemplate();
    ConnectMessageMap();
    InitDialog();
}

ConvertDialog::~ConvertDialog() {
    StopAndWait();
}

// The "Convert" template: 269 x 184 dialog units.
void ConvertDialog::BuildTemplate() {
    const QSize base = ApplyTemplate(this, QStringLiteral("Convert"), 269, 184);

    auto* frame = new QGroupBox(QStringLiteral("Wav to MP3"), this);
    PlaceControl(frame, 0, {7, 2, 255, 164}, base);

    startButton_ = new HoverButton(QStringLiteral("Start"), this);
    PlaceControl(startButton_, kIdStart, {140, 168, 50, 14}, base);
    startButton_->setDefault(true);
    cancelButton_ = new HoverButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton_, kIdCancel, {201, 168, 50, 14}, base);
    cancelButton_->setAutoDefault(false);

    PlaceControl(new QLabel(QStringLiteral("Output Folder"), this), 0, {15, 18, 186, 8}, base);
    folderEdit_ = new QLineEdit(this);
    folderEdit_->setEnabled(false);
    PlaceControl(folderEdit_, kIdFolder, {13, 30, 221, 12}, base);
    browseFolderButton_ = new HoverButton(QStringLiteral("..."), this);
    PlaceControl(browseFolderButton_, kIdBrowseFolder, {237, 30, 17, 12}, base);
    browseFolderButton_->setAutoDefault(false);

    PlaceControl(new QLabel(QStringLiteral("Source File"), this), 0, {179, 46, 47, 8}, base);
    addSourcesButton_ = new HoverButton(QStringLiteral("..."), this);
    PlaceControl(addSourcesButton_, kIdAddSources, {237, 45, 17, 12}, base);
    addSourcesButton_->setAutoDefault(false);

    sourceList_ = new SourceList(this);
    PlaceControl(sourceList_, kIdSourceList, {14, 60, 239, 66}, base);

    statusLine_ = new QLabel(this);
    PlaceControl(statusLine_, kIdStatus, {15, 131, 240, 8}, base);

    bar_ = new PercentBar(this);
    PlaceControl(bar_, kIdBar, {15, 145, 239, 12}, base);
}

// The message map: which handler each control id runs.
void ConvertDialog::ConnectMessageMap() {
    connect(addSourcesButton_, &QPushButton::clicked, this, &ConvertDialog::OnAddSources);
    connect(browseFolderButton_, &QPushButton::clicked, this, &ConvertDialog::OnBrowseFolder);
    connect(startButton_, &QPushButton::clicked, this, &ConvertDialog::OnStart);
    connect(cancelButton_, &QPushButton::clicked, this, &ConvertDialog::OnCancel);
    sourceList_->onDropFiles = [this](const std::vector<std::string>& files) { AddSources(files); };
}

void ConvertDialog::InitDialog() {
    bar_->Initialize();
    barHandle_ = platform::WindowHandleOf(bar_);
    {
        std::lock_guard<std::mutex> lock(sharedMutex_);
        outputFolder_ = ReadOutputSetting();
    }
    rateIndex_ = ReadRateSetting();
    channelIndex_ = ReadChannelSetting();
    UpdateData(false);
}

bool ConvertDialog::UpdateData(bool save) {
    std::lock_guard<std::mutex> lock(sharedMutex_);
    if (save) {
        outputFolder_ = folderEdit_->text().toStdString();
    } else {
        folderEdit_->setText(QString::fromStdString(outputFolder_));
    }
    return true;
}

void ConvertDialog::AddSources(const std::vector<std::string>& paths) {
    int number = 0;
    std::size_t index = 0;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            std::size_t row;
            {
                std::lock_guard<std::mutex> lock(sharedMutex_);
                row = std::min(index, sources_.size());
                sources_.insert(sources_.begin() + static_cast<std::ptrdiff_t>(row), path);
            }
            auto* item = new QTreeWidgetItem(
                QStringList{QString::number(number), QString::fromStdString(path)});
            sourceList_->insertTopLevelItem(static_cast<int>(row), item);
            ++number;
        }
        ++index;
    }
    UpdateData(false);
}

void ConvertDialog::OnAddSources() {
    const auto chosen = FileDialog::ChooseFiles(this, "WAV File(*.WAV)|*.WAV||", "*.WAV");
    if (!chosen) return;
    AddSources(*chosen);
}

void ConvertDialog::OnBrowseFolder() {
    FolderPicker picker;
    picker.title = "Select output folder";
    if (!picker.Browse(this)) return;
    {
        std::lock_guard<std::mutex> lock(sharedMutex_);
        outputFolder_ = picker.chosenPath;
    }
    UpdateData(false);
}

// Start and stop share one button: "Start" while idle, "Stop" while a run goes on.
// After a stop it reads "Start" but stays disabled until the stopped worker has ended,
// so only one worker ever runs. An empty list starts nothing.
void ConvertDialog::OnStart() {
    if (!running_) {
        if (worker_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(sharedMutex_);
            if (sources_.empty()) return;
        }
        running_ = true;
        stopRequest_.store(false);
        bitRate_ = BitRateForIndex(rateIndex_);
        engines_.clear();
        for (int i = 0, jobs = ReadJobsSetting(); i < jobs; ++i) {
            engines_.push_back(std::make_unique<ConverterEngine>(library_, clock_));
            engines_.back()->SetChannels(core::ChannelsForIndex(channelIndex_));
        }
        {
            std::lock_guard<std::mutex> lock(sharedMutex_);
            nextRow_ = 0;
            rowsDone_ = 0;
            rowFractions_.clear();
            written_.clear();
        }
        platform::PostMessage(barHandle_, PBX_SETRANGE, 100);
        platform::PostMessage(barHandle_, PBX_SETPOS, 0);
        startButton_->setText(QStringLiteral("Stop"));
        worker_ = std::thread(&ConvertDialog::RunWorker, this);
        return;
    }
    running_ = false;
    stopRequest_.store(true);
    StopEngine();
    SetStatus(QStringLiteral("User stop !"));
    startButton_->setText(QStringLiteral("Start"));
    // Disabling the focused button hands the focus on (to Cancel); it comes back with
    // the button, so that the next Enter or Space does not close the dialog.
    if (startButton_->hasFocus()) startFocusLent_ = true;
    startButton_->setEnabled(false);
}

void ConvertDialog::OnCancel() {
    StopAndWait();
    UpdateData(true);
    done(QDialog::Accepted);
}

void ConvertDialog::reject() {
    StopAndWait();
    QDialog::reject();
}

void ConvertDialog::OnWorkerEnded() {
    if (worker_.joinable()) worker_.join();
    ShowIdle();
}

void ConvertDialog::ShowIdle() {
    running_ = false;
    startButton_->setText(QStringLiteral("Start"));
    startButton_->setEnabled(true);
    if (startFocusLent_) {
        startFocusLent_ = false;
        startButton_->setFocus();
    }
}

void ConvertDialog::SetStatus(const QString& text) {
    statusLine_->setText(text);
    emit statusShown(text);
}

// The engines live from a start until the next start, which only comes after the
// workers have ended; Abort is safe from any thread.
void ConvertDialog::StopEngine() {
    for (const auto& engine : engines_) engine->Abort();
}

void ConvertDialog::StopAndWait() {
    stopRequest_.store(true);
    StopEngine();
    // The worker never waits for this thread, so joining here cannot dead-lock; it
    // returns once the current file's next chunk has seen the abort.
    if (worker_.joinable()) worker_.join();
    ShowIdle();
}

// ---- worker thread ----

void ConvertDialog::RunWorker() {
    RunWorkers(static_cast<int>(engines_.size()), [this](int slot) { RunSlot(slot); });
    platform::PostCall(this, [this] { OnWorkerEnded(); });
}

// One worker: takes the next row until the list is done or a stop came. The row count
// is asked again before every row: rows added during the run are converted when a
// worker reaches their index.
void ConvertDialog::RunSlot(int slot) {
    ConverterEngine& engine = *engines_[static_cast<std::size_t>(slot)];
    while (!stopRequest_.load()) {
        std::size_t row;
        std::string source, target;
        {
            std::lock_guard<std::mutex> lock(sharedMutex_);
            if (nextRow_ >= sources_.size()) break;
            row = nextRow_++;
            source = sources_[row];
            // Names are chosen in row order against the names the run's targets hold,
            // so each row gets the name a run of one file at a time gives it.
            target = FreeTargetPath(ConvertTargetPath(outputFolder_, source), written_);
            written_.push_back(target);
            rowFractions_.resize(std::max(rowFractions_.size(), row + 1), 0.0);
        }
        ConvertRow(row, source, target, engine);
        {
            std::lock_guard<std::mutex> lock(sharedMutex_);
            ++rowsDone_;
            rowFractions_[row] = 0.0;
            // A row that left no file gives its name back.
            std::error_code error;
            if (!std::filesystem::exists(target, error)) std::erase(written_, target);
        }
        PostOverallProgress();
    }
}

// One row: the status line shows its target, then its progress and its end.
void ConvertDialog::ConvertRow(std::size_t row, const std::string& source,
                               const std::string& target, ConverterEngine& engine) {
    PostStatus(QString::fromStdString(target));
    if (!engine.CanConvert(source.c_str(), target.c_str())) return;
    // A stop that came before this row's engine started is seen here.
    if (stopRequest_.load()) return;

    ConvertProgress progress;
    progress.context = this;
    progress.context2 = &engine;
    progress.notify = &ConvertDialog::OnProgress;
    // The row's fraction lives in rowFractions_[row]; OnProgress finds it through the
    // engine's slot below.
    {
        std::lock_guard<std::mutex> lock(sharedMutex_);
        rowOfEngine_[&engine] = row;
    }
    engine.Convert(source.c_str(), target.c_str(), bitRate_, 0, &progress);
}

void ConvertDialog::PostOverallProgress() {
    int percent;
    {
        std::lock_guard<std::mutex> lock(sharedMutex_);
        double done = static_cast<double>(rowsDone_);
        for (double f : rowFractions_) done += f;
        percent = sources_.empty() ? 0 : static_cast<int>(done * 100.0 / sources_.size());
    }
    platform::PostMessage(barHandle_, PBX_SETPOS, static_cast<platform::WParam>(percent));
}

void ConvertDialog::PostStatus(const QString& text) {
    platform::PostCall(this, [this, text] { SetStatus(text); });
}

// The engine's progress function, on the worker thread; context is the dialog. It
// never asks the engine to stop through its result.
std::int32_t ConvertDialog::OnProgress(std::int32_t type, double fraction, std::uint32_t elapsedMs,
                                       void* context, void* context2) {
    auto* dialog = static_cast<ConvertDialog*>(context);
    auto* engine = static_cast<ConverterEngine*>(context2);
    const unsigned seconds = elapsedMs / 1000;
    switch (type) {
        case kConvertRunning:
        case 1: {
            // Convert clears the abort flag as it starts, which can undo a stop made
            // just before: the stop is repeated here and the file ends at its next chunk.
            if (dialog->stopRequest_.load()) {
                engine->Abort();
                break;
            }
            const int percent = static_cast<int>(fraction * 100.0);
            dialog->PostStatus(QString::asprintf("Converting... Finish: %d Times: %d", percent,
                                                 static_cast<int>(seconds)));
            {
                std::lock_guard<std::mutex> lock(dialog->sharedMutex_);
                dialog->rowFractions_[dialog->rowOfEngine_[engine]] =
                    std::clamp(fraction, 0.0, 1.0);
            }
            dialog->PostOverallProgress();
            break;
        }
        case kConvertFinished:
            dialog->PostStatus(QString::asprintf("Finished . Times:%d", static_cast<int>(seconds)));
            break;
        case kConvertTruncated:
            // The source held less audio than its header declares: what it held is
            // converted, and the status line says the file was cut short.
            dialog->PostStatus(QString::asprintf("Finished, source truncated! Times:%d",
                                                 static_cast<int>(seconds)));
            break;
        case kConvertAborted:
            dialog->PostStatus(QStringLiteral("Stop convert! "));
            break;
        case kConvertFailed:
            dialog->PostStatus(QStringLiteral("Convert failure!"));
            break;
        default:
            break;
    }
    return 1;
}

}  // namespace ui
