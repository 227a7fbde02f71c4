// Statics ("STATIC") on Qt Widgets: left or centred text that wraps, an icon
// (SS_ICON) or a bitmap (SS_BITMAP) from the program's pictures. A class this
// layer does not draw becomes an empty static, so the dialog procedure still
// finds the control.
#include "platform/qt/qtwin.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QVariant>

// What an HBITMAP points to.
struct HBITMAP__ {
    QImage image;
};

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

LRESULT Message(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != STM_SETIMAGE)
        return PlatQtTextMessage(w, message, wParam, lParam);
    if (wParam != IMAGE_BITMAP)
        return 0;
    QLabel* label = Label(w);
    const auto before = label->property("platBitmap").value<quintptr>();
    auto* bitmap = reinterpret_cast<HBITMAP>(lParam);
    label->setPixmap(bitmap != nullptr ? QPixmap::fromImage(bitmap->image) : QPixmap());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setProperty("platBitmap", QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(bitmap)));
    return static_cast<LRESULT>(before);
}

} // namespace

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    if (width <= 0 || height <= 0 || planes != 1 || bitsPerPixel != 1)
        return nullptr;
    auto* bitmap = new HBITMAP__{QImage(width, height, QImage::Format_Mono)};
    bitmap->image.setColorCount(2);
    bitmap->image.setColor(0, qRgb(0, 0, 0));
    bitmap->image.setColor(1, qRgb(255, 255, 255));
    const int stride = (width + 15) / 16 * 2;
    const auto* rows = static_cast<const uchar*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap->image.setPixel(x, y, rows != nullptr && (rows[y * stride + x / 8] & (0x80 >> (x % 8))) ? 1 : 0);
    return bitmap;
}

BOOL DeleteObject(HGDIOBJ object)
{
    // Only bitmaps are made here.
    delete static_cast<HBITMAP>(object);
    return object != nullptr;
}

const PlatQtFamily kPlatQtStatics{Create, Placed, Text, SetText, Message};
