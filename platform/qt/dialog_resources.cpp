// Dialog templates as resources: find, load and lock an RT_DIALOG resource
// of the program's tables, and build a modeless dialog (a tab page) from a
// locked template. The locked template is the table row itself.
#include "platform/qt/qtwin.h"

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type)
{
    if (type != RT_DIALOG) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const DlgTemplate* tpl = PlatQtFindDialogTemplate(name);
    if (!tpl) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<DlgTemplate*>(tpl));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    return reinterpret_cast<HGLOBAL>(resource);
}

LPVOID LockResource(HGLOBAL resource)
{
    return resource;
}

HWND CreateDialogIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA dialogTemplate, HWND parent, DLGPROC proc,
                                LPARAM initParam)
{
    PlatQtEnsureApp();
    if (!dialogTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return PlatQtCreateDialog(reinterpret_cast<const DlgTemplate*>(dialogTemplate), parent, proc, initParam, false);
}
