// The folder browser opens where the folder of the field is, found through the Wine prefix for a
// drive-letter folder, or in the home folder when that folder does not exist.
#include "support/ModalCloser.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/EditBytes.h"
#include "ui/FlatButton.h"
#include "ui/OptionsDialog.h"
#include "ui/QtDesktop.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class FolderBrowserStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(tmp / "wine/dosdevices");
        fs::create_directories(tmp / "wine/drive_c/Games/Iron Plain");
        fs::create_directories(tmp / "mail/In");
        // Drive d: is a folder outside the prefix, as winecfg links it.
        fs::create_directory_symlink(tmp / "mail", tmp / "wine/dosdevices/d:");
        fs::create_directory_symlink("../drive_c", tmp / "wine/dosdevices/c:");
    }
    static QString Start(const std::string& folder)
    {
        return QDir(ui::QtDesktop::BrowseStartFolder(folder)).canonicalPath();
    }
    QString Canonical(const std::string& folder) { return QDir(QString::fromStdString(folder)).canonicalPath(); }

    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
};

}  // namespace

TEST_F(FolderBrowserStartTest, TheStartFolderIsTheFieldsFolderOrHome)
{
    EXPECT_EQ(Start("c:\\Games\\Iron Plain"), Canonical(tmp / "wine/drive_c/Games/Iron Plain"));
    // Drive letters and names in any case, as Wine finds them; a trailing backslash changes nothing.
    EXPECT_EQ(Start("D:\\in\\"), Canonical(tmp / "mail/In"));
    EXPECT_EQ(Start(tmp / "mail/In"), Canonical(tmp / "mail/In"));
    const QString home = QDir(QDir::homePath()).canonicalPath();
    EXPECT_EQ(Start("e:\\no drive"), home);
    EXPECT_EQ(Start("c:\\Games\\gone"), home);
    EXPECT_EQ(Start(""), home);
    TempDir::Write(tmp / "mail/file.zip", "PK");
    EXPECT_EQ(Start(tmp / "mail/file.zip"), home);  // a file is no folder to start in
}

TEST_F(FolderBrowserStartTest, TheRealBrowserOpensThere)
{
    ui::QtDesktop desktop;
    QString opened;
    ModalCloser closer;
    closer.onOpen = [&](QDialog* dialog) {
        auto* browser = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(browser, nullptr);
        opened = browser->directory().canonicalPath();
    };
    EXPECT_EQ(desktop.BrowseForFolderAt("Select game directory: ", "d:\\IN"), std::nullopt);
    EXPECT_EQ(opened, Canonical(tmp / "mail/In"));
    EXPECT_EQ(desktop.BrowseForFolder("COPY - Select destination: "), std::nullopt);
    EXPECT_EQ(opened, QDir(QDir::homePath()).canonicalPath());
}

TEST_F(FolderBrowserStartTest, EachOptionsButtonHandsItsFieldToTheBrowser)
{
    ScriptedDesktop desktop;
    OptionsDialog dialog;
    SetEditBytes(dialog.gameDirEdit, "c:\\Games\\Iron Plain");
    SetEditBytes(dialog.outgoingEdit, tmp / "mail/Out");
    SetEditBytes(dialog.incomingEdit, "d:\\In");
    desktop.folderAnswers = {std::nullopt, std::nullopt, tmp / "mail/In"};
    dialog.browseGameDirButton->Press();
    dialog.browseOutgoingButton->Press();
    dialog.browseIncomingButton->Press();
    const auto shown = desktop.Of(Shown::Folder);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, "c:\\Games\\Iron Plain");
    EXPECT_EQ(shown[1].caption, tmp / "mail/Out");
    EXPECT_EQ(shown[2].caption, "d:\\In");
    EXPECT_EQ(EditBytes(dialog.incomingEdit), tmp / "mail/In");
    // The next browser starts from the folder now chosen.
    dialog.browseIncomingButton->Press();
    EXPECT_EQ(desktop.Of(Shown::Folder).back().caption, tmp / "mail/In");
}
