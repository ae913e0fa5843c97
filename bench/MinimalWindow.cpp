// The peer of the start benchmark: the least a Qt Widgets program does to show a window. It ends
// the way the program does under TURNEX_EXIT_ON_EXPOSE, once its window is exposed and painted.
// With --text the window shows one line of text too: the floor of any window that shows text,
// since text is what sets up the fonts. With --look it shows what the program's main window shows,
// built from the toolkit's own widgets with the same fonts and nothing read from disk: a 640 x 480
// picture, seven labels, five fields, a note, a list of 50 entries, three tabs and eleven buttons.
// That is the floor of the window's look, whatever the program does behind it.
#include "ui/ExitOnFirstExpose.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QWidget>

namespace {

void BuildLook(QWidget& window)
{
    window.setWindowFlags(Qt::FramelessWindowHint);
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QPixmap picture(640, 480);
    picture.fill(QColor(90, 100, 80));
    auto* background = new QLabel(&window);
    background->setPixmap(picture);
    background->setGeometry(0, 0, 640, 480);
    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setPixelSize(12);
    labelFont.setBold(true);
    const char* labels[] = {"Turnmail games", "Filename",     "Visibility",   "Length",
                            "Current turn",   "Playing side", "User comments"};
    int y = 86;
    for (const char* text : labels) {
        auto* label = new QLabel(QString::fromLatin1(text), &window);
        label->setFont(labelFont);
        label->move(264, y += 40);
    }
    for (int i = 0; i < 5; ++i)
        (new QLineEdit(QStringLiteral("field"), &window))->setGeometry(264, 230 + 48 * i, 200, 21);
    (new QPlainTextEdit(&window))->setGeometry(264, 102, 200, 100);
    QFont listFont(QStringLiteral("Verdana"));
    listFont.setPixelSize(11);
    listFont.setBold(true);
    auto* list = new QListWidget(&window);
    list->setFont(listFont);
    list->setGeometry(16, 130, 225, 300);
    for (int i = 0; i < 50; ++i)
        list->addItem(QStringLiteral("Battle %1").arg(i));
    auto* tabs = new QTabBar(&window);
    for (const char* tab : {"Battles", "Outcoming", "Incoming"})
        tabs->addTab(QString::fromLatin1(tab));
    tabs->move(16, 104);
    QFont buttonFont(QStringLiteral("Arial"));
    buttonFont.setPointSize(8);
    buttonFont.setBold(true);
    for (int i = 0; i < 11; ++i) {
        auto* button = new QPushButton(QStringLiteral("Button %1").arg(i), &window);
        button->setFont(buttonFont);
        button->setFlat(true);
        button->setGeometry(496, 36 + 36 * i, 97, 23);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(640, 480);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--text")
        (new QLabel(QStringLiteral("Battles"), &window))->move(10, 10);
    else if (mode == "--look")
        BuildLook(window);
    ExitOnFirstExpose exitOnExpose(&window);
    application.installEventFilter(&exitOnExpose);
    window.show();
    return application.exec();
}
