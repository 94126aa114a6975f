#include "gui/MessagePump.h"

#include "ui/MessageLoop.h"

namespace gui {

void Pump(DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (ui::PreTranslateDialogMessage(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD waited = GetTickCount() - start;
        if (waited >= ms)
            return;
        // Rests until the next message (posted, sent, timer, paint) or the end.
        MsgWaitForMultipleObjectsEx(0, nullptr, ms - waited, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

} // namespace gui
