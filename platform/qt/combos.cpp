// Combo boxes ("COMBOBOX") on Qt Widgets: drop-down lists whose rows the
// program adds; the user's choice is CBN_SELCHANGE, the program's choice
// (CB_SETCURSEL) reports nothing. A CBS_DROPDOWN combo also has an edit box
// of its own, whose typing is CBN_EDITCHANGE.
#include "platform/qt/qtwin.h"
#include "platform/qt/text_control.h"

#include <QAbstractItemView>
#include <QComboBox>

#include <algorithm>

#include <cstring>

namespace {

QComboBox* Combo(PlatWindow* w)
{
    return static_cast<QComboBox*>(w->widget);
}

using ComboBox = PlatQtTextControl<QComboBox>;

QWidget* Create(PlatWindow* w, const DlgItemTemplate& item, QWidget* parent)
{
    w->kind = PlatKind::Combo;
    auto* c = new ComboBox(w->handle, parent);
    const HWND h = w->handle;
    QObject::connect(c, &QComboBox::currentIndexChanged, [h](int) { PlatQtNotify(h, CBN_SELCHANGE); });
    if ((item.style & CBS_DROPDOWNLIST) == CBS_DROPDOWN) {
        // Its text is its own, and Enter never adds it to the list.
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        QObject::connect(c, &QComboBox::editTextChanged, [h] { PlatQtNotify(h, CBN_EDITCHANGE); });
        // A row picked from the list is what the edit box holds, even the
        // row that was current already (typing changes no current row).
        QObject::connect(c, &QComboBox::activated, c, [c, h](int row) {
            if (PlatWindow* pick = PlatQtFind(h))
                pick->pendingText.reset(); // older than the pick
            c->setEditText(c->itemText(row));
        });
        // A path longer than the box is still read whole, as its tooltip.
        QObject::connect(c, &QComboBox::editTextChanged, c, [c](const QString& text) { c->setToolTip(text); });
    }
    return c;
}

// The template's height includes the drop-down list; the box itself is one row.
void Placed(PlatWindow* w)
{
    const QRect r = w->widget->geometry();
    w->widget->setGeometry(r.x(), r.y(), r.width(), w->widget->sizeHint().height());
}

std::string Text(PlatWindow* w)
{
    return Combo(w)->currentText().toStdString();
}

// A drop-down list has no text of its own; a drop-down's edit box has.
void SetText(PlatWindow* w, const char* text)
{
    if (Combo(w)->isEditable())
        Combo(w)->setEditText(QString::fromUtf8(text));
}

LRESULT Message(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    QComboBox* c = Combo(w);
    const int index = static_cast<int>(static_cast<intptr_t>(wParam));
    switch (message) {
    case WM_SETTEXT:
        if (!c->isEditable())
            return CB_ERR;
        break;
    case CB_ADDSTRING: {
        // A Windows list keeps "no selection" when a row is added.
        const int before = c->currentIndex();
        const QString typed = c->currentText();
        w->quiet = true;
        c->addItem(QString::fromUtf8(reinterpret_cast<const char*>(lParam)));
        c->setCurrentIndex(before);
        if (c->isEditable()) {
            c->setEditText(typed); // the edit box keeps what it holds
            // The list opens wide enough for its longest row.
            c->view()->setMinimumWidth(std::max(c->width(), c->view()->sizeHintForColumn(0) + 24));
        }
        w->quiet = false;
        return c->count() - 1;
    }
    case CB_RESETCONTENT: {
        // The rows go; a drop-down's edit box keeps what it holds.
        const QString typed = c->currentText();
        w->quiet = true;
        c->clear();
        if (c->isEditable())
            c->setEditText(typed);
        w->quiet = false;
        return CB_OKAY;
    }
    case CB_GETCOUNT:
        return c->count();
    case CB_GETCURSEL:
        return c->currentIndex() < 0 ? CB_ERR : c->currentIndex();
    case CB_SETCURSEL: {
        w->quiet = true;
        const bool ok = index >= 0 && index < c->count();
        c->setCurrentIndex(ok ? index : -1);
        w->quiet = false;
        return ok ? index : CB_ERR;
    }
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: {
        if (index < 0 || index >= c->count())
            return CB_ERR;
        const std::string s = c->itemText(index).toStdString();
        // The buffer is the caller's and must hold the whole row.
        if (message == CB_GETLBTEXT)
            std::memcpy(reinterpret_cast<char*>(lParam), s.c_str(), s.size() + 1);
        return static_cast<LRESULT>(s.size());
    }
    default:
        break;
    }
    return PlatQtTextMessage(w, message, wParam, lParam);
}

} // namespace

const PlatQtFamily kPlatQtCombos{Create, Placed, Text, SetText, Message};
