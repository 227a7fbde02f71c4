// Driving the program's real dialogs under Wine as a user drives them, for
// the end-to-end tests: clicks and typing by control ID, and bounded waits
// that keep delivering the dialogs' messages (the send thread, the
// console's reader and timers report through them).
#pragma once

#include "platform/win32.h"

#include "port/network.h"
#include "port/port.h"
#include "port/portio.h"
#include "send/send.h"
#include "ui/console/console.h"

#include <initializer_list>
#include <string>

// A dialog as the program opens it, after the start-up WinMain runs;
// nullptr when that fails.
inline HWND OpenProgramDialog(int templateId, DLGPROC proc)
{
    InitPort();
    PortSetWaitPump(DeliverWindowMessages);
    UtilInit();
    InitCommonControls();
    if (!InitializeWinIo())
        return nullptr;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), nullptr, proc, 0);
    if (dialog != nullptr)
        ShowWindow(dialog, SW_SHOW); // as DialogBoxParamA shows it
    return dialog;
}

// The program's shutdown, after its dialog has gone.
inline void ShutdownProgram()
{
    PortRelease();
    UtilRelease();
    ShutdownWinIo();
}

// Closed as the user closes it, then the program's shutdown.
inline void CloseProgramDialog(HWND dialog)
{
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    DestroyWindow(dialog);
    ShutdownProgram();
}

// Delivers messages until `done` holds; false after timeoutMs.
template <class Done> bool WaitFor(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

inline bool WaitPortIdle(DWORD timeoutMs)
{
    return WaitFor([] { return gCurrentPort.state != PORT_STATE_BUSY; }, timeoutMs);
}

inline void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

inline void Type(HWND dialog, int id, const char* text)
{
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

struct Field {
    int id;
    const char* text;
};

// Types each field's text into its control, then clicks `button`.
inline void TypeAndClick(HWND dialog, std::initializer_list<Field> fields, int button)
{
    for (const Field& field : fields)
        Type(dialog, field.id, field.text);
    Click(dialog, button);
}

inline std::string ItemText(HWND dialog, int id)
{
    static char text[64 * 1024];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline std::string ConsoleStatus(int part)
{
    char text[256] = {};
    SendMessageA(hStatusBarUc, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
    return text;
}
