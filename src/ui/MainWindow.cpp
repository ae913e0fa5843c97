#include "ui/MainWindow.h"

#include "app/BattleFile.h"
#include "app/Catalogue.h"
#include "app/CommentStore.h"
#include "base/Desktop.h"
#include "base/ProgramDir.h"
#include "base/Registry.h"
#include "ops/ArchiveDetails.h"
#include "ops/BattleTransfer.h"
#include "ops/DeleteEntry.h"
#include "ops/FolderSnapshot.h"
#include "ops/MailRequest.h"
#include "ops/PackBattle.h"
#include "ops/StartGame.h"
#include "ops/TurnZip.h"
#include "ops/UnpackArchive.h"
#include "ui/DialogLook.h"
#include "ui/EditBytes.h"
#include "ui/FieldLabels.h"
#include "ui/FlatButton.h"
#include "ui/FolderWatch.h"
#include "ui/GameSelectDialog.h"
#include "ui/ListBox.h"
#include "ui/ModChoiceDialog.h"
#include "ui/NotesEdit.h"
#include "ui/OperationRunner.h"
#include "ui/OptionsDialog.h"
#include "ui/QtText.h"
#include "ui/RadioGroup.h"
#include "ui/SkinnedWindow.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QLocale>
#include <QPainter>
#include <QScreen>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

using base::Guarded;
using ui::AnsiToQString;
using ui::DisplayString;

