#include "ui/MainWindow.h"

#include "app/BattleFile.h"
#include "app/Catalogue.h"
#include "app/CommentStore.h"
#include "archive/RarExtraction.h"
#include "archive/AceExtraction.h"
#include "ui/DialogLook.h"
#include "ui/ModChoiceDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/GameSelectDialog.h"
#include "mail/MailDispatch.h"
#include "base/CodePage.h"
#include "ui/QtText.h"
#include "base/Desktop.h"
#include "base/Files.h"
#include "base/ProgramDir.h"
#include "base/Registry.h"
#include "ui/EditBytes.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/NotesEdit.h"
#include "ui/RadioGroup.h"
#include "ui/SkinnedWindow.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QListWidgetItem>

#include <algorithm>
#include <cctype>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>

using ui::AnsiToQString;
using ui::DisplayString;
using base::Guarded;

namespace {

const QColor kLime(0, 255, 0);
const QColor kGrey(90, 90, 90);
const QColor kWhite(255, 255, 255);

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    // The zip component's design-time settings.
    ZipComponent1.AddCompLevel = 9;
    ZipComponent1.AddOptions = AddOpts {AddUpdate};
    ZipComponent1.ExtrOptions = ExtrOpts {ExtrOverWrite};
    ZipComponent1.AddStoreSuffixes =
        AddStoreExts {assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA};
    ZipComponent1.Unattended = false;
    ZipComponent1.Verbose = false;
    ZipComponent1.Trace = false;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kestrel Series - Turnmail manager"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFont(DialogFont("MS Sans Serif", 11, false));
    CreateControls();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
    OKBottomDlg = new OptionsDialog(this);
    OKBottomDlg1 = new GameSelectDialog(this);
    OKBottomDlg2 = new ModChoiceDialog(this);
}

