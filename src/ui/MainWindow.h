#pragma once
// The main window: the catalogue on the left, the details panel on the right, the operation
// buttons down the right edge. Its handlers read the selection, call an operation of ops/ and
// refresh the list.
#include "app/ConfigStore.h"
#include "archive/ZipComponent.h"
#include "ops/FolderSnapshot.h"
#include "ops/ReceiveArchive.h"
#include "ops/Tab.h"

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPainter;
class FlatButton;
class ListBox;
class NotesEdit;
class TabStrip;
class WindowDragger;
class OptionsDialog;
class GameSelectDialog;
class ModChoiceDialog;
class OperationRunner;
class FolderWatch;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    using Tab = ops::Tab;

    explicit MainWindow(QWidget* parent = nullptr);

    // Controls.
    QWidget* clientArea = nullptr;  // inside the one-pixel border
    QLabel* backgroundImage = nullptr;
    WindowDragger* windowDragger = nullptr;  // moves the window by its picture
    QLabel* listTitleLabel = nullptr;        // "Turnmail games", above the tabs
    QLabel* gameTitleLabel = nullptr;        // the current game's name
    // The details panel: each field under its label. On the archive tabs the filename field shows
    // the file's date and the visibility field its size; the others are hidden there.
    QLabel *filenameLabel = nullptr, *visibilityLabel = nullptr, *lengthLabel = nullptr, *turnLabel = nullptr,
           *sideLabel = nullptr, *notesLabel = nullptr;
    QLineEdit *filenameEdit = nullptr, *visibilityEdit = nullptr, *lengthEdit = nullptr, *turnEdit = nullptr,
              *sideEdit = nullptr;
    NotesEdit* notesEdit = nullptr;
    FlatButton *exitButton = nullptr, *optionsButton = nullptr, *refreshButton = nullptr, *compressButton = nullptr,
               *copyButton = nullptr, *moveButton = nullptr, *deleteButton = nullptr, *helpButton = nullptr,
               *runGameButton = nullptr, *selectGameButton = nullptr, *sendMailButton = nullptr;
    ListBox* catalogueList = nullptr;
    TabStrip* catalogueTabs = nullptr;

    // The dialogs, created hidden at start-up in this order.
    OptionsDialog* optionsDialog = nullptr;
    GameSelectDialog* gameSelectDialog = nullptr;
    ModChoiceDialog* modChoiceDialog = nullptr;

    // Packs and unpacks zips for Compress and Decompress.
    ZipComponent zipComponent;
    // Runs Compress and Decompress off the window's thread, with progress and Cancel.
    OperationRunner* operationRunner = nullptr;

    // Process-wide state owned by the main window.
    app::ConfigState config;
    std::vector<std::string> battleFileNames;  // plain names behind the "Battles" entries

    // Handlers.
    void onExitClicked();
    void onOptionsClicked();
    void onRefreshClicked();
    void onCompressClicked();  // Compress or Decompress, as the caption says
    void onCopyClicked();
    void onMoveClicked();
    void onDeleteClicked();
    void onHelpClicked();
    void onRunGameClicked();
    void onSelectGameClicked();
    void onSendMailClicked();
    // Runs before the strip changes; false keeps the old tab.
    bool onTabChanging(Tab newTab);
    void onEntryClicked();  // fills the details panel for the selected entry
    void onNotesLeft();     // saves the note
    void drawEntry(QPainter* canvas, int index, const QRect& rect, bool selected);

    // Routines of the window.
    void LoadStartState();
    void FillBattleList();
    void FillArchiveList(const std::string& directory);
    void RefillList();  // for the current tab, after a dialog changed the profile
    void ClearDetails();
    Tab CurrentTab() const { return currentTab_; }
    // The name in the filename field, as the bytes it stands for.
    std::string FilenameField() const;

    // The list follows the folder of the tab shown, and archives dropped on the window are
    // received into the incoming folder (MainWindowLive.cpp).
    FolderWatch* folderWatch = nullptr;
    void onShownFolderChanged(const std::vector<std::string>& changedNames);
    void ReceiveDroppedFiles(const std::vector<ops::DroppedFile>& dropped);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    // Runs a button's handler the way the toolkit does: the notes are left (and saved) first.
    void BindButton(FlatButton* button, void (MainWindow::*handler)());
    // The same from the event loop right after the click, so that a press (by assistive
    // technology above all) returns before the handler's modal dialog opens. A press while one
    // is waiting or open is ignored, as the modal dialog would ignore a click.
    void BindDeferredButton(FlatButton* button, void (MainWindow::*handler)());
    // Accessible names as a sighted user reads them, and the labels tied to their fields
    // (MainWindowKeys.cpp).
    void NameControls();
    void NameCatalogueList();  // by its heading and the tab shown
    // A keyboard shortcut for every button (MainWindowKeys.cpp).
    void AssignShortcuts();
    void LeaveNotes();
    void FillListForTab(Tab tab);
    // The tab the strip shows; outside a tab change the same as CurrentTab().
    Tab StripTab() const;
    // The plain name of the selected entry: a battle's file name or an archive's name.
    std::string SelectedName(Tab tab) const;
    void ShowArchiveDetails(app::ArchiveDir which);
    void ShowGameTitle();
    void SetUpLiveLists();
    void FollowFolder(const std::string& folder, const std::vector<std::string>& patterns);
    void FollowFolder(const std::string& folder, const std::vector<std::string>& patterns, ops::FolderSnapshot listed);
    // Refills the list after its folder changed, keeping the selection, the note and the details.
    void RefillFollowingFolder(const std::vector<std::string>& changedNames);
    int RowOf(Tab tab, const std::string& name) const;  // the entry of a file name, or -1

    bool dialogPressPending_ = false;  // a deferred handler is waiting or running
    bool followingBegun_ = false;      // the folder watch was started after the first paint

    // Set at every tab change before anything reads it: the strip still reports the old tab
    // while its change event runs.
    Tab currentTab_ = Tab::Battles;
};
