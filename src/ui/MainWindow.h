#pragma once
// The main window: the catalogue on the left, the details panel on the right, the operation
// buttons down the right edge.
#include "app/ConfigStore.h"
#include "archive/ZipComponent.h"

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
    explicit MainWindow(QWidget* parent = nullptr);

    // Controls, named as in the window's design.
    QWidget* Client = nullptr;  // the client area, inside the one-pixel border
    QLabel* Image1 = nullptr;
    WindowDragger* Dragger = nullptr;  // moves the window by its picture
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
           *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr;
    FlatButton *FlatButton1 = nullptr, *FlatButton2 = nullptr, *FlatButton3 = nullptr, *FlatButton4 = nullptr,
                *FlatButton5 = nullptr, *FlatButton6 = nullptr, *FlatButton7 = nullptr, *FlatButton8 = nullptr,
                *FlatButton9 = nullptr, *FlatButton10 = nullptr, *FlatButton11 = nullptr;
    ListBox* ListBox1 = nullptr;
    TabStrip* TabSet1 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit5 = nullptr;
    NotesEdit* Memo1 = nullptr;

    // The dialogs, created hidden at start-up in this order.
    OptionsDialog* OKBottomDlg = nullptr;    // Options
    GameSelectDialog* OKBottomDlg1 = nullptr;  // game selection
    ModChoiceDialog* OKBottomDlg2 = nullptr;  // mod choice

    // The zip component of the window, set up as the window's design sets it.
    ZipComponent ZipComponent1;

    // Process-wide state owned by the main window.
    app::ConfigState Config;
    std::vector<std::string> FileNames;  // plain names behind the "Battles" entries

    // Handlers.
    void FormCreate();
    void Button1Click();
    void FlatButton2Click();   // Options
    void FlatButton4Click();   // Compress / Decompress
    void FlatButton5Click();   // Copy
    void FlatButton6Click();   // Move
    void FlatButton7Click();   // Delete
    void FlatButton9Click();   // Run Game
    void FlatButton10Click();  // Select Game
    void FlatButton11Click();  // Send mail
    void FlatButton3Click();
    void FlatButton8Click();
    bool TabSet1Change(int newTab);
    void ListBox1Click();
    void Memo1Exit();
    void ListBox1DrawItem(QPainter* canvas, int index, const QRect& rect, bool selected);

    // Routines of the window.
    void FillBattleList();
    void FillArchiveList(const std::string& directory);
    void RefillList();  // for CurrentTab, after a dialog changed the profile
    void ClearDetails();
    int CurrentTab() const;
    // The name in the Filename field, as the bytes it stands for.
    std::string FilenameField() const;
    void SetCurrentTab(int tab);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    // Runs a button's handler the way the toolkit does: the memo is left (and saved) first.
    void Bind(FlatButton* button, void (MainWindow::*handler)());
    void LeaveMemo();
    void Compress();
    void Decompress();
    void FillListForTab(int tab);
    // The plain name of the selected entry: a battle's file name or an archive's name.
    std::string SelectedName(int tab) const;
    void ShowArchiveDetails(app::ArchiveDir which);
};