void MainWindow::CreateControls()
{
    InstallFlatButtonAccessibility();
    Client = CreateSkinClient(this, QSize(638, 478), QStringLiteral(":/turnex/main.bmp"), &Image1);
    // Presses on the controls stay with them: only the picture and the border drag the window.
    Client->setAttribute(Qt::WA_NoMousePropagation);
    Dragger = new WindowDragger(this, Image1);
    new WindowDragger(this, this);

    auto label = [this](const char* name, int x, int y, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), Client);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(DialogFont("Verdana", 13, true));
        l->setAttribute(Qt::WA_TranslucentBackground);
        SetDialogColors(l, Qt::transparent, Qt::black);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    Label1 = label("Label1", 16, 86, "Turnmail games");
    Label2 = label("Label2", 264, 414, "Filename");
    Label3 = label("Label3", 264, 366, "Visibility");
    Label4 = label("Label4", 264, 318, "Length");
    Label5 = label("Label5", 264, 270, "Current turn");
    Label6 = label("Label6", 264, 222, "Playing side");
    Label7 = label("Label7", 264, 86, "User comments");

    auto button = [this](const char* name, int x, int y, const char* caption, const char* hint, QColor color) {
        auto* b = MakeFlatButton(Client, name, QRect(x, y, 97, 23), caption, color);
        b->SetHint(QString::fromLatin1(hint));
        return b;
    };
    FlatButton1 = button("FlatButton1", 496, 436, "Exit", "Exit", QColor(255, 0, 0));
    FlatButton2 = button("FlatButton2", 496, 332, "Options", "Options", QColor(0, 255, 255));
    FlatButton3 = button("FlatButton3", 496, 260, "Refresh", "Refresh", kWhite);
    FlatButton4 = button("FlatButton4", 496, 100, "Compress", "ZIP", kLime);
    FlatButton5 = button("FlatButton5", 496, 132, "Copy", "Copy", kWhite);
    FlatButton6 = button("FlatButton6", 496, 164, "Move", "Move", kWhite);
    FlatButton7 = button("FlatButton7", 496, 196, "Delete", "Delete", kWhite);
    FlatButton8 = button("FlatButton8", 496, 228, "Help", "Help", kWhite);
    FlatButton9 = button("FlatButton9", 496, 404, "Run Game", "Run selected game", QColor(255, 255, 0));
    FlatButton10 = button("FlatButton10", 496, 300, "Select Game", "Select KS game", QColor(0, 255, 255));
    FlatButton11 = button("FlatButton11", 496, 372, "Send mail", "Open new message with attachment", kLime);

    Label8 = new QLabel(Client);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setFont(DialogFont("Verdana", 17, true));
    Label8->setAttribute(Qt::WA_TranslucentBackground);
    SetDialogColors(Label8, Qt::transparent, Qt::black);
    Label8->move(245, 14);

    ListBox1 = new ListBox(Client);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setAccessibleName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(16, 120, 233, 337);
    QFont listFont = DialogFont("Verdana", 11, true);
    // Entries are drawn in exact colours (the extension rule), so no blended edge pixels.
    listFont.setStyleStrategy(QFont::NoAntialias);
    ListBox1->setFont(listFont);
    ListBox1->setFrameShape(QFrame::NoFrame);
    SetDialogColors(ListBox1, Qt::black, QColor(255, 255, 0));

    auto edit = [this](const char* name, int y) {
        auto* e = new QLineEdit(Client);
        e->setObjectName(QString::fromLatin1(name));
        e->setAccessibleName(QString::fromLatin1(name));
        e->setGeometry(264, y, 177, 21);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setFont(DialogFont("Verdana", 11, true));
        SetDialogColors(e, Qt::black, QColor(255, 255, 0));
        return e;
    };
    Edit1 = edit("Edit1", 436);

    TabSet1 = new TabStrip(Client);
    TabSet1->setObjectName(QStringLiteral("TabSet1"));
    TabSet1->setAccessibleName(QStringLiteral("TabSet1"));
    TabSet1->setFont(DialogFont("Verdana", 11, true));
    TabSet1->addTab(QStringLiteral("Battles"));
    TabSet1->addTab(QStringLiteral("Outcoming"));
    TabSet1->addTab(QStringLiteral("Incoming"));
    TabSet1->setGeometry(17, 103, 230, 17);
    TabSet1->setCurrentIndex(0);

    Edit2 = edit("Edit2", 388);
    Edit3 = edit("Edit3", 340);
    Edit4 = edit("Edit4", 292);
    Edit5 = edit("Edit5", 244);

    Memo1 = new NotesEdit(Client);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Memo1"));
    Memo1->setGeometry(264, 104, 177, 113);
    Memo1->setFont(DialogFont("Verdana", 11, false));
    Memo1->setFrameShape(QFrame::NoFrame);
    SetDialogColors(Memo1, Qt::black, Qt::white);

    Bind(FlatButton1, &MainWindow::Button1Click);
    Bind(FlatButton2, &MainWindow::FlatButton2Click);
    Bind(FlatButton3, &MainWindow::FlatButton3Click);
    Bind(FlatButton4, &MainWindow::FlatButton4Click);
    Bind(FlatButton5, &MainWindow::FlatButton5Click);
    Bind(FlatButton6, &MainWindow::FlatButton6Click);
    Bind(FlatButton7, &MainWindow::FlatButton7Click);
    Bind(FlatButton8, &MainWindow::FlatButton8Click);
    Bind(FlatButton9, &MainWindow::FlatButton9Click);
    Bind(FlatButton10, &MainWindow::FlatButton10Click);
    Bind(FlatButton11, &MainWindow::FlatButton11Click);
    Memo1->OnExit = [this] { Guarded([this] { Memo1Exit(); }); };
    connect(ListBox1, &ListBox::Click, this, [this] { Guarded([this] { ListBox1Click(); }); });
    ListBox1->OnDrawItem = [this](QPainter* p, int index, const QRect& r, bool selected) {
        ListBox1DrawItem(p, index, r, selected);
    };
    TabSet1->OnChange = [this](int newTab) {
        LeaveMemo();
        bool changed = false;
        Guarded([&] { changed = TabSet1Change(newTab); });
        return changed;
    };
}

void MainWindow::Bind(FlatButton* button, void (MainWindow::*handler)())
{
    button->OnClick = [this, handler](FlatButton*) {
        LeaveMemo();
        Guarded([this, handler] { (this->*handler)(); });
    };
}

void MainWindow::LeaveMemo()
{
    // Flat buttons and tabs take no focus, so a note being typed would otherwise be saved only
    // after the handler had changed the Filename field.
    if (Memo1->hasFocus())
        Memo1->clearFocus();
}

void MainWindow::paintEvent(QPaintEvent*) { PaintOutline(this); }

// ---- start-up ----

