// A console program on Windows: hidden dialogs need nothing more than the
// system gives, message boxes go to the program's sink (or a test's hook)
// instead of the screen, and the console shows UTF-8. The counter lock is LockFileEx,
// which network shares carry.
#include "platform/message_box_hook.h"
#include "platform/station.h"
#include "platform/windows/win.h"

#include <csignal>
#include <cstdio>
#include <io.h>

#undef MessageBoxA

struct PlatLockedFile {
    HANDLE handle;
};

namespace {

// Set once, before any thread that could raise a box starts.
void (*gSink)(const char* text, const char* caption) = nullptr;
void (*gStop)() = nullptr;

// Windows runs a console's Ctrl-C handler on a thread of its own.
extern "C" void OnStopSignal(int)
{
    gStop();
}

std::string Reason(const std::string& path, DWORD error)
{
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    return path + ": " + text;
}

} // namespace

void PlatCatchStopSignals(void (*stop)())
{
    gStop = stop;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

int PlatMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (int answer = 0; PlatMessageBoxHooked(owner, text, caption, type, answer))
        return answer; // a test records it
    if (gSink != nullptr) {
        gSink(text, caption);
        return IDOK;
    }
    return MessageBoxA(owner, text, caption, type);
}

void PlatStartConsoleProgram(void (*sink)(const char* text, const char* caption))
{
    gSink = sink;
    SetConsoleOutputCP(CP_UTF8);
}

bool PlatIsConsoleProgram()
{
    return gSink != nullptr;
}

bool PlatUseDeviceRoot(const std::string&, std::string* why)
{
    *why = "--device-root 只用于 Linux：Windows 的 COM 口和 USB 打印机由系统提供";
    return false;
}

bool PlatIsTerminal(int stream)
{
    return _isatty(stream) != 0;
}

std::string PlatHostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string("localhost");
}

PlatLockedFile* PlatLockFile(const std::string& path, unsigned timeoutMs, std::string* why)
{
    HANDLE handle = CreateFileW(PlatWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = Reason(path, GetLastError());
        return nullptr;
    }
    // Polled rather than waited on, so the wait has an end.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        OVERLAPPED whole = {};
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
            return new PlatLockedFile{handle};
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) {
            *why = error == ERROR_LOCK_VIOLATION ? path + ": 另一个工位一直锁着这个文件" : Reason(path, error);
            CloseHandle(handle);
            return nullptr;
        }
        Sleep(10);
    }
}

bool PlatLockedRead(PlatLockedFile* file, std::string* text, std::string* why)
{
    text->clear();
    SetFilePointer(file->handle, 0, nullptr, FILE_BEGIN);
    char block[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file->handle, block, sizeof block, &got, nullptr)) {
            *why = Reason("", GetLastError());
            return false;
        }
        if (got == 0)
            return true;
        text->append(block, got);
    }
}

bool PlatLockedRewrite(PlatLockedFile* file, const std::string& text, std::string* why)
{
    // Written over the old content, then cut: a counter is never left empty.
    DWORD put = 0;
    if (SetFilePointer(file->handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !WriteFile(file->handle, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) || put != text.size() ||
        !SetEndOfFile(file->handle) || !FlushFileBuffers(file->handle)) {
        *why = Reason("", GetLastError());
        return false;
    }
    return true;
}

void PlatUnlockFile(PlatLockedFile* file)
{
    if (file == nullptr)
        return;
    OVERLAPPED whole = {};
    UnlockFileEx(file->handle, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file->handle);
    delete file;
}

bool PlatAppendDurably(const std::string& path, const std::string& line, std::string* why)
{
    HANDLE handle = CreateFileW(PlatWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = Reason(path, GetLastError());
        return false;
    }
    DWORD put = 0;
    const bool ok = WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &put, nullptr) &&
                    put == line.size() && FlushFileBuffers(handle);
    if (!ok)
        *why = Reason(path, GetLastError());
    CloseHandle(handle);
    return ok;
}
