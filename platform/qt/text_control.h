// A control the user types into (an edit, a drop-down's edit box). The
// program's changes reach the screen at most once a frame, so before the
// user's input lands, the text the program set last is shown: the user
// always works on that text.
#pragma once

#include "platform/qt/qtwin.h"

#include <QEvent>
#include <QWidget>

template <typename Base> class PlatQtTextControl : public Base {
public:
    PlatQtTextControl(HWND h, QWidget* parent) : Base(parent), hwnd(h) {}
    HWND hwnd;

protected:
    bool event(QEvent* e) override
    {
        if (PlatQtTouchesText(e->type()))
            if (PlatWindow* w = PlatQtFind(hwnd))
                PlatQtShowPendingText(w);
        return Base::event(e);
    }
};