void MainWindow::FormCreate()
{
    FileNames.clear();
    // An error skips the remaining steps; the window opens all the same.
    Guarded([this] {
        app::LoadConfiguration(Config, base::RegistryHive::CurrentUser());
        Config.CurrentGame = app::FindCurrentGame(Config);
        Config.GameDir = Config.Current().GameDir();
        Label8->setText(QString::fromLatin1(app::GameNames[Config.CurrentGame]));
        Label8->adjustSize();
        FillBattleList();
    });
}

void MainWindow::Button1Click()
{
    // Nothing is saved on the way out.
    close();
    QApplication::quit();
}

void MainWindow::FlatButton8Click()
{
    base::TheDesktop().ShowHelp(base::ExecutableDirectory() + "/help/index.html");
}

// ---- catalogue ----

int MainWindow::CurrentTab() const { return ListBox1->Tag; }
void MainWindow::SetCurrentTab(int tab) { ListBox1->Tag = tab; }

void MainWindow::FillBattleList()
{
    FileNames.clear();
    ListBox1->ClearItems();
    std::vector<std::string> titles;
    auto show = [&] {
        QStringList items;
        items.reserve(static_cast<qsizetype>(titles.size()));
        for (const auto& t : titles)
            items << AnsiToQString(t);
        ListBox1->SetItems(items);
    };
    try {
        app::CollectBattles(Config.GameDir, FileNames, titles);
    } catch (...) {
        show();  // the entries read before the failing file stay, none selected
        throw;
    }
    show();
    if (ListBox1->count() > 0)
        ListBox1->SelectSilently(0);
}

void MainWindow::FillArchiveList(const std::string& directory)
{
    ListBox1->ClearItems();
    QStringList items;
    QList<QByteArray> names;
    for (const auto& name : app::ListArchives(directory)) {
        items << DisplayString(name);
        names << QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    }
    ListBox1->SetItems(items, names);
}

void MainWindow::FillListForTab(int tab)
{
    switch (tab) {
    case 0: FillBattleList(); break;
    case 1: FillArchiveList(Config.Current().OutgoingDir()); break;
    case 2: FillArchiveList(Config.Current().IncomingDir()); break;
    default: break;
    }
}

void MainWindow::RefillList() { FillListForTab(CurrentTab()); }

bool MainWindow::TabSet1Change(int newTab)
{
    FillListForTab(newTab);
    const bool battles = newTab == 0;
    SetCurrentTab(newTab);
    if (!battles) {
        ClearDetails();
        if (newTab == 2) {
            FlatButton4->SetCaption(QStringLiteral("Decompress"));
            FlatButton4->SetEnabled(true);
            FlatButton4->SetFontColor(kLime);
        } else {
            FlatButton4->SetEnabled(false);
            FlatButton4->SetFontColor(kGrey);
        }
        for (FlatButton* b : {FlatButton5, FlatButton6}) {
            b->SetEnabled(false);
            b->SetFontColor(kGrey);
            b->setCursor(Qt::ArrowCursor);
        }
        Label3->setText(QStringLiteral("Filesize"));
        Label2->setText(QStringLiteral("Filedate"));
    } else {
        FlatButton4->SetCaption(QStringLiteral("Compress"));
        FlatButton4->SetEnabled(true);
        FlatButton4->SetFontColor(kLime);
        for (FlatButton* b : {FlatButton5, FlatButton6}) {
            b->SetEnabled(true);
            b->SetFontColor(kWhite);
            b->setCursor(Qt::PointingHandCursor);
        }
        Label3->setText(QStringLiteral("Visibility"));
        Label2->setText(QStringLiteral("Filename"));
    }
    Label2->adjustSize();
    Label3->adjustSize();
    for (QWidget* w : std::initializer_list<QWidget*> {Edit4, Edit5, Edit3, Label4, Label5, Label6, Memo1, Label7})
        w->setVisible(battles);
    if (battles) {
        // The list and the panel already belong to "Battles": a battle file that cannot be read
        // is reported, but the strip must not stay on a tab whose list is no longer shown.
        Guarded([this] { ListBox1Click(); });
    }
    return true;
}

void MainWindow::FlatButton3Click()
{
    FillListForTab(TabSet1->currentIndex());
    ClearDetails();
}

void MainWindow::ClearDetails()
{
    for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4, Edit5})
        e->clear();
    Memo1->clear();
}

