// What every dialog control shares, whatever its family: made from a
// template row by its class name, its text (stored at once, drawn at most
// once per frame), the text messages, and its notifications to the dialog.
// Each family (buttons.cpp, edits.cpp, combos.cpp, statics.cpp,
// statusbar.cpp, tabs.cpp) does the rest.
#include "platform/qt/qtwin.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::milliseconds(16);

struct ClassFamily {
    const char* cls;
    const PlatQtFamily* family;
};
const std::array<ClassFamily, 6> kFamilies{{
    {"BUTTON", &kPlatQtButtons},
    {"EDIT", &kPlatQtEdits},
    {"COMBOBOX", &kPlatQtCombos},
    {"STATIC", &kPlatQtStatics},
    {"msctls_statusbar32", &kPlatQtStatusBars},
    {"SysTabControl32", &kPlatQtTabs},
}};

// Classes this layer does not draw still exist as empty statics, so the
// dialog's procedure finds them.
const PlatQtFamily* FamilyOf(const char* cls)
{
    const QString name = QString::fromUtf8(cls ? cls : "");
    for (const ClassFamily& c : kFamilies)
        if (name.compare(QLatin1String(c.cls), Qt::CaseInsensitive) == 0)
            return c.family;
    return &kPlatQtStatics;
}

// Brings the screen up to date with what the program set.
void Show(PlatWindow* w)
{
    w->shownAt = Clock::now();
    if (w->pendingText) {
        const std::string text = std::move(*w->pendingText);
        w->pendingText.reset();
        w->quiet = true;
        w->family->setText(w, text.c_str());
        w->quiet = false;
    }
    if (w->showWhole || w->showArea.isEmpty())
        w->widget->update();
    else
        w->widget->update(w->showArea);
    w->showWhole = false;
    w->showArea = QRegion();
}

// The first change after a quiet frame at once, later ones when the frame is over.
void ShowWithinFrame(PlatWindow* w)
{
    if (w->frameQueued)
        return;
    const auto since = Clock::now() - w->shownAt;
    if (since >= kFrame) {
        Show(w);
        return;
    }
    w->frameQueued = true;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kFrame - since);
    QTimer::singleShot(wait, w->widget, [h = w->handle] {
        if (PlatWindow* c = PlatQtFind(h)) {
            c->frameQueued = false;
            Show(c);
        }
    });
}

} // namespace

int PlatQtCopyText(const std::string& text, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    // Never end on half a UTF-8 character.
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

void PlatQtShowSoon(PlatWindow* w)
{
    w->showWhole = true;
    ShowWithinFrame(w);
}

void PlatQtShowSoon(PlatWindow* w, const QRect& area)
{
    w->showArea += area;
    ShowWithinFrame(w);
}

bool PlatQtFrameOver(const PlatWindow* w)
{
    return !w->frameQueued && Clock::now() - w->shownAt >= kFrame;
}

void PlatQtShowPendingText(PlatWindow* w)
{
    if (w->pendingText)
        Show(w);
}

std::string PlatQtGetText(PlatWindow* w)
{
    if (w->dialog)
        return w->widget->windowTitle().toStdString();
    return w->pendingText ? *w->pendingText : w->family->text(w);
}

void PlatQtSetText(PlatWindow* w, const char* text)
{
    if (w->dialog) {
        w->widget->setWindowTitle(QString::fromUtf8(text ? text : ""));
        return;
    }
    w->pendingText = text ? text : "";
    PlatQtShowSoon(w);
}

void PlatQtNotify(HWND control, WORD code)
{
    PlatWindow* w = PlatQtFind(control);
    if (!w || w->quiet)
        return;
    PlatQtDispatch(w->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), code), reinterpret_cast<LPARAM>(control));
}

HWND PlatQtCreateControl(PlatWindow* dialog, const DlgItemTemplate& item)
{
    const PlatDialog& units = *dialog->dialog;
    const QRect geo(PlatQtUnitsX(units, item.x), PlatQtUnitsY(units, item.y), PlatQtUnitsX(units, item.cx),
                    PlatQtUnitsY(units, item.cy));

    auto rec = std::make_unique<PlatWindow>();
    rec->style = item.style;
    rec->id = item.id;
    rec->parent = dialog->handle;
    rec->family = FamilyOf(item.cls);
    rec->quiet = true; // making the control reports nothing
    PlatWindow* w = rec.get();
    const HWND h = PlatQtRegister(std::move(rec));

    QWidget* widget = w->family->create(w, item, dialog->client);
    w->widget = widget;
    widget->setProperty("platHwnd", QVariant::fromValue(reinterpret_cast<quintptr>(h)));
    widget->setFocusPolicy((item.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    widget->setGeometry(geo);
    if (w->family->placed)
        w->family->placed(w);
    widget->setEnabled(!(item.style & WS_DISABLED));
    widget->setVisible(item.style & WS_VISIBLE);
    w->quiet = false;
    return h;
}

LRESULT PlatQtTextMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        PlatQtSetText(w, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case WM_GETTEXT:
        return PlatQtCopyText(PlatQtGetText(w), reinterpret_cast<char*>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(PlatQtGetText(w).size());
    default:
        return 0;
    }
}

LRESULT PlatQtControlMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Anything but the text messages works on the text the program set last.
    if (message != WM_SETTEXT && message != WM_GETTEXT && message != WM_GETTEXTLENGTH)
        PlatQtShowPendingText(w);
    return w->family->message(w, message, wParam, lParam);
}
