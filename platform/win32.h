// The one header through which the program reaches the Windows API.
// On Windows it is the real API; elsewhere platform/ supplies the subset the
// program uses, with the same names, signatures and meanings. Anything here
// that Windows does not have carries a Plat prefix and is the platform's own.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cderr.h>

// The program's dialogs, menu and pictures are the tables in res/, not
// resources linked into the .exe. These calls build Win32 templates from the
// tables (platform/windows) and otherwise behave as the system's own; every
// other call is the system's.
INT_PTR PlatDialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam);
HWND PlatCreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam);
HWND PlatCreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND parent, DLGPROC proc,
                                    LPARAM initParam);
HRSRC PlatFindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL PlatLoadResource(HMODULE module, HRSRC resource);
LPVOID PlatLockResource(HGLOBAL resource);
HICON PlatLoadIconA(HINSTANCE instance, LPCSTR name);
// The system's message box, unless a console program took them
// (PlatStartConsoleProgram: it shows none) or a test records them
// (platform/message_box_hook.h).
int PlatMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
#define DialogBoxParamA PlatDialogBoxParamA
#define CreateDialogParamA PlatCreateDialogParamA
#define CreateDialogIndirectParamA PlatCreateDialogIndirectParamA
#define FindResourceA PlatFindResourceA
#define LoadResource PlatLoadResource
#define LockResource PlatLockResource
#define LoadIconA PlatLoadIconA
#define MessageBoxA PlatMessageBoxA

#else // !_WIN32

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- types
#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uint16_t WCHAR;
typedef size_t SIZE_T;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;

typedef void* HANDLE;
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HICON__;
typedef HICON__* HICON;
typedef HANDLE HLOCAL;
typedef int (*FARPROC)();

#define TRUE 1
#define FALSE 0
#define MAXDWORD 0xFFFFFFFFUL

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<uintptr_t>(p) >> 16) == 0)

#define LOWORD(l) (static_cast<WORD>(static_cast<uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<uintptr_t>(l) >> 16) & 0xffff))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<uintptr_t>(w) & 0xff))
#define MAKELONG(a, b) (static_cast<LONG>((static_cast<WORD>(a)) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

// ---------------------------------------------------------------- errors
DWORD GetLastError();
void SetLastError(DWORD error);

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_DISK_FULL 112
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_BAD_PATHNAME 161
#define ERROR_ALREADY_EXISTS 183
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#define ERROR_TIMEOUT 1460
#define ERROR_NOT_FOUND 1168
#define ERROR_OPERATION_ABORTED 995
#define ERROR_NETNAME_DELETED 64
#define ERROR_SEM_TIMEOUT 121
#define ERROR_CONNECTION_REFUSED 1225
#define ERROR_NETWORK_UNREACHABLE 1231
#define ERROR_HOST_UNREACHABLE 1232

// ---------------------------------------------------------------- messages
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_SETICON 0x0080
#define WM_NOTIFY 0x004E
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400
#define WM_APP 0x8000

#define ICON_BIG 1

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Notification codes carried in the high word of WM_COMMAND's wParam.
#define BN_CLICKED 0
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5

// Buttons
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1

// Combo boxes
#define CB_OKAY 0
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E

// Status windows
#define SB_SETTEXTA (WM_USER + 1)
#define SB_GETTEXTA (WM_USER + 2)
#define SB_GETTEXTLENGTHA (WM_USER + 3)
#define SB_SETPARTS (WM_USER + 4)
#define SB_GETPARTS (WM_USER + 6)
#define SB_SETTEXT SB_SETTEXTA
#define SB_GETTEXT SB_GETTEXTA
#define SBARS_SIZEGRIP 0x0100

// Tab control
#define TCM_FIRST 0x1300
#define TCM_INSERTITEMA (TCM_FIRST + 7)
#define TCM_GETCURSEL (TCM_FIRST + 11)
#define TCM_ADJUSTRECT (TCM_FIRST + 40)
#define TCN_FIRST (0U - 550U)
#define TCN_SELCHANGE (TCN_FIRST - 1)
#define TCN_SELCHANGING (TCN_FIRST - 2)
#define TCIF_TEXT 0x0001
#define TCIF_IMAGE 0x0002

struct TCITEMA {
    UINT mask;
    DWORD dwState;
    DWORD dwStateMask;
    LPSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

// ---------------------------------------------------------------- styles
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L

#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_CENTER 0x0800L

#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_GROUPBOX 0x7L
#define BS_AUTORADIOBUTTON 0x9L

#define ES_MULTILINE 0x0004L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L

#define SS_LEFT 0x0L
#define SS_CENTER 0x1L
#define SS_ICON 0x3L
#define SS_BITMAP 0xEL

#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L

// ---------------------------------------------------------------- windows and dialogs
#define MB_OK 0x0L
#define MB_YESNO 0x4L
#define MB_ICONERROR 0x10L
#define MB_ICONWARNING 0x30L

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define HWND_TOP (static_cast<HWND>(nullptr))

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define GWLP_WNDPROC (-4)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam);
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam);

// Dialog-template resources. A locked RT_DIALOG resource is the template
// CreateDialogIndirectParamA builds from; its layout is the platform's.
struct HRSRC__;
typedef HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;
struct DLGTEMPLATE;
typedef DLGTEMPLATE* LPDLGTEMPLATEA;
typedef const DLGTEMPLATE* LPCDLGTEMPLATEA;
#define RT_DIALOG MAKEINTRESOURCEA(5)
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL resource);
HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND parent, DLGPROC proc,
                                LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL ShowWindow(HWND window, int cmdShow);
