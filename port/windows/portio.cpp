// Port I/O on Windows: the WinIo library (WINIO.dll) for the parallel port's
// registers, and the Inpout32 library, loaded for the probe alone.
#include "port/portio.h"

namespace {

// WinIo's exports; its own header declares them with C++ bool.
typedef bool(__stdcall* WinIoInit)();
typedef void(__stdcall* WinIoShutdown)();
typedef bool(__stdcall* WinIoGet)(WORD port, PDWORD value, BYTE size);
typedef bool(__stdcall* WinIoSet)(WORD port, DWORD value, BYTE size);

HMODULE gWinIo;
WinIoShutdown gShutdown;
WinIoGet gGet;
WinIoSet gSet;

typedef short(__stdcall* Inp32Fn)(short port);
typedef void(__stdcall* Out32Fn)(short port, short value);

HMODULE gInpout;
Inp32Fn gInp32;
Out32Fn gOut32;

// A library's export as the function type it has. The cast goes through
// void (*)(), which converts to any function type without a warning.
template <typename Fn>
Fn ExportOf(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

// Without the library (or when it cannot start its driver) the program runs
// without direct port access: every read and write of a register fails, so
// parallel sends fail cleanly, and everything else works.
BOOL InitializeWinIo()
{
    gWinIo = LoadLibraryA("WinIo.dll");
    if (!gWinIo)
        return TRUE;
    auto init = ExportOf<WinIoInit>(gWinIo, "InitializeWinIo");
    gShutdown = ExportOf<WinIoShutdown>(gWinIo, "ShutdownWinIo");
    gGet = ExportOf<WinIoGet>(gWinIo, "GetPortVal");
    gSet = ExportOf<WinIoSet>(gWinIo, "SetPortVal");
    if (!init || !gShutdown || !gGet || !gSet || !init()) {
        FreeLibrary(gWinIo);
        gWinIo = nullptr;
    }
    return TRUE;
}

void ShutdownWinIo()
{
    if (!gWinIo)
        return;
    gShutdown();
    FreeLibrary(gWinIo);
    gWinIo = nullptr;
}

BOOL GetPortVal(WORD port, DWORD* value, BYTE size)
{
    *value = 0;
    return gWinIo && gGet(port, value, size) ? TRUE : FALSE;
}

BOOL SetPortVal(WORD port, DWORD value, BYTE size)
{
    return gWinIo && gSet(port, value, size) ? TRUE : FALSE;
}

// The Windows 9x family lets a program touch the ports directly.
// WinIo reaches the port's addresses whether or not a port answers there.
bool PortIoHasParallelPort()
{
    return gWinIo != nullptr;
}

bool PortIoHasRawAccess()
{
    return (GetVersion() & 0x80000000UL) != 0;
}

bool LptProbeLoad()
{
    gInpout = LoadLibraryA("Inpout32");
    return gInpout != nullptr;
}

bool LptProbeResolve()
{
    gOut32 = ExportOf<Out32Fn>(gInpout, "Out32");
    gInp32 = ExportOf<Inp32Fn>(gInpout, "Inp32");
    return gOut32 && gInp32;
}

BYTE LptProbeIn(WORD port)
{
    return static_cast<BYTE>(gInp32(static_cast<short>(port)) & 0xFF);
}

void LptProbeOut(WORD port, BYTE value)
{
    gOut32(static_cast<short>(port), value);
}

void LptProbeUnload()
{
    FreeLibrary(gInpout);
    gInpout = nullptr;
    gInp32 = nullptr;
    gOut32 = nullptr;
}
