// The "Convert" dialog: a list of WAV files converted into MP3 files in an output
// folder, up to "jobs" files at once, each on a worker thread with a ConverterEngine of
// its own. The status line shows each target, the progress and the end of each file as
// they come; the percent bar shows the whole list's progress.
//
// The worker reaches the dialog only by posting (status texts, bar messages, its end),
// so the user-interface thread can always wait for it: a stop, Cancel, the close box
// and Escape abort the engine and the dialog never goes before its worker has ended.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/ConverterEngine.h"
#include "convert/ConverterLibrary.h"
#include "platform/WindowMessages.h"

class HoverButton;
class PercentBar;
class QLabel;
class QLineEdit;

namespace ui {

class SourceList;

class ConvertDialog : public QDialog {
    Q_OBJECT
  public:
    // Control ids of the template.
    enum ControlId : int {
        kIdStart = 1031,
        kIdCancel = 1030,
        kIdFolder = 1017,
        kIdBrowseFolder = 1021,
        kIdAddSources = 1020,
        kIdSourceList = 1041,
        kIdStatus = 1042,
        kIdBar = 1024,
    };

    // Conversions go through `library`, the program's binding of the encoder module,
    // which outlives the dialog; `clock` (null: the system's) times their progress.
    explicit ConvertDialog(const convert::ConverterLibrary& library, QWidget* parent = nullptr,
                           convert::ConverterEngine::TickSource clock = nullptr);
    // Stops a run and waits for its worker first.
    ~ConvertDialog() override;

    // Moves the output folder between its field and control 1017 (save true: into the
    // field).
    bool UpdateData(bool save);

    // Adds paths as the file dialog's choice is added: walking them in order with an
    // insertion index that counts every path, a path that names a folder adds no row,
    // any other path is inserted at the index and numbered from 0 in this call.
    void AddSources(const std::vector<std::string>& paths);

    // True from a start until the worker has ended.
    bool IsConverting() const { return worker_.joinable(); }

    // Cancel, the close box and Escape: stop the run, wait for the worker, close.
    void reject() override;

  signals:
    // The status line has been set to `text` (also when the text is the same again).
    void statusShown(const QString& text);

  private:
    void BuildTemplate();
    void ConnectMessageMap();
    void InitDialog();

    void OnAddSources();
    void OnBrowseFolder();
    void OnStart();
    void OnCancel();
    void OnWorkerEnded();

    void SetStatus(const QString& text);
    // Aborts the engine when a file is being converted.
    void StopEngine();
    // Asks the run to stop and waits until its worker has ended.
    void StopAndWait();
    void ShowIdle();

    // Worker side: runs on the worker thread.
    void RunWorker();
    void RunSlot(int slot);
    void ConvertRow(std::size_t row, const std::string& source, const std::string& target,
                    convert::ConverterEngine& engine);
    // Posts the list's progress to the bar: rows done plus the running rows' shares.
    void PostOverallProgress();
    void PostStatus(const QString& text);
    static std::int32_t OnProgress(std::int32_t type, double fraction, std::uint32_t elapsedMs,
                                   void* context, void* context2);

    const convert::ConverterLibrary& library_;
    const convert::ConverterEngine::TickSource clock_;
    // One engine per worker of the run; made before the workers start and kept until
    // the next start, so a stop can always reach every one of them.
    std::vector<std::unique_ptr<convert::ConverterEngine>> engines_;
    std::atomic<bool> stopRequest_{false};
    bool running_ = false;         // user-interface thread only: the button stands for a stop
    bool startFocusLent_ = false;  // Start had the focus when a stop disabled it
    int rateIndex_ = 0;
    int channelIndex_ = 0;
    std::int32_t bitRate_ = 0;  // of the current run, set before its worker starts
    std::thread worker_;

    // The list's source paths in row order and the output folder, shared with the
    // worker, which reads them row by row.
    mutable std::mutex sharedMutex_;
    std::vector<std::string> sources_;
    std::string outputFolder_;
    // The run's rows, guarded by sharedMutex_ as well: the next row to start, the rows
    // done, the running rows' fractions and the names the run's targets hold.
    std::size_t nextRow_ = 0;
    std::size_t rowsDone_ = 0;
    std::vector<double> rowFractions_;
    std::vector<std::string> written_;
    std::map<const convert::ConverterEngine*, std::size_t> rowOfEngine_;  // the row it converts

    HoverButton* startButton_ = nullptr;
    HoverButton* cancelButton_ = nullptr;
    HoverButton* browseFolderButton_ = nullptr;
    HoverButton* addSourcesButton_ = nullptr;
    QLineEdit* folderEdit_ = nullptr;
    SourceList* sourceList_ = nullptr;
    QLabel* statusLine_ = nullptr;
    PercentBar* bar_ = nullptr;
    platform::WindowHandle barHandle_ = 0;
};

}  // namespace ui
