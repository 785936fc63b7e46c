// The Options dialog against a settings file in a temporary program folder
// (platform::SetExecutablePathForTesting), the folder picker answered through its seam.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "TestAudio.h"
#include "core/Settings.h"
#include "platform/Paths.h"
#include "ui/FolderPicker.h"
#include "ui/MessageBox.h"
#include "ui/OptionsDialog.h"

using namespace core;
using ui::FolderPicker;

namespace {

using ui::OptionsDialog;

class OptionsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = MakeTempFolder();
        ASSERT_FALSE(folder_.empty());
        platform::SetExecutablePathForTesting(folder_ + "/trackmill");
    }
    void TearDown() override {
        FolderPicker::testDialog = nullptr;
        platform::SetExecutablePathForTesting("");
        RemoveFolder(folder_);
    }
    void WriteSettings(const std::string& rate, const std::string& channel) {
        WriteBytes(folder_ + "/trackmill.ini",
                   "[CONFIG]\noutput=/music/\nrate=" + rate + "\nchannle=" + channel + "\n");
    }
    template <class T>
    static T* Control(OptionsDialog& d, int id) {
        return d.findChild<T*>(QString::number(id));
    }
    static int Rate(OptionsDialog& d) {
        return Control<QComboBox>(d, OptionsDialog::kIdRateList)->currentIndex();
    }

    std::string folder_;
};

TEST_F(OptionsDialogTest, ListsShowTheStoredIndexesAndNothingForOnesOutsideThem) {
    {
        OptionsDialog d;  // no settings file: the defaults
        EXPECT_EQ("Option", d.windowTitle());
        EXPECT_EQ("", Control<QLabel>(d, OptionsDialog::kIdFolder)->text());
        EXPECT_EQ(3, Rate(d));
        auto* rates = Control<QComboBox>(d, OptionsDialog::kIdRateList);
        ASSERT_EQ(10, rates->count());
        EXPECT_EQ("320 bps", rates->itemText(0));
        EXPECT_EQ("192 bps", rates->itemText(3));
        EXPECT_EQ("56 bps", rates->itemText(9));
        EXPECT_FALSE(rates->isEditable());
        auto* channels = Control<QComboBox>(d, OptionsDialog::kIdChannelList);
        ASSERT_EQ(4, channels->count());
        EXPECT_EQ("Stereo", channels->itemText(0));
        EXPECT_EQ("Lift track", channels->itemText(1));
        EXPECT_EQ("Right track", channels->itemText(2));
        EXPECT_EQ("Single track", channels->itemText(3));
        EXPECT_EQ(0, channels->currentIndex());
    }
    const struct {
        const char* stored;
        int shown;
    } cases[] = {{"0", 0}, {"9", 9}, {"10", -1}, {"-1", -1}};
    for (const auto& c : cases) {
        WriteSettings(c.stored, "3");
        OptionsDialog d;
        EXPECT_EQ(c.shown, Rate(d)) << "rate " << c.stored;
        EXPECT_EQ(3, Control<QComboBox>(d, OptionsDialog::kIdChannelList)->currentIndex());
        EXPECT_EQ("/music/", Control<QLabel>(d, OptionsDialog::kIdFolder)->text());
    }
}

