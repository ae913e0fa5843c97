#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtDesktop.h"

int main(int argc, char** argv)
{
    Application application(argc, argv);
    ui::QtDesktop desktop;
    base::SetDesktop(&desktop);
    MainWindow window;
    window.show();
    const int code = application.exec();
    base::SetDesktop(nullptr);
    return code;
}