BOOL IsWindowVisible(HWND window); // shown, with every parent shown
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
HWND GetParent(HWND window);
#define GA_ROOT 2
HWND GetAncestor(HWND window, UINT flags); // GA_ROOT only: the top-level window holding it
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL ScreenToClient(HWND window, LPPOINT point);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
int GetSystemMetrics(int index);
LONG GetDialogBaseUnits();
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// ---------------------------------------------------------------- pictures and timers
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
typedef void* HGDIOBJ;
#define IMAGE_BITMAP 0
#define STM_SETIMAGE 0x0172
// Monochrome bitmaps only (1 plane, 1 bit a pixel): rows of `bits` padded to
// 16 bits, the leftmost pixel in the high bit, a clear bit black and a set
// bit white. A bitmap shown by a static (STM_SETIMAGE, which answers the
// one shown before) may be deleted while shown: the static keeps its copy.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
BOOL DeleteObject(HGDIOBJ object);
// WM_TIMER (wParam the id) to the window every `elapse` ms until KillTimer
// or the window's end; a timer set again with its id starts anew. No timer
// procedures: `proc` must be null.
#define WM_TIMER 0x0113
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);

// A control's window procedure can be replaced (GWLP_WNDPROC) to see its
// keys first. Only WM_KEYDOWN of VK_UP and VK_DOWN in an edit reaches it;
// what it passes on to the procedure it replaced gets the default action.
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
#define WM_KEYDOWN 0x0100
#define VK_UP 0x26
#define VK_DOWN 0x28
LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Replacing a control's procedure with the W calls keeps it a Unicode window
// on Windows; here every control is one, so they mean the same as the A calls.
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HMODULE GetModuleHandleA(LPCSTR name);
LPSTR GetCommandLineA();
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
void InitCommonControls();
HWND CreateStatusWindowA(LONG style, LPCSTR text, HWND parent, UINT id);

// Delivering messages while the user-interface thread waits for a worker.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define QS_SENDMESSAGE 0x0040
#define PM_QS_SENDMESSAGE (QS_SENDMESSAGE << 16)
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFFUL
#define MAXIMUM_WAIT_OBJECTS 64
#define INFINITE 0xFFFFFFFFUL
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL IsDialogMessageA(HWND dialog, LPMSG msg);
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask);

// ---------------------------------------------------------------- common dialogs
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OPENFILENAME_SIZE_VERSION_400A 76

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
};
typedef OPENFILENAMEA* LPOPENFILENAMEA;
BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn);
// A name to write: the chooser says 保存, takes a new name, adds lpstrDefExt
// to a name without an extension and, with OFN_OVERWRITEPROMPT, asks before
// an existing file is replaced.
BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn);
// Why the last GetOpenFileNameA or GetSaveFileNameA on this thread failed;
// 0 for a cancel.
DWORD CommDlgExtendedError();
#define FNERR_BUFFERTOOSMALL 0x3003

// ---------------------------------------------------------------- files
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define FILE_BEGIN 0
#define INVALID_FILE_SIZE 0xFFFFFFFFUL
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFUL

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
// Until what was written has left: a file on the disk; a serial line's or a
// connection's output queue empty (the peer acknowledged it); a USB
// printer's last transfer done. Bounded as a write is: FALSE with
// ERROR_TIMEOUT when nothing moved for a write's stall bound.
BOOL FlushFileBuffers(HANDLE file);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);

// ---------------------------------------------------------------- threads, sleeps, locks
#define THREAD_PRIORITY_NORMAL 0
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID param,
                    DWORD creationFlags, LPDWORD threadId);
BOOL SetThreadPriority(HANDLE thread, int priority);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;
void GetLocalTime(LPSYSTEMTIME time);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Any of the handles (waitAll FALSE only): WAIT_OBJECT_0 + the index of the
// first one signalled, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// A critical section as Windows has it: recursive, owned by one thread.
struct CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---------------------------------------------------------------- dynamic libraries
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

// ---------------------------------------------------------------- serial lines
#include "platform/win32_comm.h"

// ---------------------------------------------------------------- formatting
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

#endif // _WIN32

// ---------------------------------------------------------------- the platform's own
// These exist on every system and have no Windows counterpart of the same name.
#include <string>
#include <string_view>

// The printer's code page is GBK (936). Every text inside the program is UTF-8;
// bytes that go to the printer as text are converted here and nowhere else.
// Characters GBK cannot represent become '?'; invalid input never throws.
std::string PlatUtf8ToGbk(std::string_view utf8);
std::string PlatGbkToUtf8(std::string_view gbk);
// How many of the first bytes of `gbk` to keep so that at most `maxBytes`
// remain and no double-byte character is cut in half.
size_t PlatGbkCut(std::string_view gbk, size_t maxBytes);
// The folder the program keeps its own small files in (the console's command
// history): the serial store's folder here, %APPDATA%\mptest on Windows. It
// may not exist yet.
std::string PlatSettingsFolder();
// A read-only multi-line edit fed at its end, as a log view is: the first
// `dropBytes` bytes of its text (as WM_GETTEXT gives it) give way to `front`,
// and `append` goes after the rest, without the whole text being set anew.
// User-interface thread.
void PlatEditSplice(HWND edit, size_t dropBytes, std::string_view front, std::string_view append);
