// The dialogs' side of the send engine: reports delivered as synchronous
// window messages to the dialog that started the send, and the waits of the
// user-interface thread that keep delivering them.
#include "send/send.h"

#include "port/port.h"

namespace {

void ReportToWindow(void* context, UINT message, WPARAM code, LPARAM value)
{
    SendMessageA(static_cast<HWND>(context), message, code, value);
}

} // namespace

BOOL SendDataToPrn(HWND hwnd, const void* data, DWORD length, WORD flags)
{
    return SendDataWithReporter(SendReporter{ReportToWindow, hwnd}, data, length, flags);
}

DWORD WaitDeliveringSends(HANDLE handle, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            left = spent >= timeoutMs ? 0 : timeoutMs - spent;
        }
        const DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1)
            return woke;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void DeliverWindowMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // Through the dialog manager, as the dialog's own loop would: Tab,
        // the arrows and the mnemonics keep working while a connect waits.
        HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root != nullptr && IsDialogMessageA(root, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

BOOL WaitSendEnd(DWORD timeoutMs)
{
    // The sending thread may be blocked in a report to this very thread.
    if (gCurrentPort.state == PORT_STATE_BUSY && hOutputBufIdle != nullptr)
        WaitDeliveringSends(hOutputBufIdle, timeoutMs);
    return gCurrentPort.state != PORT_STATE_BUSY;
}

void StopRepeatingSendAndWait()
{
    RequestSendStop();
    if (gCurrentPort.state != PORT_STATE_BUSY || hOutputBufIdle == nullptr || (gCurOutputBuf.wFlags & SEND_ONCE))
        return;
    WaitSendEnd(INFINITE);
}

void StopSendAndWait()
{
    // A single pass too: the dialog that closes must not wait for a whole file.
    AbandonSend();
    if (hOutputBufIdle != nullptr)
        WaitSendEnd(INFINITE);
}