void MainWindow::ListBox1Click()
{
    const int index = ListBox1->ItemIndex();
    switch (CurrentTab()) {
    case 0: {
        if (index < 0)
            return;
        Memo1->clear();
        const std::string name = index < static_cast<int>(FileNames.size()) ? FileNames[static_cast<size_t>(index)] : std::string();
        SetEditBytes(Edit1, name);
        app::BattleDetailsSink sink;
        sink.Side = [this](const std::string& v) { Edit5->setText(AnsiToQString(v)); };
        sink.CurrentTurn = [this](const std::string& v) { Edit4->setText(AnsiToQString(v)); };
        sink.Length = [this](const std::string& v) { Edit3->setText(AnsiToQString(v)); };
        sink.Visibility = [this](const std::string& v) { Edit2->setText(AnsiToQString(v)); };
        app::ReadBattleDetails(Config.GameDir + "\\" + name, sink);
        if (auto comment = app::FindComment(FilenameField())) {
            QString text = AnsiToQString(*comment);
            Memo1->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        }
        break;
    }
    case 1: ShowArchiveDetails(app::ArchiveDir::Outgoing); break;
    case 2: ShowArchiveDetails(app::ArchiveDir::Incoming); break;
    default: break;
    }
}

void MainWindow::ShowArchiveDetails(app::ArchiveDir which)
{
    app::EnsureTrailingBackslash(Config, which);
    const std::string dir = Config.Current().ArchiveDirectory(which);
    QListWidgetItem* item = ListBox1->currentItem();
    if (!item)
        return;
    // The entry shows the name; its data keeps the bytes the directory search returned.
    const QByteArray raw = item->data(Qt::UserRole).toByteArray();
    const std::string name(raw.constData(), static_cast<size_t>(raw.size()));
    const std::string path = dir + name;
    const app::DosDateTime d = app::DecodeDosDateTime(base::FileAge(path));
    base::FileStream file(path, base::FileStream::OpenRead);
    const int64_t size = file.Size();
    file.Close();
    const QLocale locale;
    const QDateTime when(QDate(d.Year, d.Month, d.Day), QTime(d.Hour, d.Minute, d.Second));
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0, 0)) {
        // The long time format without the zone name that Qt adds to it.
        QString format = locale.timeFormat(QLocale::LongFormat).remove(QLatin1Char('t')).trimmed();
        text += QLatin1Char(' ') + locale.toString(when.time(), format);
    }
    Edit1->setText(text);
    const QString point = locale.decimalPoint();
    Edit2->setText(QString::fromStdString(app::FormatKilobytes(size, point.isEmpty() ? '.' : point.at(0).toLatin1())));
}

void MainWindow::ListBox1DrawItem(QPainter* canvas, int index, const QRect& rect, bool)
{
    canvas->fillRect(rect, canvas->brush());
    const QString text = ListBox1->item(index) ? ListBox1->item(index)->text() : QString();
    const QString tail = text.right(3).toLower();
    QColor color = kWhite;
    if (tail == QLatin1String("zip"))
        color = QColor(255, 255, 0);
    else if (tail == QLatin1String("rar"))
        color = QColor(255, 255, 128);
    else if (tail == QLatin1String("ace"))
        color = QColor(255, 255, 191);
    canvas->setPen(color);
    canvas->drawText(rect.left() + 2, rect.top() + canvas->fontMetrics().ascent(), text);
}

std::string MainWindow::FilenameField() const { return EditBytes(Edit1); }

void MainWindow::Memo1Exit()
{
    // Lines are stored with CR LF; characters Windows-1252 cannot hold become "?".
    QString text = Memo1->toPlainText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    app::SaveComment(FilenameField(), ui::QStringToAnsi(text));
}

// ---- game selection and launching ----

void MainWindow::FlatButton10Click()
{
    OKBottomDlg1->RadioGroup1->SetItemIndex(Config.CurrentGame);
    Config.Current().SetSelected(0);
    if (OKBottomDlg1->ShowModal() == 1) {
        Config.CurrentGame = static_cast<uint8_t>(std::clamp(OKBottomDlg1->RadioGroup1->ItemIndex(), 0, 2));
        Config.Current().SetSelected(1);
        // A failed write leaves the new game flagged in memory while the window still shows the old one.
        app::SaveConfiguration(Config);
        Config.GameDir = Config.Current().GameDir();
        Label8->setText(QString::fromLatin1(app::GameNames[Config.CurrentGame]));
        Label8->adjustSize();
        RefillList();
        ClearDetails();
    }
    Config.Current().SetSelected(1);
}

