// The "Option" dialog: the output folder, the MP3 bit rate, the channel choice and
// the file-name template, shown from the settings file and written back by OK. OK
// refuses a template that would not give every track a name of its own. The dialog stays open after
// OK; Cancel, the close box and Escape close it without writing anything more.
#pragma once

#include <QDialog>
#include <string>

class HoverButton;
class QComboBox;
class QLabel;
class QLineEdit;

namespace ui {

class OptionsDialog : public QDialog {
    Q_OBJECT
  public:
    // Control ids of the template.
    enum ControlId : int {
        kIdRateList = 1034,
        kIdChannelList = 1035,
        kIdBrowse = 1033,
        kIdOk = 1037,
        kIdCancel = 1030,
        kIdFolder = 1038,
        kIdNaming = 1039,
    };

    explicit OptionsDialog(QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // Moves the fields into the controls (save false) or the controls into the fields
    // (save true): the folder text, both lists' selection indexes (-1 for none) and the
    // file-name template.
    bool UpdateData(bool save);

  private:
    void BuildTemplate();
    void ConnectMessageMap();
    void InitDialog();
    void OnOk();
    void OnBrowse();

    QComboBox* rateList_ = nullptr;
    QComboBox* channelList_ = nullptr;
    HoverButton* browseButton_ = nullptr;
    HoverButton* okButton_ = nullptr;
    HoverButton* cancelButton_ = nullptr;
    QLabel* folderText_ = nullptr;
    QLineEdit* namingEdit_ = nullptr;

    std::string folder_;
    int rateIndex_ = 0;
    int channelIndex_ = 0;
    std::string naming_;
};

}  // namespace ui
