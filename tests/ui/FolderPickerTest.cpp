// The folder picker through its test seam: what it asks the dialog and what it makes
// of the answer.
#include <gtest/gtest.h>

#include <filesystem>

#include "ui/FolderPicker.h"

using namespace ui;

namespace {

struct Asked {
    std::string caption, start, root;
    int calls = 0;
};

class FolderPickerSeam : public ::testing::Test {
  protected:
    void Answer(std::optional<std::string> answer) {
        FolderPicker::testDialog = [this, answer](QWidget*, const std::string& caption,
                                                  const std::string& start,
                                                  const std::string& root) {
            asked_ = Asked{caption, start, root, asked_.calls + 1};
            return answer;
        };
    }
    void TearDown() override { FolderPicker::testDialog = nullptr; }
    Asked asked_;
};

}  // namespace

TEST_F(FolderPickerSeam, ChosenFolderAlwaysEndsWithTheSeparator) {
    FolderPicker picker;
    Answer("/home/user/Music");
    ASSERT_TRUE(picker.Browse(nullptr));
    EXPECT_EQ(picker.chosenPath, "/home/user/Music/");
    Answer("/");
    ASSERT_TRUE(picker.Browse(nullptr));
    EXPECT_EQ(picker.chosenPath, "/");
    Answer("/already/");
    ASSERT_TRUE(picker.Browse(nullptr));
    EXPECT_EQ(picker.chosenPath, "/already/");
}

TEST_F(FolderPickerSeam, CancelOrNoPathLeavesTheFieldAlone) {
    FolderPicker picker;
    picker.chosenPath = "/kept/";
    Answer(std::nullopt);
    EXPECT_FALSE(picker.Browse(nullptr));
    Answer("");
    EXPECT_FALSE(picker.Browse(nullptr));
    Answer("/" + std::string(258, 'x'));  // 260 characters with its separator
    EXPECT_FALSE(picker.Browse(nullptr));
    EXPECT_EQ(picker.chosenPath, "/kept/");
    Answer("/" + std::string(257, 'x'));  // exactly 259
    EXPECT_TRUE(picker.Browse(nullptr));
    EXPECT_EQ(picker.chosenPath.size(), 259u);
}

TEST_F(FolderPickerSeam, CaptionStartAndRootReachTheDialog) {
    FolderPicker picker;
    Answer("/x");
    picker.Browse(nullptr);
    EXPECT_EQ(asked_.caption, "Open");
    EXPECT_EQ(asked_.start, "");

    const std::string tmp = std::filesystem::temp_directory_path().string();
    picker.title = "Select output folder";
    picker.rootFolder = tmp;
    picker.initialSelection = tmp + "/sub";
    picker.Browse(nullptr);
    EXPECT_EQ(asked_.caption, "Select output folder");
    EXPECT_EQ(asked_.start, tmp + "/sub");
    EXPECT_EQ(asked_.root, tmp);

    // A root that is not a folder fails before any dialog is shown.
    picker.rootFolder = tmp + "/no/such/folder";
    const int calls = asked_.calls;
    EXPECT_FALSE(picker.Browse(nullptr));
    EXPECT_EQ(asked_.calls, calls);
}
