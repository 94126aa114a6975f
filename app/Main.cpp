// Entry point of Harrowmere.exe.
#include "app/HarrowmereApp.h"
#include "ui/MessageLoop.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS };
    InitCommonControlsEx(&icc);

    CHarrowmereApp app;
    int result = 0;
    if (app.InitInstance())
        result = ui::RunMessageLoop();
    return app.ExitInstance(result);
}