void MainWindow::FlatButton9Click()
{
    std::string path;
    switch (Config.CurrentGame) {
    case 0: {
        const std::string dir = Config.Profile(0).GameDir();
        std::string exe = "\\iron plain.exe";
        if (base::FileExists(dir + "\\iron plain#.exe") && OKBottomDlg2->ShowModal() != 1)
            exe = "\\iron plain#.exe";
        path = dir + exe;
        break;
    }
    case 1: path = Config.Profile(1).GameDir() + "\\grey coast.exe"; break;
    default: path = Config.Profile(2).GameDir() + "\\jade tide.exe"; break;
    }
    // The game runs on its own; its start is neither awaited nor checked.
    base::TheDesktop().StartProgram(path, Config.GameDir);
}

// ---- options ----

void MainWindow::FlatButton2Click()
{
    app::GameProfile profile = Config.Current();
    SetEditBytes(OKBottomDlg->Edit1, profile.OutgoingDir());
    SetEditBytes(OKBottomDlg->Edit2, profile.IncomingDir());
    SetEditBytes(OKBottomDlg->Edit3, profile.GameDir());
    OKBottomDlg->RadioGroup1->SetItemIndex(std::min<int>(profile.ZipOverwrite(), 2));
    OKBottomDlg->Label1->setText(QString::fromLatin1(app::GameNames[Config.CurrentGame]) + QStringLiteral(" - Options"));
    if (OKBottomDlg->ShowModal() != 1)
        return;
    profile.SetOutgoingDir(EditBytes(OKBottomDlg->Edit1));
    profile.SetIncomingDir(EditBytes(OKBottomDlg->Edit2));
    profile.SetGameDir(EditBytes(OKBottomDlg->Edit3));
    Config.GameDir = profile.GameDir();
    profile.SetZipOverwrite(static_cast<uint8_t>(std::max(OKBottomDlg->RadioGroup1->ItemIndex(), 0)));
    app::SaveConfiguration(Config);
    // The details panel keeps what it showed.
    RefillList();
}

// ---- copy, move, delete ----

std::string MainWindow::SelectedName(int tab) const
{
    const int index = ListBox1->ItemIndex();
    if (tab == 0)
        return index >= 0 && index < static_cast<int>(FileNames.size()) ? FileNames[static_cast<size_t>(index)] : std::string();
    const QListWidgetItem* item = ListBox1->currentItem();
    const QByteArray raw = item ? item->data(Qt::UserRole).toByteArray() : QByteArray();
    return std::string(raw.constData(), static_cast<size_t>(raw.size()));
}

void MainWindow::FlatButton5Click()
{
    if (ListBox1->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select a game!");
        return;
    }
    const auto folder = base::TheDesktop().BrowseForFolder("COPY - Select destination: ");
    if (!folder)
        return;
    const std::string name = SelectedName(0);
    // Overwrites a file of the same name; the result is not reported.
    base::CopyFileOverwrite(Config.GameDir + "\\" + name, *folder + "\\" + name);
}

void MainWindow::FlatButton6Click()
{
    if (ListBox1->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select a game!");
        return;
    }
    const auto folder = base::TheDesktop().BrowseForFolder("MOVE - Select destination: ");
    if (folder) {
        const std::string name = SelectedName(0);
        // Never overwrites; the rebuilt list shows whether the battle went.
        base::MoveFileNoReplace(Config.GameDir + "\\" + name, *folder + "\\" + name);
    }
    FillBattleList();
    ClearDetails();
}

void MainWindow::FlatButton7Click()
{
    if (ListBox1->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select a file!");
        return;
    }
    const int tab = TabSet1->currentIndex();
    const std::string name = SelectedName(tab);
    std::string dir = Config.GameDir;
    if (tab == 1)
        dir = Config.Current().OutgoingDir();
    else if (tab == 2)
        dir = Config.Current().IncomingDir();
    const std::string path = dir + "\\" + name;
    const bool yes = base::TheDesktop().MessageBox("You want delete file " + name + "! Are you sure?", "Delete file",
                                                       base::MB_YESNO) == base::IDYES;
    if (tab == 0) {
        if (yes) {
            base::DeleteFile(path);
            // The note goes with the file, and only when the file is really gone. A store that
            // does not exist holds no note to remove.
            if (!base::FileExists(path) && base::FileExists(app::CommentFilePath()))
                app::RemoveComments(name);
        }
        FillBattleList();
        ClearDetails();
    } else {
        if (yes)
            base::DeleteFile(path);
        FillArchiveList(dir);
    }
}

