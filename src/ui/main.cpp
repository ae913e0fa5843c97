#include "base/MemberWriter.h"
#include "base/ProgramDir.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtDesktop.h"

int main(int argc, char** argv)
{
    Application application(argc, argv);
    ui::QtDesktop desktop;
    base::SetDesktop(&desktop);
    // A run killed while it rewrote turnex.dat or user.dat leaves its temporary file behind.
    base::RemoveAbandonedTemporaries(base::ProgramDirectory(), 10 * 60);
    MainWindow window;
    window.show();
    const int code = application.exec();
    base::SetDesktop(nullptr);
    return code;
}
