// Statics ("STATIC") on Qt Widgets: left or centred text that wraps, an icon
// (SS_ICON) or a bitmap (SS_BITMAP) from the program's pictures. A class this
// layer does not draw becomes an empty static, so the dialog procedure still
// finds the control.
#include "platform/qt/qtwin.h"

#include <QLabel>
#include <QPixmap>

namespace {

constexpr DWORD kStaticType = 0x1F;

QLabel* Label(PlatWindow* w)
{
    return static_cast<QLabel*>(w->widget);
}

QWidget* Create(PlatWindow* w, const DlgItemTemplate& item, QWidget* parent)
{
    w->kind = PlatKind::Static;
    auto* l = new QLabel(parent);
    if (!item.cls || QString::fromUtf8(item.cls).compare(QLatin1String("STATIC"), Qt::CaseInsensitive) != 0)
        return l;
    const DWORD type = item.style & kStaticType;
    if (type == SS_ICON || type == SS_BITMAP) {
        l->setPixmap(PlatQtImage(type == SS_ICON ? ResImageKind::Icon : ResImageKind::Bitmap, item.imageId));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop); // own size, clipped to the control
    } else {
        l->setText(QString::fromUtf8(item.text ? item.text : ""));
        l->setWordWrap(true);
        l->setAlignment((type == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    }
    return l;
}

void Placed(PlatWindow* w)
{
    w->widget->setFocusPolicy(Qt::NoFocus);
}

std::string Text(PlatWindow* w)
{
    return Label(w)->text().toStdString();
}

void SetText(PlatWindow* w, const char* text)
{
    Label(w)->setText(QString::fromUtf8(text ? text : ""));
}

} // namespace

const PlatQtFamily kPlatQtStatics{Create, Placed, Text, SetText, PlatQtTextMessage};
