#include "ui/QtDesktop.h"

#include "base/CodePage.h"
#include "ui/QtText.h"
#include "ui/PasswordDialog.h"
#include "base/Paths.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTextBrowser>
#include <QUrl>

namespace ui {

using namespace base;  // the message box flags and results, the application title, NativePath

namespace {

QWidget* ActiveWindow() { return QApplication::activeWindow(); }

QString Title() { return QString::fromLatin1(kApplicationTitle); }

}  // namespace

void QtDesktop::ShowMessage(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, Title(), DisplayString(text), QMessageBox::Ok, ActiveWindow());
    box.exec();
}

int QtDesktop::MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONSTOP: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if ((flags & 0x0F) == MB_YESNO)
        buttons = QMessageBox::Yes | QMessageBox::No;
    else if ((flags & 0x0F) == MB_OKCANCEL)
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
    QMessageBox box(icon, DisplayString(caption), DisplayString(text), buttons, ActiveWindow());
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return (flags & 0x0F) == MB_YESNO ? IDNO : ((flags & 0x0F) == MB_OKCANCEL ? IDCANCEL : IDOK);
    }
}

bool QtDesktop::InputQuery(const std::string& caption, const std::string& prompt, std::string& value, int maxLength)
{
    QInputDialog dialog(ActiveWindow());
    dialog.setWindowTitle(DisplayString(caption));
    dialog.setLabelText(DisplayString(prompt));
    dialog.setTextValue(DisplayString(value));
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        if (maxLength > 0)
            edit->setMaxLength(maxLength);
        edit->selectAll();
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QString answer = dialog.textValue();
    value = answer.toStdString();
    return true;
}

std::optional<std::string> QtDesktop::BrowseForFolder(const std::string& title) { return BrowseForFolderAt(title, {}); }

QString QtDesktop::BrowseStartFolder(const std::string& folder)
{
    if (!folder.empty()) {
        // Past the Wine prefix's drive links: the player sees where the folder really is.
        const QFileInfo start(QString::fromStdString(NativePath(folder)));
        if (start.isDir())
            return start.canonicalFilePath();
    }
    return QDir::homePath();
}

std::optional<std::string> QtDesktop::BrowseForFolderAt(const std::string& title, const std::string& startFolder)
{
    // Not the program's working folder: where the folder is now, or home.
    QFileDialog dialog(ActiveWindow(), DisplayString(title), BrowseStartFolder(startFolder));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Every other window of the program waits while a folder is chosen.
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    std::string path = dialog.selectedFiles().first().toStdString();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void QtDesktop::ShowHelp(const std::string& helpFile)
{
    QString file = QString::fromStdString(helpFile);
    if (!QFileInfo(file).isFile()) {
        QMessageBox box(QMessageBox::Warning, Title(), QStringLiteral("Cannot find the help file %1.").arg(file),
                        QMessageBox::Ok, ActiveWindow());
        box.exec();
        return;
    }
    if (!help_) {
        help_ = new QTextBrowser;
        help_->setAttribute(Qt::WA_DeleteOnClose);
        help_->setObjectName(QStringLiteral("helpViewer"));
        help_->setOpenExternalLinks(true);
        help_->resize(720, 560);
    }
    help_->setWindowTitle(QStringLiteral("turnex help"));
    help_->setSource(QUrl::fromLocalFile(file));
    help_->show();
    help_->raise();
    help_->activateWindow();
}

QWidget* QtDesktop::HelpWindow() const { return help_; }

std::string QtDesktop::StartProgram(const std::string& file, const std::string& workDir)
{
    const std::string native = NativePath(file);
    QString path = QString::fromStdString(native);
    QString dir = QString::fromStdString(NativePath(workDir));
    const bool windowsProgram = path.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive);
    const QString starter = windowsProgram ? QStringLiteral("wine") : QStringLiteral("xdg-open");
    if (QStandardPaths::findExecutable(starter).isEmpty()) {
        if (windowsProgram)
            return "Wine is not installed, and the game needs it to run. Install it (on Debian or Ubuntu: "
                   "sudo apt install wine) and try again";
        return "xdg-open (package xdg-utils) is not installed, so " + native + " cannot be opened";
    }
    if (!QProcess::startDetached(starter, {path}, dir))
        return "The game could not be started: " + starter.toStdString() + " did not run " + native;
    return {};
}

void QtDesktop::ShowError(const std::string& text)
{
    QMessageBox box(QMessageBox::Critical, Title(), DisplayString(text), QMessageBox::Ok, ActiveWindow());
    box.exec();
}

void QtDesktop::LetEventsThrough() { QCoreApplication::processEvents(); }

void QtDesktop::SetBusyCursor(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtDesktop::EnableWindows(bool enabled)
{
    if (enabled) {
        for (const auto& window : disabledWindows_)
            if (window)
                window->setEnabled(true);
        disabledWindows_.clear();
        return;
    }
    // A window that was disabled already stays so afterwards.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isEnabled()) {
            window->setEnabled(false);
            disabledWindows_.append(window);
        }
    }
}

bool QtDesktop::PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
    PasswordDialog dialog(ActiveWindow());
    dialog.setWindowTitle(DisplayString(caption));
    dialog.promptLabel->setText(DisplayString(prompt));
    dialog.exec();
    value = dialog.okClicked ? QStringToAnsi(dialog.passwordEdit->text()) : std::string();
    return dialog.okClicked;
}

}  // namespace ui
