// Dialogs, menus and pictures from the program's resource tables: each table
// row becomes an in-memory DLGTEMPLATEEX the system's own dialog manager
// builds from, the menu table a menu, the PNG pictures icons and bitmaps.
// A dialog procedure is reached through a small wrapper that attaches the
// menu and the pictures before the procedure sees WM_INITDIALOG.
#include "platform/windows/win.h"

#include "platform/templates.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// The program's lookups; empty until it registers them.
PlatResourceFinders gFinders;

const DlgTemplate* FindDialog(LPCSTR name)
{
    return gFinders.dialog && name ? gFinders.dialog(name) : nullptr;
}

const MenuTemplate* FindMenu(int id)
{
    return gFinders.menu ? gFinders.menu(id) : nullptr;
}

const ImageResource* FindImage(ResImageKind kind, int id)
{
    return gFinders.image ? gFinders.image(kind, id) : nullptr;
}

// ---------------------------------------------------------------- templates
class TemplateWriter {
public:
    void word(WORD w) { append(&w, sizeof w); }
    void dword(DWORD d) { append(&d, sizeof d); }
    void shortValue(short s) { append(&s, sizeof s); }
    void byte(BYTE b) { bytes_.push_back(b); }
    void text(const char* utf8)
    {
        std::wstring w = PlatWide(utf8 ? utf8 : "");
        append(w.c_str(), (w.size() + 1) * sizeof(wchar_t));
    }
    void alignDword()
    {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }
    std::vector<BYTE> take() { return std::move(bytes_); }

private:
    void append(const void* p, size_t n)
    {
        const size_t at = bytes_.size();
        bytes_.resize(at + n);
        std::memcpy(bytes_.data() + at, p, n);
    }
    std::vector<BYTE> bytes_;
};

std::vector<BYTE> BuildTemplate(const DlgTemplate& tpl)
{
    TemplateWriter out;
    DWORD style = tpl.style;
    if (tpl.fontName != nullptr)
        style |= DS_SETFONT;
    out.word(1);      // dlgVer
    out.word(0xFFFF); // signature: DLGTEMPLATEEX
    out.dword(0);     // helpID
    out.dword(0);     // exStyle
    out.dword(style);
    out.word(static_cast<WORD>(tpl.items.size()));
    out.shortValue(tpl.x);
    out.shortValue(tpl.y);
    out.shortValue(tpl.cx);
    out.shortValue(tpl.cy);
    out.word(0); // menu: attached by the wrapper, it is no linked resource
    out.word(0); // class: the system's dialog class
    out.text(tpl.caption);
    if (style & DS_SETFONT) {
        out.word(tpl.pointSize);
        out.word(FW_NORMAL);
        out.byte(FALSE); // italic
        out.byte(DEFAULT_CHARSET);
        out.text(tpl.fontName);
    }
    for (const DlgItemTemplate& item : tpl.items) {
        out.alignDword();
        out.dword(0); // helpID
        out.dword(0); // exStyle
        out.dword(item.style);
        out.shortValue(item.x);
        out.shortValue(item.y);
        out.shortValue(item.cx);
        out.shortValue(item.cy);
        out.dword(static_cast<DWORD>(item.id));
        out.text(item.cls);
        // A picture static gets its picture from the wrapper, not by name.
        out.text(item.imageId != 0 ? "" : item.text);
        out.word(0); // no creation data
    }
    return out.take();
}

// Templates are built once and live as long as the program: a locked
// resource stays valid on Windows too.
std::mutex gTemplatesLock;
std::map<const DlgTemplate*, std::vector<BYTE>> gTemplates;

const DLGTEMPLATE* TemplateOf(const DlgTemplate* tpl)
{
    std::lock_guard<std::mutex> g(gTemplatesLock);
    auto [it, added] = gTemplates.try_emplace(tpl);
    if (added)
        it->second = BuildTemplate(*tpl);
    return reinterpret_cast<const DLGTEMPLATE*>(it->second.data());
}

const DlgTemplate* TableOf(LPCDLGTEMPLATEA built)
{
    std::lock_guard<std::mutex> g(gTemplatesLock);
    for (const auto& [tpl, bytes] : gTemplates) {
        if (reinterpret_cast<const void*>(bytes.data()) == built)
            return tpl;
    }
    return nullptr;
}

// ---------------------------------------------------------------- pictures
HICON IconFromPng(std::span<const unsigned char> png)
{
    // Since Windows Vista an icon resource may be a PNG.
    return CreateIconFromResourceEx(const_cast<PBYTE>(png.data()), static_cast<DWORD>(png.size()), TRUE,
                                    0x00030000, 0, 0, LR_DEFAULTCOLOR);
}

HBITMAP BitmapFromPng(std::span<const unsigned char> png)
{
    return PlatDecodePngToBitmap(png.data(), png.size());
}