namespace {

const QColor kLime(0, 255, 0);
const QColor kGrey(90, 90, 90);
const QColor kWhite(255, 255, 255);

// A text control given its font before it joins the window: it lays out its text as it is made,
// and in the window's font it would load a font that nothing on the window shows.
template <class Control>
Control* MakeInFont(QWidget* parent, const QFont& font)
{
    auto* control = new Control;
    control->setFont(font);
    control->setParent(parent);
    return control;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    ops::SetUpTurnZip(zipComponent);
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Kestrel Series - Turnmail manager"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFont(DialogFont("MS Sans Serif", 11, false));
    CreateControls();
    operationRunner = new OperationRunner(this, clientArea);
    SetUpLiveLists();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    LoadStartState();
    // The dialogs (and their skin picture) are made when first opened, not at start.
}

void MainWindow::CreateControls()
{
    InstallFlatButtonAccessibility();
    clientArea = CreateSkinClient(this, QSize(638, 478), QStringLiteral(":/turnex/main.bmp"), &backgroundImage);
    // Presses on the controls stay with them: only the picture and the border drag the window.
    clientArea->setAttribute(Qt::WA_NoMousePropagation);
    windowDragger = new WindowDragger(this, backgroundImage);
    new WindowDragger(this, this);

    auto makeLabel = [this](const char* name, int x, int y, const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), clientArea);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(DialogFont("Verdana", 13, true));
        label->setAttribute(Qt::WA_TranslucentBackground);
        SetDialogColors(label, Qt::transparent, Qt::black);
        label->move(x, y);
        label->adjustSize();
        return label;
    };
    listTitleLabel = makeLabel("listTitleLabel", 16, 86, "Turnmail games");
    filenameLabel = makeLabel("filenameLabel", 264, 414, "Filename");
    visibilityLabel = makeLabel("visibilityLabel", 264, 366, "Visibility");
    lengthLabel = makeLabel("lengthLabel", 264, 318, "Length");
    turnLabel = makeLabel("turnLabel", 264, 270, "Current turn");
    sideLabel = makeLabel("sideLabel", 264, 222, "Playing side");
    notesLabel = makeLabel("notesLabel", 264, 86, "User comments");

    auto makeButton = [this](const char* name, int x, int y, const char* caption, const char* hint, QColor color) {
        auto* button = MakeFlatButton(clientArea, name, QRect(x, y, 97, 23), caption, color);
        button->SetHint(QString::fromLatin1(hint));
        return button;
    };
    exitButton = makeButton("exitButton", 496, 436, "Exit", "Exit", QColor(255, 0, 0));
    optionsButton = makeButton("optionsButton", 496, 332, "Options", "Options", QColor(0, 255, 255));
    refreshButton = makeButton("refreshButton", 496, 260, "Refresh", "Refresh", kWhite);
    compressButton = makeButton("compressButton", 496, 100, "Compress", "ZIP", kLime);
    copyButton = makeButton("copyButton", 496, 132, "Copy", "Copy", kWhite);
    moveButton = makeButton("moveButton", 496, 164, "Move", "Move", kWhite);
    deleteButton = makeButton("deleteButton", 496, 196, "Delete", "Delete", kWhite);
    helpButton = makeButton("helpButton", 496, 228, "Help", "Help", kWhite);
    runGameButton = makeButton("runGameButton", 496, 404, "Run Game", "Run selected game", QColor(255, 255, 0));
    selectGameButton = makeButton("selectGameButton", 496, 300, "Select Game", "Select KS game", QColor(0, 255, 255));
    sendMailButton = makeButton("sendMailButton", 496, 372, "Send mail", "Open new message with attachment", kLime);

    gameTitleLabel = new QLabel(clientArea);
    gameTitleLabel->setObjectName(QStringLiteral("gameTitleLabel"));
    gameTitleLabel->setFont(DialogFont("Verdana", 17, true));
    gameTitleLabel->setAttribute(Qt::WA_TranslucentBackground);
    SetDialogColors(gameTitleLabel, Qt::transparent, Qt::black);
    gameTitleLabel->move(245, 14);

    catalogueList = new ListBox(clientArea);
    catalogueList->setObjectName(QStringLiteral("catalogueList"));
    catalogueList->setGeometry(16, 120, 233, 337);
    QFont listFont = DialogFont("Verdana", 11, true);
    // Entries are drawn in exact colours (the extension rule), so no blended edge pixels.
    listFont.setStyleStrategy(QFont::NoAntialias);
    catalogueList->setFont(listFont);
    catalogueList->setFrameShape(QFrame::NoFrame);
    SetDialogColors(catalogueList, Qt::black, QColor(255, 255, 0));

    auto makeDetailEdit = [this](const char* name, int y) {
        auto* edit = MakeInFont<QLineEdit>(clientArea, DialogFont("Verdana", 11, true));
        edit->setObjectName(QString::fromLatin1(name));
        edit->setGeometry(264, y, 177, 21);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        SetDialogColors(edit, Qt::black, QColor(255, 255, 0));
        return edit;
    };
    filenameEdit = makeDetailEdit("filenameEdit", 436);

    catalogueTabs = new TabStrip(clientArea);
    catalogueTabs->setObjectName(QStringLiteral("catalogueTabs"));
    catalogueTabs->setFont(DialogFont("Verdana", 11, true));
    catalogueTabs->addTab(QStringLiteral("Battles"));
    catalogueTabs->addTab(QStringLiteral("Outcoming"));
    catalogueTabs->addTab(QStringLiteral("Incoming"));
    catalogueTabs->setGeometry(17, 103, 230, 17);
    catalogueTabs->setCurrentIndex(0);

    visibilityEdit = makeDetailEdit("visibilityEdit", 388);
    lengthEdit = makeDetailEdit("lengthEdit", 340);
    turnEdit = makeDetailEdit("turnEdit", 292);
    sideEdit = makeDetailEdit("sideEdit", 244);

    notesEdit = MakeInFont<NotesEdit>(clientArea, DialogFont("Verdana", 11, false));
    notesEdit->setObjectName(QStringLiteral("notesEdit"));
    notesEdit->setGeometry(264, 104, 177, 113);
    notesEdit->setFrameShape(QFrame::NoFrame);
    SetDialogColors(notesEdit, Qt::black, Qt::white);

    BindButton(exitButton, &MainWindow::onExitClicked);
    // These three open a modal dialog: a press returns at once and the dialog opens right after.
    BindDeferredButton(optionsButton, &MainWindow::onOptionsClicked);
    BindButton(refreshButton, &MainWindow::onRefreshClicked);
    BindButton(compressButton, &MainWindow::onCompressClicked);
    BindButton(copyButton, &MainWindow::onCopyClicked);
    BindButton(moveButton, &MainWindow::onMoveClicked);
    BindButton(deleteButton, &MainWindow::onDeleteClicked);
    BindButton(helpButton, &MainWindow::onHelpClicked);
    BindDeferredButton(runGameButton, &MainWindow::onRunGameClicked);
    BindDeferredButton(selectGameButton, &MainWindow::onSelectGameClicked);
    BindButton(sendMailButton, &MainWindow::onSendMailClicked);
    notesEdit->OnExit = [this] { Guarded([this] { onNotesLeft(); }); };
    connect(catalogueList, &ListBox::Click, this, [this] { Guarded([this] { onEntryClicked(); }); });
    catalogueList->OnDrawItem = [this](QPainter* canvas, int index, const QRect& rect, bool selected) {
        drawEntry(canvas, index, rect, selected);
    };
    catalogueTabs->OnChange = [this](int newTab) {
        LeaveNotes();
        bool changed = false;
        Guarded([&] { changed = onTabChanging(static_cast<Tab>(newTab)); });
        return changed;
    };
    NameControls();
    AssignShortcuts();
}

