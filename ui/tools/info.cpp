// The printer-ID page: GS I 1..3 asked on the port directly, on the
// user-interface thread, the answers read with a bounded wait.
#include "ui/tools/tools.h"

#include "port/input.h"
#include "port/port.h"
#include "printer/info.h"
#include "res/resource.h"
#include "ui/testprint/testprint.h"

namespace {

constexpr std::array<int, kInfoRequestCount> kAnswerIds{IDC_IF_MODEL, IDC_IF_TYPE, IDC_IF_VERSION};

} // namespace

std::string AskPrinterId()
{
    PortTakeInput(); // the answers are the asker's to read
    const std::string request = InfoRequestBytes();
    DWORD done = 0;
    if (!PortHandleWrite(gCurrentPort.handle, request.data(), static_cast<DWORD>(request.size()), &done) ||
        done != request.size())
        return {};
    std::string answers;
    while (answers.size() < kInfoRequestCount) {
        char chunk[kInfoRequestCount] = {};
        DWORD got = 0;
        if (!PortHandleRead(gCurrentPort.handle, chunk, static_cast<DWORD>(kInfoRequestCount - answers.size()), &got) ||
            got == 0)
            break;
        answers.append(chunk, got);
    }
    return answers;
}

void handleInfoRead(HWND page)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return;
    if (gCurrentPort.type == PORT_PARALLEL) {
        ShowError_T(page, "并行口不能读取打印机的应答，请选择串行口或USB口");
        return;
    }
    if (!CheckPort_T(page, kNoPortText_T))
        return;
    for (int id : kAnswerIds)
        SetDlgItemTextA(page, id, "");
    gCurrentPort.state = PORT_STATE_BUSY;
    const std::string received = AskPrinterId();
    gCurrentPort.state = PORT_STATE_IDLE;
    const auto answers = InfoAnswers(received);
    for (int i = 0; i < kInfoRequestCount; ++i)
        SetDlgItemTextA(page, kAnswerIds[i], InfoAnswerText(i, answers[i]).c_str());
    SetToolsStatus(received.empty() ? "打印机无应答" : "收到 " + std::to_string(received.size()) + " 个应答字节");
}

INT_PTR CALLBACK bTools_Info_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_IF_READ)
        handleInfoRead(page);
    return FALSE;
}
