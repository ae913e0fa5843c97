// The peer of the start benchmark: the least a Qt Widgets program does to show a window. It ends
// the way the program does under TURNEX_EXIT_ON_EXPOSE, once its window is exposed and painted.
// With --text the window shows one line of text too: the floor of any window that shows text,
// since text is what sets up the fonts.
#include "ui/ExitOnFirstExpose.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(640, 480);
    if (argc > 1 && QByteArray(argv[1]) == "--text")
        (new QLabel(QStringLiteral("Battles"), &window))->move(10, 10);
    ExitOnFirstExpose exitOnExpose(&window);
    application.installEventFilter(&exitOnExpose);
    window.show();
    return application.exec();
}