void MainWindow::BindButton(FlatButton* button, void (MainWindow::*handler)())
{
    button->OnClick = [this, handler](FlatButton*) {
        LeaveNotes();
        Guarded([this, handler] { (this->*handler)(); });
    };
}

void MainWindow::LeaveNotes()
{
    // Flat buttons and tabs take no focus, so a note being typed would otherwise be saved only
    // after the handler had changed the filename field.
    if (notesEdit->hasFocus())
        notesEdit->clearFocus();
}

void MainWindow::paintEvent(QPaintEvent*)
{
    PaintOutline(this);
    if (!followingBegun_) {
        // Once this first paint is on its way to the screen, not before.
        followingBegun_ = true;
        QTimer::singleShot(0, this, [this] { folderWatch->Begin(); });
    }
}

// ---- start-up ----

void MainWindow::LoadStartState()
{
    battleFileNames.clear();
    // An error skips the remaining steps; the window opens all the same.
    Guarded([this] {
        // user.reg (often hundreds of kilobytes) is parsed only when turnex.dat has to be made.
        app::LoadConfiguration(config, [] { return base::RegistryHive::CurrentUser(); });
        config.CurrentGame = app::FindCurrentGame(config);
        config.GameDir = config.Current().GameDir();
        ShowGameTitle();
        FillBattleList();
    });
}

void MainWindow::ShowGameTitle()
{
    gameTitleLabel->setText(QString::fromLatin1(app::GameNames[config.CurrentGame]));
    gameTitleLabel->adjustSize();
}

void MainWindow::onExitClicked()
{
    // Nothing is saved on the way out.
    close();
    QApplication::quit();
}

void MainWindow::onHelpClicked() { base::TheDesktop().ShowHelp(base::ExecutableDirectory() + "/help/index.html"); }

// ---- catalogue ----

MainWindow::Tab MainWindow::StripTab() const { return static_cast<Tab>(catalogueTabs->currentIndex()); }

void MainWindow::FillBattleList()
{
    battleFileNames.clear();
    catalogueList->ClearItems();
    std::vector<std::string> titles;
    std::vector<std::optional<struct stat>> statuses;
    auto show = [&] {
        QStringList items;
        items.reserve(static_cast<qsizetype>(titles.size()));
        for (const auto& title : titles)
            items << AnsiToQString(title);
        catalogueList->SetItems(items);
    };
    try {
        app::CollectBattles(config.GameDir, battleFileNames, titles, statuses);
    } catch (...) {
        FollowFolder(config.GameDir, ops::BattlePatterns());
        show();  // the entries read before the failing file stay, none selected
        throw;
    }
    // Followed from the state each battle had when its title was read, which the fill has at hand
    // (a second look at every file would cost as much as the fill), so any later change shows.
    FollowFolder(config.GameDir, ops::BattlePatterns(), ops::SnapshotOf(battleFileNames, statuses));
    show();
    if (catalogueList->count() > 0)
        catalogueList->SelectSilently(0);
}

