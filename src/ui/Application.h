#pragma once
// The application object: title, font substitutes, and the last guard that keeps an exception
// from crossing the event loop.
#include <QApplication>

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The Windows fonts of the window design and their free look-alikes.
void InstallFontSubstitutes();
