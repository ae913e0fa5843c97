#include "base/MemberWriter.h"
#include "base/ProgramDir.h"
#include "ui/Application.h"
#include "ui/ExitOnFirstExpose.h"
#include "ui/MainWindow.h"
#include "ui/QtDesktop.h"
#include "ui/SingleInstance.h"

int main(int argc, char** argv)
{
    Application application(argc, argv);
    // Two desks on one program folder would each write turnex.dat and user.dat over the other's:
    // a second start brings the first to the front instead.
    SingleInstance instance(base::ProgramDirectory());
    if (instance.HandOverToRunning())
        return 0;
    ui::QtDesktop desktop;
    base::SetDesktop(&desktop);
    // A run killed while it rewrote turnex.dat or user.dat leaves its temporary file behind.
    base::RemoveAbandonedTemporaries(base::ProgramDirectory(), 10 * 60);
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] { BringToFront(&window); });
    ExitOnFirstExpose exitOnExpose(&window);
    if (qEnvironmentVariableIsSet("TURNEX_EXIT_ON_EXPOSE"))
        application.installEventFilter(&exitOnExpose);
    window.show();
    const int code = application.exec();
    base::SetDesktop(nullptr);
    return code;
}
