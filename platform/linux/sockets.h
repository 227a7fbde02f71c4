// A connected TCP socket as a port handle: ReadFile, WriteFile, CancelIoEx
// and CloseHandle work on it as on a USB printer node, with the same bounds.
#pragma once

#include "platform/win32.h"

// Takes over `fd` (a connected stream socket); the handle, or
// INVALID_HANDLE_VALUE (fd closed) when it cannot be made.
HANDLE PlatSocketHandle(int fd);
// Any thread. True when the other end closed or reset the connection; looks
// without reading, so nothing waiting in it is lost.
bool PlatSocketPeerGone(HANDLE handle);
