#include "base/MemberWriter.h"
#include "base/ProgramDir.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtDesktop.h"
#include "ui/SingleInstance.h"

#include <QTimer>
#include <QWindow>
#include <cstdlib>

namespace {

// Measurement only: with TURNEX_EXIT_ON_EXPOSE set, the process ends as soon as the main window
// has been exposed and painted, so that a benchmark can time the start as a whole process.
class ExitOnFirstExpose : public QObject {
public:
    explicit ExitOnFirstExpose(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && target == window_->windowHandle())
            QTimer::singleShot(0, [] { std::_Exit(0); });
        return false;
    }

private:
    QWidget* window_;
};

}  // namespace

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