void MainWindow::FillArchiveList(const std::string& directory)
{
    FollowFolder(directory, ops::ArchivePatterns());
    catalogueList->ClearItems();
    QStringList items;
    QList<QByteArray> names;
    for (const auto& name : app::ListArchives(directory)) {
        items << DisplayString(name);
        names << QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    }
    catalogueList->SetItems(items, names);
}

void MainWindow::FillListForTab(Tab tab)
{
    if (tab == Tab::Battles)
        FillBattleList();
    else
        FillArchiveList(ops::FolderOf(config, tab));
}

void MainWindow::RefillList() { FillListForTab(CurrentTab()); }

bool MainWindow::onTabChanging(Tab newTab)
{
    FillListForTab(newTab);
    const bool battles = newTab == Tab::Battles;
    currentTab_ = newTab;
    if (!battles)
        ClearDetails();
    // Compress on "Battles", Decompress on "Incoming"; on "Outcoming" the button is off and keeps
    // whichever caption it had.
    const bool packing = newTab != Tab::Outgoing;
    if (packing)
        compressButton->SetCaption(battles ? QStringLiteral("Compress") : QStringLiteral("Decompress"));
    compressButton->SetEnabled(packing);
    compressButton->SetFontColor(packing ? kLime : kGrey);
    for (FlatButton* button : {copyButton, moveButton}) {
        button->SetEnabled(battles);
        button->SetFontColor(battles ? kWhite : kGrey);
        button->setCursor(battles ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    RelabelField(visibilityLabel, battles ? QStringLiteral("Visibility") : QStringLiteral("Filesize"));
    RelabelField(filenameLabel, battles ? QStringLiteral("Filename") : QStringLiteral("Filedate"));
    NameCatalogueList();
    for (QWidget* battleOnly : std::initializer_list<QWidget*> {turnEdit, sideEdit, lengthEdit, lengthLabel, turnLabel,
                                                                sideLabel, notesEdit, notesLabel})
        battleOnly->setVisible(battles);
    if (battles) {
        // The list and the panel already belong to "Battles": a battle file that cannot be read
        // is reported, but the strip must not stay on a tab whose list is no longer shown.
        Guarded([this] { onEntryClicked(); });
    }
    return true;
}

void MainWindow::onRefreshClicked()
{
    FillListForTab(StripTab());
    ClearDetails();
}

void MainWindow::ClearDetails()
{
    for (QLineEdit* field : {filenameEdit, visibilityEdit, lengthEdit, turnEdit, sideEdit})
        field->clear();
    notesEdit->clear();
}

void MainWindow::onEntryClicked()
{
    switch (CurrentTab()) {
    case Tab::Battles: {
        const int index = catalogueList->ItemIndex();
        if (index < 0)
            return;
        notesEdit->clear();
        SetEditBytes(filenameEdit, SelectedName(Tab::Battles));
        app::BattleDetailsSink sink;
        sink.Side = [this](const std::string& value) { sideEdit->setText(AnsiToQString(value)); };
        sink.CurrentTurn = [this](const std::string& value) { turnEdit->setText(AnsiToQString(value)); };
        sink.Length = [this](const std::string& value) { lengthEdit->setText(AnsiToQString(value)); };
        sink.Visibility = [this](const std::string& value) { visibilityEdit->setText(AnsiToQString(value)); };
        app::ReadBattleDetails(ops::JoinPath(config.GameDir, SelectedName(Tab::Battles)), sink);
        if (auto comment = app::FindComment(FilenameField())) {
            QString text = AnsiToQString(*comment);
            notesEdit->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        }
        break;
    }
    case Tab::Outgoing: ShowArchiveDetails(app::ArchiveDir::Outgoing); break;
    case Tab::Incoming: ShowArchiveDetails(app::ArchiveDir::Incoming); break;
    }
}

void MainWindow::ShowArchiveDetails(app::ArchiveDir which)
{
    if (catalogueList->ItemIndex() < 0) {
        app::EnsureTrailingBackslash(config, which);  // as reading the details would have
        return;
    }
    const ops::ArchiveDetails details = ops::ReadArchiveDetails(config, which, SelectedName(CurrentTab()));
    const app::DosDateTime& d = details.modified;
    const QLocale locale;
    const QDateTime when(QDate(d.Year, d.Month, d.Day), QTime(d.Hour, d.Minute, d.Second));
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0, 0)) {
        // The long time format without the zone name that Qt adds to it.
        QString format = locale.timeFormat(QLocale::LongFormat).remove(QLatin1Char('t')).trimmed();
        text += QLatin1Char(' ') + locale.toString(when.time(), format);
    }
    filenameEdit->setText(text);
    const QString point = locale.decimalPoint();
    visibilityEdit->setText(
        QString::fromStdString(app::FormatKilobytes(details.size, point.isEmpty() ? '.' : point.at(0).toLatin1())));
}