// ---- mail ----

void MainWindow::FlatButton11Click()
{
    const int index = ListBox1->ItemIndex();
    if (index < 0) {
        base::TheDesktop().ShowMessage("Select file!");
        return;
    }
    const int tab = TabSet1->currentIndex();
    std::string path;
    std::string subject;
    if (tab == 0) {
        path = Config.GameDir + "\\" + SelectedName(0);
        subject = ui::QStringToAnsi(ListBox1->item(index)->text());  // the battle's title
    } else {
        const app::ArchiveDir which = tab == 1 ? app::ArchiveDir::Outgoing : app::ArchiveDir::Incoming;
        app::EnsureTrailingBackslash(Config, which);
        subject = SelectedName(tab);
        path = Config.Current().ArchiveDirectory(which) + subject;
    }
    mail::MailParams params;
    params.Add("subject=" + subject);
    params.Add("attachment0=" + path);
    params.Add("body=Mail from Turnmail Manager\r\nGood Luck");
    mail::SendMailMessage(params);
}

// ---- compress and decompress ----

void MainWindow::FlatButton4Click()
{
    if (ListBox1->ItemIndex() < 0) {
        base::TheDesktop().ShowMessage("Select file!");
        return;
    }
    if (FlatButton4->Caption() == QLatin1String("Compress"))
        Compress();
    else
        Decompress();
}

void MainWindow::Compress()
{
    const std::string name = SelectedName(0);
    const std::string archiveName = (name.size() > 4 ? name.substr(0, name.size() - 4) : name) + ".zip";
    app::EnsureTrailingBackslash(Config, app::ArchiveDir::Outgoing);
    ZipComponent1.SetZipFileName(Config.Current().OutgoingDir() + archiveName);
    const std::string battle = Config.GameDir + "\\" + name;

    // The name prompt: Cancel ends everything silently; OK takes the text as it stands.
    auto askName = [this] {
        std::string path = ZipComponent1.GetZipFileName();
        if (!base::TheDesktop().InputQuery("Select a name", "File exists,change name or click OK for overwrite.",
                                               path, 255))
            return false;
        ZipComponent1.SetZipFileName(path);
        return true;
    };
    switch (Config.Current().ZipOverwrite()) {
    case 0: break;
    case 1:
        // Packed MS-DOS local times, compared as signed values; a file that cannot be read gives -1.
        if (base::FileExists(ZipComponent1.GetZipFileName()) &&
            base::FileAge(ZipComponent1.GetZipFileName()) > base::FileAge(battle) && !askName())
            return;
        break;
    case 2:
        if (base::FileExists(ZipComponent1.GetZipFileName()) && !askName())
            return;
        break;
    default: return;
    }
    ZipComponent1.FSpecArgs.clear();
    ZipComponent1.FSpecArgs.push_back(battle);
    ZipComponent1.Add();
    // The component has already said why when nothing was packed.
    if (ZipComponent1.SuccessCount > 0)
        base::TheDesktop().ShowMessage("File successfully zipped!");
}

void MainWindow::Decompress()
{
    const std::string name = SelectedName(2);
    app::EnsureTrailingBackslash(Config, app::ArchiveDir::Incoming);
    const std::string path = Config.Current().IncomingDir() + name;
    std::string kind = name.size() > 3 ? name.substr(name.size() - 3) : name;
    for (char& c : kind)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (kind == "ace") {
        archive::ExtractAceArchive(path, Config.GameDir);
    } else if (kind == "rar") {
        archive::ExtractRarArchive(path, Config.GameDir);
    } else if (kind == "zip") {
        ZipComponent1.SetZipFileName(path);
        ZipComponent1.ExtrBaseDir = Config.GameDir;
        ZipComponent1.FSpecArgs.clear();
        ZipComponent1.Extract();
        if (ZipComponent1.SuccessCount > 0)
            base::TheDesktop().ShowMessage("File(s) extracted succesfully(unzip) !");
    }
}
