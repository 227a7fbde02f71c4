// The file chooser the dialogs share.
#pragma once

#include "platform/win32.h"

// UI thread. Runs the open-file dialog owned by `owner` with `filter` (pairs
// of description and pattern, ending in an empty string) and copies the
// chosen path into `path`, which must hold 260 bytes; a cancelled choice
// leaves `path` empty.
void SelectFileName(HWND owner, const char* filter, char* path);