// What a bitmap static shows: the picture at its own size from its top-left
// corner, cut to the control, as on Linux. Made at exactly the control's
// size, so no system resizes the control or scales the picture (Wine and
// Windows differ there); a smaller picture leaves the face colour around it.
HBITMAP FitToControl(HBITMAP picture, HWND control)
{
    RECT area{};
    GetClientRect(control, &area);
    BITMAP info{};
    GetObjectA(picture, sizeof info, &info);
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP fitted = CreateCompatibleBitmap(screen, area.right, area.bottom);
    ReleaseDC(nullptr, screen);
    if (fitted != nullptr) {
        HGDIOBJ oldFrom = SelectObject(from, picture);
        HGDIOBJ oldTo = SelectObject(to, fitted);
        FillRect(to, &area, GetSysColorBrush(COLOR_BTNFACE));
        BitBlt(to, 0, 0, std::min<LONG>(area.right, info.bmWidth), std::min<LONG>(area.bottom, info.bmHeight), from,
               0, 0, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(picture);
    return fitted;
}

// The pictures a dialog shows, made for it and freed with it (a static does
// not own the image it is given).
struct Pictures {
    std::vector<HICON> icons;
    std::vector<HBITMAP> bitmaps;

    ~Pictures()
    {
        for (HICON icon : icons)
            DestroyIcon(icon);
        for (HBITMAP bitmap : bitmaps)
            DeleteObject(bitmap);
    }
};

void AttachPictures(HWND dialog, const DlgTemplate& tpl, Pictures* pictures)
{
    for (const DlgItemTemplate& item : tpl.items) {
        if (item.imageId == 0)
            continue;
        const DWORD kind = item.style & SS_TYPEMASK;
        if (kind == SS_ICON) {
            const ImageResource* image = FindImage(ResImageKind::Icon, item.imageId);
            HICON icon = image ? IconFromPng(image->bytes) : nullptr;
            if (icon == nullptr)
                continue;
            pictures->icons.push_back(icon);
            SendDlgItemMessageA(dialog, item.id, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        } else if (kind == SS_BITMAP) {
            const ImageResource* image = FindImage(ResImageKind::Bitmap, item.imageId);
            HBITMAP bitmap = image ? BitmapFromPng(image->bytes) : nullptr;
            if (bitmap != nullptr)
                bitmap = FitToControl(bitmap, GetDlgItem(dialog, item.id));
            if (bitmap == nullptr)
                continue;
            pictures->bitmaps.push_back(bitmap);
            SendDlgItemMessageA(dialog, item.id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
        }
    }
}

// ---------------------------------------------------------------- menus
HMENU BuildMenu(const MenuTemplate& table)
{
    HMENU bar = CreateMenu();
    for (const MenuPopupTemplate& popup : table.popups) {
        HMENU sub = CreatePopupMenu();
        for (const MenuItemTemplate& item : popup.items) {
            if (item.text == nullptr)
                AppendMenuW(sub, MF_SEPARATOR, 0, nullptr);
            else
                AppendMenuW(sub, MF_STRING, item.command, PlatWide(item.text).c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), PlatWide(popup.text).c_str());
    }
    return bar;
}

// Attaches the menu and keeps the client area the template asked for, as a
// menu named in a linked template would.
void AttachMenu(HWND dialog, int menuId)
{
    const MenuTemplate* table = FindMenu(menuId);
    if (table == nullptr)
        return;
    RECT before{};
    GetClientRect(dialog, &before);
    SetMenu(dialog, BuildMenu(*table));
    RECT after{};
    GetClientRect(dialog, &after);
    RECT window{};
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + (before.bottom - after.bottom), SWP_NOMOVE | SWP_NOZORDER);
}

// ---------------------------------------------------------------- layering
bool IsGroupBox(const DlgItemTemplate& item)
{
    return item.cls != nullptr && lstrcmpiA(item.cls, "BUTTON") == 0 && (item.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Inside(const DlgItemTemplate& inner, const DlgItemTemplate& outer)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.cx <= outer.x + outer.cx &&
           inner.y + inner.cy <= outer.y + outer.cy;
}

// A group box drawn round a tab control that follows it in the template
// (so lies under it in the z-order): a themed group box may paint its
// parent's background over its whole inside, as Wine's does, and the tabs
// are lost. The tab control takes the group box's place in the z-order and
// the group box no longer paints where the tab control is (WS_CLIPSIBLINGS).
// Nothing moves; the tab control starts the keyboard group the group box
// started, so arrow keys and Tab go where they went.
void LayerTabsOverGroupBoxes(HWND dialog, const DlgTemplate& tpl)
{
    // Right after creation the children are in template order.
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    if (children.size() != tpl.items.size())
        return;
    for (size_t g = 0; g < tpl.items.size(); ++g) {
        if (!IsGroupBox(tpl.items[g]))
            continue;
        for (size_t t = g + 1; t < tpl.items.size(); ++t) {
            const DlgItemTemplate& item = tpl.items[t];
            if (item.cls == nullptr || lstrcmpiA(item.cls, WC_TABCONTROLA) != 0 || !Inside(item, tpl.items[g]))
                continue;
            HWND group = children[g];
            HWND tab = children[t];
            HWND above = GetWindow(group, GW_HWNDPREV);
            SetWindowLongPtrA(tab, GWL_STYLE, GetWindowLongPtrA(tab, GWL_STYLE) | WS_GROUP);
            SetWindowPos(tab, above != nullptr ? above : HWND_TOP, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            SetWindowLongPtrA(group, GWL_STYLE, GetWindowLongPtrA(group, GWL_STYLE) | WS_CLIPSIBLINGS);
            SetWindowPos(group, nullptr, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        }
    }
}

// ---------------------------------------------------------------- the wrapper
// What the wrapper needs of one dialog. The dialog owns it from its
// WM_INITDIALOG to its WM_NCDESTROY; before that, the call creating it.
struct Binding {
    const DlgTemplate* table;
    DLGPROC proc;
    LPARAM initParam;
    Pictures pictures;
};

// The binding of the dialog being created on this thread, until the dialog
// claims it. A dialog procedure may create dialogs (pages) while it handles
// its own WM_INITDIALOG: it has claimed its own binding by then.
thread_local Binding* tUnclaimed;

// Frees a binding no dialog claimed: creation failed before WM_INITDIALOG.
void ReleaseUnclaimed(Binding* binding)
{
    if (tUnclaimed == binding) {
        tUnclaimed = nullptr;
        delete binding;
    }
}

const char kBindingProp[] = "mptest.binding";

INT_PTR CALLBACK WrapperProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto binding = reinterpret_cast<Binding*>(lParam);
        if (tUnclaimed == binding)
            tUnclaimed = nullptr;
        SetPropA(dialog, kBindingProp, binding);
        if (binding->table->menuId != 0)
            AttachMenu(dialog, binding->table->menuId);
        AttachPictures(dialog, *binding->table, &binding->pictures);
        LayerTabsOverGroupBoxes(dialog, *binding->table);
        return binding->proc(dialog, message, wParam, binding->initParam);
    }
    auto binding = static_cast<Binding*>(GetPropA(dialog, kBindingProp));
    if (binding == nullptr)
        return FALSE; // WM_SETFONT and the like, before WM_INITDIALOG
    INT_PTR result = binding->proc(dialog, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        RemovePropA(dialog, kBindingProp);
        delete binding;
    }
    return result;
}

} // namespace

void PlatSetResourceFinders(const PlatResourceFinders& finders)
{
    gFinders = finders;
}

const PlatResourceFinders& PlatCurrentResourceFinders()
{
    return gFinders;
}

INT_PTR PlatDialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam)
{
    const DlgTemplate* table = FindDialog(templateName);
    if (table == nullptr || proc == nullptr) {
        SetLastError(table == nullptr ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto binding = new Binding{table, proc, initParam, {}};
    tUnclaimed = binding;
    INT_PTR result = DialogBoxIndirectParamW(instance, TemplateOf(table), owner, WrapperProc,
                                             reinterpret_cast<LPARAM>(binding));
    ReleaseUnclaimed(binding);
    return result;
}

HWND PlatCreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND parent, DLGPROC proc,
                                    LPARAM initParam)
{
    const DlgTemplate* table = TableOf(dialogTemplate);
    if (table == nullptr || proc == nullptr) // not one of ours: the system's own
        return CreateDialogIndirectParamW(instance, dialogTemplate, parent, proc, initParam);
    auto binding = new Binding{table, proc, initParam, {}};
    tUnclaimed = binding;
    HWND dialog =
        CreateDialogIndirectParamW(instance, dialogTemplate, parent, WrapperProc, reinterpret_cast<LPARAM>(binding));
    ReleaseUnclaimed(binding);
    return dialog;
}

HWND PlatCreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    const DlgTemplate* table = FindDialog(templateName);
    if (table == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return PlatCreateDialogIndirectParamA(instance, TemplateOf(table), parent, proc, initParam);
}

HRSRC PlatFindResourceA(HMODULE, LPCSTR name, LPCSTR type)
{
    const DlgTemplate* table = type == RT_DIALOG ? FindDialog(name) : nullptr;
    if (table == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<DLGTEMPLATE*>(TemplateOf(table)));
}

HGLOBAL PlatLoadResource(HMODULE, HRSRC resource)
{
    return reinterpret_cast<HGLOBAL>(resource);
}

LPVOID PlatLockResource(HGLOBAL resource)
{
    return resource;
}

// The system's edit takes its whole text again: it has no cheaper way that
// counts in the program's UTF-8 bytes.
void PlatEditSplice(HWND edit, size_t dropBytes, std::string_view front, std::string_view append)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
    text.erase(0, std::min(dropBytes, text.size()));
    text.insert(0, front);
    text.append(append);
    SetWindowTextA(edit, text.c_str());
}

HICON PlatLoadIconA(HINSTANCE instance, LPCSTR name)
{
    const ImageResource* image = IS_INTRESOURCE(name)
                                     ? FindImage(ResImageKind::Icon, static_cast<int>(reinterpret_cast<uintptr_t>(name)))
                                     : nullptr;
    if (image == nullptr && instance == nullptr && IS_INTRESOURCE(name))
        return LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(name)); // a system icon (IDI_*)
    if (image == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return IconFromPng(image->bytes);
}
