// The main window as assistive technology and the keyboard reach it: accessible names as a
// sighted user reads them, a shortcut for every button, and the buttons whose handlers open a
// modal dialog run from the event loop right after their press.
#include "ui/MainWindow.h"
#include "ui/OperationRunner.h"

#include "base/Desktop.h"
#include "ui/FieldLabels.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/NotesEdit.h"
#include "ui/TabStrip.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>

namespace {

// A plain widget is announced as a filler; this one is the program's window.
QAccessibleInterface* MainWindowFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("MainWindow") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

}  // namespace

void MainWindow::BindDeferredButton(FlatButton* button, void (MainWindow::*handler)())
{
    button->OnClick = [this, handler](FlatButton*) {
        if (dialogPressPending_)
            return;
        dialogPressPending_ = true;
        // Queued, so the press (an accessibility call waiting for its answer) returns first.
        QMetaObject::invokeMethod(
            this,
            [this, handler] {
                // A Compress or Decompress that started before this turn came owns the window.
                if (!operationRunner || !operationRunner->Running()) {
                    LeaveNotes();
                    base::Guarded([this, handler] { (this->*handler)(); });
                }
                dialogPressPending_ = false;
            },
            Qt::QueuedConnection);
    };
}

void MainWindow::NameControls()
{
    static const bool factoryInstalled = (QAccessible::installFactory(MainWindowFactory), true);
    (void)factoryInstalled;
    TieLabel(filenameLabel, filenameEdit);
    TieLabel(visibilityLabel, visibilityEdit);
    TieLabel(lengthLabel, lengthEdit);
    TieLabel(turnLabel, turnEdit);
    TieLabel(sideLabel, sideEdit);
    TieLabel(notesLabel, notesEdit);
    // The list is named by the heading above it and the tab it shows; the tabs are named by the
    // one shown, as the toolkit does.
    listTitleLabel->setBuddy(catalogueList);
    NameCatalogueList();
}

void MainWindow::NameCatalogueList()
{
    catalogueList->setAccessibleName(listTitleLabel->text() + QStringLiteral(": ") +
                                     catalogueTabs->tabText(static_cast<int>(CurrentTab())));
}

void MainWindow::AssignShortcuts()
{
    const auto alt = [](Qt::Key key) { return QKeySequence(Qt::ALT | key); };
    compressButton->SetShortcuts({alt(Qt::Key_C)});  // Compress and Decompress alike
    copyButton->SetShortcuts({alt(Qt::Key_P)});
    moveButton->SetShortcuts({alt(Qt::Key_M)});
    // While the note has the focus it takes Delete for itself and deletes a character; Alt+D
    // deletes the file from anywhere.
    deleteButton->SetShortcuts({QKeySequence(Qt::Key_Delete), alt(Qt::Key_D)});
    helpButton->SetShortcuts({QKeySequence(Qt::Key_F1), alt(Qt::Key_H)});
    refreshButton->SetShortcuts({QKeySequence(Qt::Key_F5), alt(Qt::Key_R)});
    selectGameButton->SetShortcuts({alt(Qt::Key_S)});
    optionsButton->SetShortcuts({alt(Qt::Key_O)});
    sendMailButton->SetShortcuts({alt(Qt::Key_N)});
    runGameButton->SetShortcuts({alt(Qt::Key_G)});
    exitButton->SetShortcuts({alt(Qt::Key_X)});
}
