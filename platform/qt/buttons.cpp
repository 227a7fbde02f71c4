// Buttons ("BUTTON") on Qt Widgets: push buttons (one may be the default),
// auto and plain radio buttons (auto ones grouped by WS_GROUP as on
// Windows, not by Qt parents), auto and plain check boxes, group boxes.
// A click is BN_CLICKED to the dialog; BM_* read, set and click.
#include "platform/qt/qtwin.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {

constexpr DWORD kButtonType = 0xF;

bool IsAuto(const PlatWindow* w, DWORD autoType)
{
    return w && (w->style & kButtonType) == autoType;
}

// Auto buttons change their own state on a click (a radio button turns on,
// a check box turns over); the others leave it to the dialog procedure.
template <typename Base, DWORD AutoType> class Button : public Base {
public:
    Button(HWND h, QWidget* parent) : Base(parent), hwnd(h) {}
    HWND hwnd;

protected:
    void nextCheckState() override
    {
        if (IsAuto(PlatQtFind(hwnd), AutoType))
            this->setChecked(AutoType == BS_AUTORADIOBUTTON || !this->isChecked());
    }
};
using RadioButton = Button<QRadioButton, BS_AUTORADIOBUTTON>;
using CheckBox = Button<QCheckBox, BS_AUTOCHECKBOX>;

// The auto radio buttons of the WS_GROUP group around `radio`.
std::vector<PlatWindow*> RadioGroup(PlatWindow* radio)
{
    std::vector<PlatWindow*> all;
    for (HWND c : PlatQtChildren(radio->parent))
        if (PlatWindow* w = PlatQtFind(c))
            all.push_back(w);
    auto at = std::find(all.begin(), all.end(), radio);
    if (at == all.end())
        return {};
    auto first = at;
    while (first != all.begin() && !((*first)->style & WS_GROUP))
        --first;
    auto last = at + 1;
    while (last != all.end() && !((*last)->style & WS_GROUP))
        ++last;
    std::vector<PlatWindow*> group;
    for (auto it = first; it != last; ++it)
        if ((*it)->kind == PlatKind::RadioButton && IsAuto(*it, BS_AUTORADIOBUTTON))
            group.push_back(*it);
    return group;
}

QAbstractButton* AsButton(PlatWindow* w)
{
    return qobject_cast<QAbstractButton*>(w->widget);
}

void SetCheck(PlatWindow* w, bool on)
{
    if (QAbstractButton* b = AsButton(w)) {
        w->quiet = true;
        b->setChecked(on);
        w->quiet = false;
    }
}

QWidget* Create(PlatWindow* w, const DlgItemTemplate& item, QWidget* parent)
{
    const HWND h = w->handle;
    const QString text = QString::fromUtf8(item.text ? item.text : "");
    const DWORD type = item.style & kButtonType;
    if (type == BS_GROUPBOX) {
        w->kind = PlatKind::GroupBox;
        return new QGroupBox(text, parent);
    }
    QAbstractButton* b = nullptr;
    if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
        w->kind = PlatKind::RadioButton;
        auto* radio = new RadioButton(h, parent);
        radio->setAutoExclusive(false); // groups follow WS_GROUP, not Qt parents
        b = radio;
    } else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) {
        w->kind = PlatKind::CheckBox;
        b = new CheckBox(h, parent);
    } else {
        w->kind = PlatKind::PushButton;
        auto* push = new QPushButton(parent);
        push->setAutoDefault(false);
        push->setDefault(type == BS_DEFPUSHBUTTON);
        b = push;
    }
    b->setText(text);
    QObject::connect(b, &QAbstractButton::clicked, [h] {
        PlatWindow* c = PlatQtFind(h);
        if (!c)
            return;
        if (c->kind == PlatKind::RadioButton && IsAuto(c, BS_AUTORADIOBUTTON))
            for (PlatWindow* other : RadioGroup(c))
                if (other != c)
                    SetCheck(other, false);
        PlatQtNotify(h, BN_CLICKED);
    });
    return b;
}

void Placed(PlatWindow* w)
{
    if (w->kind == PlatKind::GroupBox) {
        w->widget->setFocusPolicy(Qt::NoFocus);
        w->widget->lower(); // under the controls it frames
    }
}

std::string Text(PlatWindow* w)
{
    if (auto* group = qobject_cast<QGroupBox*>(w->widget))
        return group->title().toStdString();
    return AsButton(w)->text().toStdString();
}

void SetText(PlatWindow* w, const char* text)
{
    const QString s = QString::fromUtf8(text ? text : "");
    if (auto* group = qobject_cast<QGroupBox*>(w->widget))
        group->setTitle(s);
    else
        AsButton(w)->setText(s);
}

LRESULT Message(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    QAbstractButton* b = AsButton(w);
    switch (message) {
    case BM_GETCHECK:
        return b && b->isCheckable() && b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
        if (w->kind == PlatKind::RadioButton || w->kind == PlatKind::CheckBox)
            SetCheck(w, wParam == BST_CHECKED);
        return 0;
    default:
        return PlatQtTextMessage(w, message, wParam, lParam);
    }
}

} // namespace

const PlatQtFamily kPlatQtButtons{Create, Placed, Text, SetText, Message};