void MainWindow::drawEntry(QPainter* canvas, int index, const QRect& rect, bool)
{
    canvas->fillRect(rect, canvas->brush());
    const QString text = catalogueList->item(index) ? catalogueList->item(index)->text() : QString();
    QColor color = kWhite;
    switch (ops::ArchiveKindOf(text.right(3).toStdString())) {
    case ops::ArchiveKind::Zip: color = QColor(255, 255, 0); break;
    case ops::ArchiveKind::Rar: color = QColor(255, 255, 128); break;
    case ops::ArchiveKind::Ace: color = QColor(255, 255, 191); break;
    case ops::ArchiveKind::Other: break;
    }
    canvas->setPen(color);
    canvas->drawText(rect.left() + 2, rect.top() + canvas->fontMetrics().ascent(), text);
}

std::string MainWindow::FilenameField() const { return EditBytes(filenameEdit); }

void MainWindow::onNotesLeft()
{
    // Lines are stored with CR LF; characters Windows-1252 cannot hold become "?".
    QString text = notesEdit->toPlainText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    app::SaveComment(FilenameField(), ui::QStringToAnsi(text));
}

// ---- game selection and launching ----

void MainWindow::onSelectGameClicked()
{
    if (!gameSelectDialog)
        gameSelectDialog = new GameSelectDialog(this);
    gameSelectDialog->gameGroup->SetItemIndex(config.CurrentGame);
    config.Current().SetSelected(0);
    if (gameSelectDialog->ShowModal() == 1) {
        config.CurrentGame = static_cast<uint8_t>(std::clamp(gameSelectDialog->gameGroup->ItemIndex(), 0, 2));
        config.Current().SetSelected(1);
        // A failed write leaves the new game flagged in memory while the window still shows the old one.
        app::SaveConfiguration(config);
        config.GameDir = config.Current().GameDir();
        ShowGameTitle();
        RefillList();
        ClearDetails();
    }
    config.Current().SetSelected(1);
}

void MainWindow::onRunGameClicked()
{
    // The mod choice dialog answers 1 for the standard game.
    const auto chooseStandard = [this] {
        if (!modChoiceDialog)
            modChoiceDialog = new ModChoiceDialog(this);
        return modChoiceDialog->ShowModal() == 1;
    };
    ops::StartGame(config, chooseStandard, base::TheDesktop());
}

// ---- options ----

