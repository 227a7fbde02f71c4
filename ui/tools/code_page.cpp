// The character-table page: one table by its number, or every named one.
#include "ui/tools/tools.h"

#include "printer/codepage.h"
#include "res/resource.h"
#include "ui/testprint/testprint.h"

void handleCodePageNamed(HWND page)
{
    const LRESULT index = SendDlgItemMessageA(page, IDC_CP_NAMED, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < static_cast<LRESULT>(kNamedCodeTables.size()))
        SetDlgItemTextA(page, IDC_CP_NUMBER, std::to_string(kNamedCodeTables[index].number).c_str());
}

void handleCodePagePrint(HWND page, bool all)
{
    if (all) {
        SendTools(page, AllCodePagesBytes());
        return;
    }
    char text[32] = {};
    GetDlgItemTextA(page, IDC_CP_NUMBER, text, sizeof text);
    int number = 0;
    std::string error;
    if (!ParseCodeTable(text, &number, &error)) {
        ShowError_T(page, error.c_str());
        return;
    }
    SendTools(page, CodePageBytes(number));
}

INT_PTR CALLBACK bTools_CodePage_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        for (const NamedCodeTable& table : kNamedCodeTables) {
            const std::string row = std::to_string(table.number) + " " + table.name;
            SendDlgItemMessageA(page, IDC_CP_NAMED, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
        }
        SendDlgItemMessageA(page, IDC_CP_NAMED, CB_SETCURSEL, 0, 0);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CP_NAMED:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                handleCodePageNamed(page);
            break;
        case IDC_CP_PRINT:
            handleCodePagePrint(page, false);
            break;
        case IDC_CP_PRINT_ALL:
            handleCodePagePrint(page, true);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
