#pragma once
// The main window: the catalogue on the left, the details panel on the right, the operation
// buttons down the right edge. Its handlers read the selection, call an operation of ops/ and
// refresh the list.
#include "app/ConfigStore.h"
#include "archive/ZipComponent.h"
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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    // Runs a button's handler the way the toolkit does: the notes are left (and saved) first.
    void BindButton(FlatButton* button, void (MainWindow::*handler)());
    void LeaveNotes();
    void FillListForTab(Tab tab);
    // The tab the strip shows; outside a tab change the same as CurrentTab().
    Tab StripTab() const;
    // The plain name of the selected entry: a battle's file name or an archive's name.
    std::string SelectedName(Tab tab) const;
    void ShowArchiveDetails(app::ArchiveDir which);
    void ShowGameTitle();

    // Set at every tab change before anything reads it: the strip still reports the old tab
    // while its change event runs.
    Tab currentTab_ = Tab::Battles;
};