void MainWindow::onOptionsClicked()
{
    app::GameProfile profile = config.Current();
    if (!optionsDialog)
        optionsDialog = new OptionsDialog(this);
    SetEditBytes(optionsDialog->outgoingEdit, profile.OutgoingDir());
    SetEditBytes(optionsDialog->incomingEdit, profile.IncomingDir());
    SetEditBytes(optionsDialog->gameDirEdit, profile.GameDir());
    optionsDialog->zipOverwriteGroup->SetItemIndex(std::min<int>(profile.ZipOverwrite(), 2));
    optionsDialog->titleLabel->setText(QString::fromLatin1(app::GameNames[config.CurrentGame]) +
                                       QStringLiteral(" - Options"));
    if (optionsDialog->ShowModal() != 1)
        return;
    profile.SetOutgoingDir(EditBytes(optionsDialog->outgoingEdit));
    profile.SetIncomingDir(EditBytes(optionsDialog->incomingEdit));
    profile.SetGameDir(EditBytes(optionsDialog->gameDirEdit));
    config.GameDir = profile.GameDir();
    profile.SetZipOverwrite(static_cast<uint8_t>(std::max(optionsDialog->zipOverwriteGroup->ItemIndex(), 0)));
    app::SaveConfiguration(config);
    // The details panel keeps what it showed.
    RefillList();
}

// ---- the turn operations ----

std::string MainWindow::SelectedName(Tab tab) const
{
    const int index = catalogueList->ItemIndex();
    if (tab == Tab::Battles)
        return index >= 0 && index < static_cast<int>(battleFileNames.size())
                   ? battleFileNames[static_cast<size_t>(index)]
                   : std::string();
    // The entry shows the name; its data keeps the bytes the directory search returned.
    const QListWidgetItem* item = index >= 0 ? catalogueList->item(index) : nullptr;
    const QByteArray raw = item ? item->data(Qt::UserRole).toByteArray() : QByteArray();
    return std::string(raw.constData(), static_cast<size_t>(raw.size()));
}

void MainWindow::onCompressClicked()
{
    if (catalogueList->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select file!");
        return;
    }
    // The caption says which of the two is armed; nothing is refreshed afterwards. The work runs
    // off the window's thread on a copy of the settings, which it may give a trailing backslash.
    const bool packing = compressButton->Caption() == QLatin1String("Compress");
    const std::string name = SelectedName(packing ? Tab::Battles : Tab::Incoming);
    app::ConfigState working = config;
    const auto keepSettings = qScopeGuard([&] { config = working; });
    operationRunner->Run((packing ? QStringLiteral("Packing ") : QStringLiteral("Unpacking ")) + DisplayString(name),
                         [&](archive::WorkProgress& progress) {
                             if (packing)
                                 ops::PackBattle(working, name, zipComponent, base::TheDesktop(), &progress);
                             else
                                 ops::UnpackArchive(working, name, zipComponent, base::TheDesktop(), &progress);
                         });
}

void MainWindow::onCopyClicked()
{
    if (catalogueList->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select a game!");
        return;
    }
    ops::CopyBattle(config, SelectedName(Tab::Battles), base::TheDesktop());
}

void MainWindow::onMoveClicked()
{
    if (catalogueList->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select a game!");
        return;
    }
    ops::MoveBattle(config, SelectedName(Tab::Battles), base::TheDesktop());
    // Also after a cancel; the rebuilt list shows whether the battle went.
    FillBattleList();
    ClearDetails();
}

void MainWindow::onDeleteClicked()
{
    if (catalogueList->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select a file!");
        return;
    }
    const Tab tab = StripTab();
    ops::DeleteEntry(config, tab, SelectedName(tab), base::TheDesktop());
    // Also after "No". On an archive tab the panel keeps the date and size it showed.
    FillListForTab(tab);
    if (tab == Tab::Battles)
        ClearDetails();
}

void MainWindow::onSendMailClicked()
{
    const int index = catalogueList->ItemIndex();
    if (index < 0) {
        base::TheDesktop().ShowMessage("Select file!");
        return;
    }
    const Tab tab = StripTab();
    const std::string shownText = catalogueList->item(index)->text().toStdString();
    ops::SendByMail(config, tab, SelectedName(tab), shownText);
}
