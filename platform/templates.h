// The window layer's input: dialog, menu and picture resources kept as data.
// The layer builds windows from these tables (converting dialog units with
// the dialog font's base units); on Windows the same tables become in-memory
// templates. The program keeps its tables in res/ and registers its lookups
// here at start-up, so the layer never depends on the program.
#pragma once

#include "platform/win32.h"

#include <span>

// One control of a dialog template. Positions are in dialog units.
// cls is the Windows class name: "BUTTON", "EDIT", "STATIC", "COMBOBOX",
// "msctls_statusbar32" or "SysTabControl32". For SS_ICON and SS_BITMAP
// statics, imageId names the icon or bitmap resource shown.
struct DlgItemTemplate {
    int id;
    const char* cls;
    DWORD style;
    const char* text; // UTF-8
    short x, y, cx, cy;
    int imageId = 0;
};

struct DlgTemplate {
    int id;           // numeric resource id, or 0 when the template has a name
    const char* name; // resource name ("MAIN_DIALOG"), or nullptr
    DWORD style;
    short x, y, cx, cy;
    const char* caption; // UTF-8
    int menuId;          // 0: no menu
    const char* fontName;
    WORD pointSize;
    std::span<const DlgItemTemplate> items;
};

struct MenuItemTemplate {
    const char* text; // UTF-8; nullptr: a separator line
    WORD command;
};

struct MenuPopupTemplate {
    const char* text;
    std::span<const MenuItemTemplate> items;
};

struct MenuTemplate {
    int id;
    std::span<const MenuPopupTemplate> popups;
};

enum class ResImageKind { Icon, Bitmap };

// An encoded picture (PNG) compiled into the program.
struct ImageResource {
    ResImageKind kind;
    int id;
    std::span<const unsigned char> bytes;
};

// Lookups over a program's resource tables. A name is either an integer
// resource (MAKEINTRESOURCEA) or a string; each gives nullptr when there is
// no such resource.
struct PlatResourceFinders {
    const DlgTemplate* (*dialog)(LPCSTR name) = nullptr;
    const MenuTemplate* (*menu)(int id) = nullptr;
    const ImageResource* (*image)(ResImageKind kind, int id) = nullptr;
};
// Registers the program's lookups; DialogBoxParamA, CreateDialogParamA,
// menus, LoadIconA and SS_ICON/SS_BITMAP statics find resources through them.
// Called once, before the first window is made (res/ does it while the
// program loads).
void PlatSetResourceFinders(const PlatResourceFinders& finders);
