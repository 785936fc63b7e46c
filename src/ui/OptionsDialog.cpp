#include "ui/OptionsDialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "controls/HoverButton.h"
#include "core/Settings.h"
#include "names/NamingTemplate.h"
#include "ui/FolderPicker.h"
#include "ui/MessageBox.h"
#include "ui/TemplateLayout.h"

namespace ui {

using namespace core;

namespace {

// The channel choices, in the order of the "channle" setting's values.
const char* const kChannelEntries[] = {"Stereo", "Lift track", "Right track", "Single track"};

// Selects entry `index` of a list, or nothing when the index is not one of its entries.
void SelectEntry(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent) : QDialog(parent) {
    BuildTemplate();
    ConnectMessageMap();
    InitDialog();
}

OptionsDialog::~OptionsDialog() = default;

// The "Option" template: 260 x 119 dialog units (the file-name row below the lists adds
// 18 to the original 101). Both lists are drop-down lists without an edit field, so a
// stored index is always one of their entries or none.
void OptionsDialog::BuildTemplate() {
    const QSize base = ApplyTemplate(this, QStringLiteral("Option"), 260, 119);

    okButton_ = new HoverButton(QStringLiteral("OK"), this);
    PlaceControl(okButton_, kIdOk, {141, 101, 50, 14}, base);
    okButton_->setDefault(true);
    cancelButton_ = new HoverButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton_, kIdCancel, {201, 101, 50, 14}, base);
    cancelButton_->setAutoDefault(false);

    auto* frame = new QGroupBox(this);
    PlaceControl(frame, 0, {7, 1, 244, 93}, base);
    frame->lower();

    PlaceControl(new QLabel(QStringLiteral("Output folder"), this), 0, {13, 9, 135, 8}, base);
    folderText_ = new QLabel(QStringLiteral("Static"), this);
    folderText_->setFrameStyle(QFrame::Box | QFrame::Plain);
    folderText_->setLineWidth(1);
    PlaceControl(folderText_, kIdFolder, {14, 22, 214, 12}, base);
    browseButton_ = new HoverButton(QStringLiteral("..."), this);
    PlaceControl(browseButton_, kIdBrowse, {231, 22, 16, 12}, base);
    browseButton_->setAutoDefault(false);

    PlaceControl(new QLabel(QStringLiteral("Rate:"), this), 0, {14, 50, 26, 8}, base);
    rateList_ = new QComboBox(this);
    PlaceControl(rateList_, kIdRateList, {47, 49, 72, 75}, base);
    rateList_->resize(rateList_->width(), rateList_->sizeHint().height());

    PlaceControl(new QLabel(QStringLiteral("Channle:"), this), 0, {123, 50, 36, 8}, base);
    channelList_ = new QComboBox(this);
    PlaceControl(channelList_, kIdChannelList, {165, 49, 66, 68}, base);
    channelList_->resize(channelList_->width(), channelList_->sizeHint().height());

    PlaceControl(new QLabel(QStringLiteral("File names"), this), 0, {14, 72, 40, 8}, base);
    namingEdit_ = new QLineEdit(this);
    PlaceControl(namingEdit_, kIdNaming, {58, 70, 173, 12}, base);
    namingEdit_->setToolTip(QStringLiteral(
        "%n track number, %t title, %a track artist, %A album artist, %d album, %y year; "
        "a / makes a folder"));
}

// The message map: which handler each control id runs.
void OptionsDialog::ConnectMessageMap() {
    connect(okButton_, &QPushButton::clicked, this, &OptionsDialog::OnOk);
    connect(browseButton_, &QPushButton::clicked, this, &OptionsDialog::OnBrowse);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void OptionsDialog::InitDialog() {
    folder_ = ReadOutputSetting();
    channelList_->clear();
    for (const char* entry : kChannelEntries) channelList_->addItem(QString::fromLatin1(entry));
    rateList_->clear();
    for (int rate : kRateList) rateList_->addItem(QString::asprintf("%d bps", rate));
    channelIndex_ = ReadChannelSetting();
    rateIndex_ = ReadRateSetting();
    naming_ = names::EffectiveNamingTemplate(ReadNamingSetting());
    UpdateData(false);
}

bool OptionsDialog::UpdateData(bool save) {
    if (save) {
        folder_ = folderText_->text().toStdString();
        rateIndex_ = rateList_->currentIndex();
        channelIndex_ = channelList_->currentIndex();
        naming_ = namingEdit_->text().toStdString();
    } else {
        namingEdit_->setText(QString::fromStdString(naming_));
        folderText_->setText(QString::fromStdString(folder_));
        SelectEntry(channelList_, channelIndex_);
        SelectEntry(rateList_, rateIndex_);
    }
    return true;
}

void OptionsDialog::OnOk() {
    UpdateData(true);
    // A template that names every track alike would make each track overwrite the
    // last: nothing is written until the template is fixed.
    const std::string problem = names::NamingTemplateProblem(naming_);
    if (!problem.empty()) {
        ShowMessageBox(this,
                       QStringLiteral("The file names template cannot be used: %1.")
                           .arg(QString::fromStdString(problem)),
                       windowTitle(), QMessageBox::Warning);
        namingEdit_->setFocus();
        return;
    }
    // Written without checking: a settings file that cannot be written changes nothing.
    WriteOutputSetting(folder_);
    WriteSettingInt(kSettingsSection, kKeyChannel, channelIndex_, SettingsFilePath());
    WriteSettingInt(kSettingsSection, kKeyRate, rateIndex_, SettingsFilePath());
    WriteNamingSetting(naming_);
}

void OptionsDialog::OnBrowse() {
    FolderPicker picker;
    picker.title = "Select output folder";
    if (!picker.Browse(this)) return;
    folder_ = picker.chosenPath;
    naming_ = namingEdit_->text().toStdString();  // a template being typed is kept
    UpdateData(false);
}

}  // namespace ui
