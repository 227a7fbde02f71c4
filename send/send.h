// The send engine: the one output record, the stop request and its lock,
// and the sending thread that reports to the calling dialog.
#pragma once

#include "platform/win32.h"

enum SendFlags : WORD {
    SEND_ONCE = 0x01,
    SEND_LOOP = 0x02,
    SEND_HEX = 0x04,
    SEND_TEXT = 0x08,
    SEND_MODE_MASK = 0xF0,
    SEND_MODE_CMDS = 0x10,
    SEND_MODE_FILE = 0x20,
    SEND_MODE_VERSION = 0x40,
    SEND_MODE_FONT = 0x80,
};

#define WM_SENDCMDS_STATUS (WM_USER + 100)
#define WM_SENDFILE_STATUS (WM_USER + 200)
#define WM_EPP_STATUS (WM_USER + 201)

enum SendStatus : WPARAM {
    STATUS_FILE_LENGTH = 1,
    STATUS_FILE_PROGRESS = 10,
    STATUS_FILE_DONE = 20,
    STATUS_FILE_FAILED = 30,
    STATUS_CMDS_LENGTH = 50,
    STATUS_CMDS_SENT = 60,
};

// Largest file any send accepts.
constexpr DWORD MAX_SEND_FILE_SIZE = 0x500000;

struct OutputBuffer {
    WORD wFlags;
    BYTE* pData;
    HANDLE hFile;
    DWORD dwLen;
};

extern OutputBuffer gCurOutputBuf;
extern LONG gStopSendFlag;
extern CRITICAL_SECTION MySection;

void UtilInit();
void UtilRelease();
void EnterSplSem();
void LeaveSplSem();
void OutputBufRelease();

BOOL SendDataToPrn(HWND hwnd, const void* data, DWORD length, WORD flags);
BOOL SendCmds(HWND hwnd, const char* data, DWORD length, WORD flags);
BOOL SendCmdFile(HWND hwnd, const char* path, DWORD length, WORD flags);
// FALSE when no thread could be started; the output record is then released.
BOOL CreateSendDataThread(HWND hwnd, WORD flags);
DWORD WINAPI SendDataThread(LPVOID param);
BOOL SendDataByFlag(HWND hwnd);

// Sets the stop request and, delivering the sending thread's reports
// meanwhile, waits until no send holds the port; used by dialogs that close.
void StopSendAndWait();
