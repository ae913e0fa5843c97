#include "app/Application.h"

#include "platform/Desktop.h"

#include <QFont>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("turnex"));
    setApplicationDisplayName(QString::fromLatin1(platform::kApplicationTitle));
    InstallFontSubstitutes();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    platform::Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void InstallFontSubstitutes()
{
    // Metric-close free fonts, so text fits the fixed control sizes.
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}