TEST_F(OptionsDialogTest, OkWritesWhatIsShownAndAFolderChoiceResetsTheLists) {
    WriteSettings("10", "0");
    OptionsDialog d;
    d.show();
    auto* ok = Control<QPushButton>(d, OptionsDialog::kIdOk);
    auto* rates = Control<QComboBox>(d, OptionsDialog::kIdRateList);
    auto* channels = Control<QComboBox>(d, OptionsDialog::kIdChannelList);

    // A list showing nothing writes -1; the dialog stays open after OK.
    channels->setCurrentIndex(3);
    ok->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ("/music/", ReadOutputSetting());
    EXPECT_EQ(-1, ReadRateSetting());
    EXPECT_EQ(3, ReadChannelSetting());

    // Rate chosen, then a folder: the refresh puts the rate back to the field's index.
    FolderPicker::testDialog = [this](QWidget*, const std::string& caption, const std::string&,
                                      const std::string&) -> std::optional<std::string> {
        EXPECT_EQ("Select output folder", caption);
        return folder_ + "/chosen";
    };
    rates->setCurrentIndex(5);
    Control<QPushButton>(d, OptionsDialog::kIdBrowse)->click();
    EXPECT_EQ(-1, rates->currentIndex());
    EXPECT_EQ(QString::fromStdString(folder_ + "/chosen/"),
              Control<QLabel>(d, OptionsDialog::kIdFolder)->text());
    ok->click();
    EXPECT_EQ(-1, ReadRateSetting());
    EXPECT_EQ(folder_ + "/chosen/", ReadOutputSetting());

    // Folder first, rate afterwards: both are written; OK twice writes the same.
    rates->setCurrentIndex(1);
    ok->click();
    ok->click();
    EXPECT_EQ(1, ReadRateSetting());

    // A cancelled picker changes nothing; Cancel keeps what OK wrote and writes nothing.
    FolderPicker::testDialog = [](QWidget*, const std::string&, const std::string&,
                                  const std::string&) { return std::optional<std::string>(); };
    Control<QPushButton>(d, OptionsDialog::kIdBrowse)->click();
    EXPECT_EQ(QString::fromStdString(folder_ + "/chosen/"),
              Control<QLabel>(d, OptionsDialog::kIdFolder)->text());
    rates->setCurrentIndex(7);
    Control<QPushButton>(d, OptionsDialog::kIdCancel)->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(1, ReadRateSetting());
    EXPECT_EQ(3, ReadChannelSetting());
    EXPECT_EQ(folder_ + "/chosen/", ReadOutputSetting());

    // Escape closes it the same way.
    OptionsDialog again;
    again.show();
    EXPECT_EQ(1, Rate(again));
    QTest::keyClick(&again, Qt::Key_Escape);
    EXPECT_FALSE(again.isVisible());
}

// The file-name template: shown (the default when none is stored), typed, kept over a
// folder choice, and refused by OK when it would give every track the same name.
TEST_F(OptionsDialogTest, FileNamesTemplateIsCheckedBeforeAnythingIsWritten) {
    WriteSettings("3", "0");
    OptionsDialog d;
    d.show();
    auto* naming = Control<QLineEdit>(d, OptionsDialog::kIdNaming);
    ASSERT_NE(nullptr, naming);
    EXPECT_EQ("%n - %t", naming->text());
    std::vector<QString> boxes;
    ui::SetMessageBoxAnswerer([&](const ui::MessageBoxRequest& box) {
        boxes.push_back(box.text);
        return QMessageBox::Ok;
    });

    naming->clear();
    QTest::keyClicks(naming, "%A/%d");
    Control<QComboBox>(d, OptionsDialog::kIdRateList)->setCurrentIndex(0);
    Control<QPushButton>(d, OptionsDialog::kIdOk)->click();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_TRUE(boxes[0].contains("%n")) << boxes[0].toStdString();
    EXPECT_EQ(3, ReadRateSetting());
    EXPECT_EQ("", ReadNamingSetting());

    FolderPicker::testDialog = [this](QWidget*, const std::string&, const std::string&,
                                      const std::string&) -> std::optional<std::string> {
        return folder_ + "/chosen";
    };
    QTest::keyClicks(naming, "/%n %t");
    Control<QPushButton>(d, OptionsDialog::kIdBrowse)->click();
    EXPECT_EQ("%A/%d/%n %t", naming->text());
    Control<QPushButton>(d, OptionsDialog::kIdOk)->click();
    ui::SetMessageBoxAnswerer({});
    EXPECT_EQ(1u, boxes.size());
    EXPECT_EQ("%A/%d/%n %t", ReadNamingSetting());
    EXPECT_EQ(folder_ + "/chosen/", ReadOutputSetting());
    OptionsDialog again;
    EXPECT_EQ("%A/%d/%n %t", Control<QLineEdit>(again, OptionsDialog::kIdNaming)->text());
}

}  // namespace
