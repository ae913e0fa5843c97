// The main window's lists following their folders, and received archives dropped on the window.
#include "ui/MainWindow.h"

#include "app/BattleFile.h"
#include "base/Desktop.h"
#include "base/Paths.h"
#include "ops/FolderSnapshot.h"
#include "ops/ReceiveArchive.h"
#include "ui/FolderWatch.h"
#include "ui/ListBox.h"
#include "ui/NotesEdit.h"
#include "ui/QtText.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

bool CarriesLocalFile(const QMimeData* mime)
{
    const QList<QUrl> urls = mime->hasUrls() ? mime->urls() : QList<QUrl>();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// Files dropped on the notes go to the window (and into the incoming folder), not into the note as
// their path: the drag is left unaccepted here, so it travels on to the window.
class FileDropsToWindow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (CarriesLocalFile(static_cast<QDropEvent*>(event)->mimeData())) {
                event->ignore();
                return true;
            }
            break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }
};

// A file manager offers Move as well; the dropped file must stay where it was.
void AcceptAsCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

}  // namespace

void MainWindow::SetUpLiveLists()
{
    folderWatch = new FolderWatch(this);
    // The watches are set right after the first paint (paintEvent): the list shows what its fill
    // read without them, and a change made meanwhile is reported when they are set.
    folderWatch->Defer();
    connect(folderWatch, &FolderWatch::Changed, this,
            [this](const std::vector<std::string>& names) { onShownFolderChanged(names); });
    setAcceptDrops(true);
    notesEdit->viewport()->installEventFilter(new FileDropsToWindow(notesEdit));
}

void MainWindow::FollowFolder(const std::string& folder, const std::vector<std::string>& patterns)
{
    // Resolved as the fills resolve it, so the folder watched is the folder listed.
    folderWatch->Follow(base::NativePath(folder + "\\"), patterns);
}

void MainWindow::FollowFolder(const std::string& folder, const std::vector<std::string>& patterns,
                              ops::FolderSnapshot listed)
{
    folderWatch->Follow(base::NativePath(folder + "\\"), patterns, std::move(listed));
}

int MainWindow::RowOf(Tab tab, const std::string& name) const
{
    if (name.empty())
        return -1;
    if (tab == Tab::Battles) {
        // A fill that failed half way holds one name more than the list shows.
        const auto row = std::find(battleFileNames.begin(), battleFileNames.end(), name) - battleFileNames.begin();
        return row < catalogueList->count() ? static_cast<int>(row) : -1;
    }
    const QByteArray raw(name.data(), static_cast<qsizetype>(name.size()));
    for (int row = 0; row < catalogueList->count(); ++row)
        if (catalogueList->item(row)->data(Qt::UserRole).toByteArray() == raw)
            return row;
    return -1;
}

void MainWindow::onShownFolderChanged(const std::vector<std::string>& changedNames)
{
    // A refill under an open dialog would change the list an operation is working from.
    if (QApplication::activeModalWidget()) {
        folderWatch->Postpone(changedNames);
        return;
    }
    try {
        RefillFollowingFolder(changedNames);
        folderWatch->Refilled();
    } catch (const std::exception& e) {
        if (folderWatch->ShouldTell(e.what(), changedNames))
            base::ReportException(e);
    }
}

void MainWindow::RefillFollowingFolder(const std::vector<std::string>& changedNames)
{
    const Tab tab = CurrentTab();
    const bool battles = tab == Tab::Battles;
    const std::string selected = catalogueList->ItemIndex() >= 0 ? SelectedName(tab) : std::string();
    // The panel shows the battle of the filename field (the note belongs to it); on the archive
    // tabs it shows the selected archive, once one was clicked.
    const std::string shown = battles ? FilenameField() : (filenameEdit->text().isEmpty() ? std::string() : selected);
    const int scrolled = catalogueList->verticalScrollBar()->value();

    FillListForTab(tab);
    catalogueList->SelectSilently(RowOf(tab, selected));
    catalogueList->verticalScrollBar()->setValue(scrolled);

    if (shown.empty())
        return;
    if (RowOf(tab, shown) < 0) {
        // A note being typed stays, and is saved to the battle it was typed for.
        const bool noteInUse = notesEdit->hasFocus() || focusWidget() == notesEdit;
        if (!(battles && noteInUse))
            ClearDetails();
        return;
    }
    if (!std::binary_search(changedNames.begin(), changedNames.end(), shown))
        return;
    if (!battles) {
        ShowArchiveDetails(*ops::ArchiveDirOf(tab));
        return;
    }
    // The file's fields only: the note is kept by name, and may be being typed.
    app::BattleDetailsSink sink;
    sink.Side = [this](const std::string& value) { sideEdit->setText(ui::AnsiToQString(value)); };
    sink.CurrentTurn = [this](const std::string& value) { turnEdit->setText(ui::AnsiToQString(value)); };
    sink.Length = [this](const std::string& value) { lengthEdit->setText(ui::AnsiToQString(value)); };
    sink.Visibility = [this](const std::string& value) { visibilityEdit->setText(ui::AnsiToQString(value)); };
    app::ReadBattleDetails(ops::JoinPath(config.GameDir, shown), sink);
}

// ---- drops ----

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // Anything with addresses is taken; what cannot be received is told on the drop.
    if (event->mimeData()->hasUrls())
        AcceptAsCopy(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        AcceptAsCopy(event);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    std::vector<ops::DroppedFile> dropped;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString local = url.isLocalFile() ? url.toLocalFile() : QString();
        if (!local.isEmpty())
            dropped.push_back({QFile::encodeName(local).toStdString(), {}});
        else
            dropped.push_back({{}, url.toDisplayString().toStdString()});
    }
    AcceptAsCopy(event);
    // The drag's source waits until this event returns: the copy and its questions come right after.
    QTimer::singleShot(0, this, [this, dropped] { base::Guarded([&] { ReceiveDroppedFiles(dropped); }); });
}

void MainWindow::ReceiveDroppedFiles(const std::vector<ops::DroppedFile>& dropped)
{
    LeaveNotes();
    const ops::ReceiveOutcome outcome = ops::ReceiveArchives(config, dropped, base::TheDesktop());
    if (!outcome.received.empty()) {
        // What came is shown on "Incoming", the first of it selected with its details.
        base::Guarded([&] {
            if (StripTab() != Tab::Incoming)
                catalogueTabs->ClickTab(static_cast<int>(Tab::Incoming));
            else
                FillListForTab(Tab::Incoming);
            const int row = CurrentTab() == Tab::Incoming ? RowOf(Tab::Incoming, outcome.received.front()) : -1;
            if (row < 0)
                return;
            catalogueList->SelectSilently(row);
            catalogueList->scrollToItem(catalogueList->item(row));
            onEntryClicked();
        });
    }
    if (outcome.notReceived.empty())
        return;
    if (outcome.failed)
        base::TheDesktop().ShowError(outcome.notReceived);
    else
        base::TheDesktop().ShowMessage(outcome.notReceived);
}
