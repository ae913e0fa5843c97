#include "app/Application.h"
#include "app/manag.h"
#include "platform/QtDesktop.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    platform::QtDesktop desktop;
    platform::SetDesktop(&desktop);
    TMainForm form;
    form.show();
    const int code = application.exec();
    platform::SetDesktop(nullptr);
    return code;
}
