// Saves a picture of the main window as the X server shows it: the window is centred on the
// screen, so the centred 640 x 480 region is grabbed once it has been drawn and stays still.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: turnex-screenshot FILE.png [--full]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (argc > 2 && QByteArray(argv[2]) == "--full")  // the whole screen, as it is now
        return screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    const QRect area(screen->geometry().center() - QPoint(320, 240), QSize(640, 480));
    QImage last;
    for (int i = 0; i < 100; ++i) {
        QThread::msleep(200);
        QImage now = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        const bool blank = now.isNull() || (now.pixel(5, 5) == qRgb(0, 0, 0) && now.pixel(320, 240) == qRgb(0, 0, 0));
        if (!blank && now == last) {
            if (!now.save(QString::fromLocal8Bit(argv[1])))
                return 1;
            return 0;
        }
        last = now;
    }
    std::fprintf(stderr, "turnex-screenshot: the window did not appear\n");
    return 1;
}
