#include "ui/Application.h"

#include "base/Desktop.h"

#include <QFont>

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("turnex"));
    setApplicationDisplayName(QString::fromLatin1(base::kApplicationTitle));
    InstallFontSubstitutes();
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    base::Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void InstallFontSubstitutes()
{
    // Metric-close free fonts, so text fits the fixed control sizes.
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}
