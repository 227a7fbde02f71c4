// The test dialog: a port choice over a tab control whose six pages run the
// built-in test prints (characters, black mark, current, common tests, USB).
#pragma once

#include "platform/win32.h"
#include "printer/testprint.h"
#include "res/texts.h"
#include "send/send.h"

#include <array>
#include <span>
#include <string>

constexpr int kTestPageCount = 6;

// One per open test dialog, in its user-data slot.
struct TabHostRecord {
    HWND tabControl;
    HWND currentPage;
    RECT pageRect; // where every page goes, in the dialog's client coordinates
    LPCDLGTEMPLATEA pageTemplates[kTestPageCount];
};

extern std::array<HWND, kTestPageCount> gTabPages;
extern std::array<DLGPROC, kTestPageCount> gChildDialogProc;

INT_PTR CALLBACK bTestDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bChild_Char_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bChild_GBK_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bChild_Bmark_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bChild_Dianliu_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bChild_Other_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bChild_UsbLib_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

LPCDLGTEMPLATEA DoLockDlgRes(int templateId);
void OnChildDialogInit(HWND page);
void OnSelChanging(HWND dialog);
void OnSelChanged(HWND dialog);
BOOL SetCurrentPort_T(HWND dialog, int radioId, BYTE portType);
// A port radio of a dialog: the port it chooses and what its failure to
// open says.
struct PortRadio {
    int id;
    BYTE type;
    const char* failure;
};
// The port behind `radioId` opened as the test dialog's radios open it; a
// send running leaves the port as it is and the radios showing it.
BOOL ChoosePort_T(HWND dialog, std::span<const PortRadio> radios, int radioId, BYTE portType);

// Shared by the pages.
// True when a port is usable for a send; otherwise shows `message`.
bool CheckPort_T(HWND page, const char* message);
// Sends `bytes` from `page` with `flags`; a refusal shows `refusedMessage`.
void SendTest_T(HWND page, std::span<const BYTE> bytes, WORD flags, const char* refusedMessage);
// An error box over the test dialog that holds `window` (the dialog or a page).
void ShowError_T(HWND window, const char* text);

// Page handlers.
void handleTestChar(HWND page);
void handleTestGbk(HWND page);
void handleTestBlackMark(HWND page, int operation);
void handleTestDianliu(HWND page, int which);
void handleTestBlackImg(HWND page);
void handleTestDots(HWND page);
void handleTestCasher(HWND page, int drawer);
void handleTestCutter(HWND page, int full);
void handleCutter_SW(HWND page, int on);
void handleSetCom(HWND page);
void handleTestUsbLib(HWND page, int operation);

// How the test prints are sent, by the pages and by mptest-cli.
// The Latin test repeats until stopped; every other print goes once.
constexpr WORD kLatinTestFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_LOOP;
constexpr WORD kTestFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE;
