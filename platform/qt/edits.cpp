// Edit boxes ("EDIT") on Qt Widgets: single-line and ES_MULTILINE, read-only,
// with the notifications Windows sends: EN_CHANGE per user change (and per WM_SETTEXT
// on a single-line edit), EN_SETFOCUS, EN_KILLFOCUS.
#include "platform/qt/qtwin.h"
#include "platform/qt/text_control.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace {

// Program text to Qt: CR LF line breaks become Qt's LF.
QString EditText(const char* text)
{
    QString s = QString::fromUtf8(text ? text : "");
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}


// What both kinds of edit do alike: report focus.
template <typename Base> class Edit : public PlatQtTextControl<Base> {
public:
    Edit(HWND h, QWidget* parent) : PlatQtTextControl<Base>(h, parent) {}
    using PlatQtTextControl<Base>::hwnd;

protected:
    void focusInEvent(QFocusEvent* e) override
    {
        Base::focusInEvent(e);
        PlatQtNotify(hwnd, EN_SETFOCUS);
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        Base::focusOutEvent(e);
        PlatQtNotify(hwnd, EN_KILLFOCUS);
    }
};

class LineEdit : public Edit<QLineEdit> {
public:
    using Edit::Edit;
};

// The document position `bytes` into the text as Text() gives it (UTF-8,
// CR LF between blocks); a count past the end gives the end.
int PositionAfter(const QTextDocument* document, size_t bytes)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        int at = 0;
        while (at < text.size() && bytes > 0) {
            const bool pair = text[at].isHighSurrogate() && at + 1 < text.size();
            const char32_t c = pair ? QChar::surrogateToUcs4(text[at], text[at + 1]) : text[at].unicode();
            const size_t width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            bytes -= std::min(bytes, width);
            at += pair ? 2 : 1;
        }
        if (bytes < 2 || !block.next().isValid())
            return block.position() + at; // CR LF is the block's end
        bytes -= 2;
    }
    return document->characterCount() - 1;
}

class TextEdit : public Edit<QPlainTextEdit> {
public:
    // The document changes at its two ends only; the view stays at the end
    // when it was there.
    void splice(size_t dropBytes, std::string_view front, std::string_view append)
    {
        QTextDocument* doc = document();
        doc->setUndoRedoEnabled(false); // a view fed this way would keep every change
        QScrollBar* bar = verticalScrollBar();
        const bool following = bar->value() == bar->maximum();
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        if (dropBytes > 0) {
            cursor.setPosition(PositionAfter(doc, dropBytes), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        if (!front.empty()) {
            cursor.setPosition(0);
            cursor.insertText(EditText(std::string(front).c_str()));
        }
        if (!append.empty()) {
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(EditText(std::string(append).c_str()));
        }
        cursor.endEditBlock();
        if (following)
            bar->setValue(bar->maximum());
    }

    TextEdit(HWND h, QWidget* parent) : Edit(h, parent)
    {
        connect(this, &QPlainTextEdit::textChanged, this, [this] {
            if (batching)
                changed = true;
            else
                PlatQtNotify(hwnd, EN_CHANGE);
        });
    }

protected:
    // One user action is one EN_CHANGE, however many steps Qt takes for it
    // (a line break changes the document twice).
    bool batching = false;
    bool changed = false;
    template <typename F> void Batch(F&& f)
    {
        batching = true;
        changed = false;
        f();
        batching = false;
        if (changed)
            PlatQtNotify(hwnd, EN_CHANGE);
    }

    void keyPressEvent(QKeyEvent* e) override
    {
        PlatWindow* w = PlatQtFind(hwnd);
        const bool arrow = e->key() == Qt::Key_Up || e->key() == Qt::Key_Down;
        if (arrow && w && !PlatQtOfferKey(w, e->key() == Qt::Key_Up ? VK_UP : VK_DOWN))
            return;
        const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        // Without ES_WANTRETURN, Enter belongs to the dialog; Ctrl+Enter
        // still breaks the line.
        if (enter && w && !(w->style & ES_WANTRETURN) && !(e->modifiers() & Qt::ControlModifier)) {
            e->ignore();
            return;
        }
        if (enter && (e->modifiers() & Qt::ControlModifier)) {
            if (!isReadOnly())
                Batch([&] { insertPlainText(QStringLiteral("\n")); });
            return;
        }
        Batch([&] { QPlainTextEdit::keyPressEvent(e); });
    }
    void insertFromMimeData(const QMimeData* source) override
    {
        const QString text = source->text();
        Batch([&] { insertPlainText(text); });
    }
};

QWidget* Create(PlatWindow* w, const DlgItemTemplate& item, QWidget* parent)
{
    const HWND h = w->handle;
    if (item.style & ES_MULTILINE) {
        w->kind = PlatKind::MultiEdit;
        auto* e = new TextEdit(h, parent);
        e->setVerticalScrollBarPolicy((item.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        e->setHorizontalScrollBarPolicy((item.style & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        e->setLineWrapMode((item.style & (WS_HSCROLL | ES_AUTOHSCROLL)) ? QPlainTextEdit::NoWrap
                                                                         : QPlainTextEdit::WidgetWidth);
        e->setTabChangesFocus(true);
        e->setReadOnly(item.style & ES_READONLY);
        e->setPlainText(EditText(item.text));
        return e;
    }
    w->kind = PlatKind::Edit;
    auto* e = new LineEdit(h, parent);
    e->setReadOnly(item.style & ES_READONLY);
    e->setText(EditText(item.text));
    QObject::connect(e, &QLineEdit::textChanged, [h] { PlatQtNotify(h, EN_CHANGE); });
    return e;
}

std::string Text(PlatWindow* w)
{
    if (auto* line = dynamic_cast<LineEdit*>(w->widget))
        return line->text().toStdString();
    QString s = static_cast<TextEdit*>(w->widget)->toPlainText();
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return s.toStdString();
}

void SetText(PlatWindow* w, const char* text)
{
    if (auto* line = dynamic_cast<LineEdit*>(w->widget))
        line->setText(EditText(text));
    else
        static_cast<TextEdit*>(w->widget)->setPlainText(EditText(text));
}

LRESULT Message(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        PlatQtTextMessage(w, message, wParam, lParam);
        // A single-line edit reports the change; a multi-line one does not.
        if (w->kind == PlatKind::Edit)
            PlatQtNotify(w->handle, EN_CHANGE);
        return TRUE;
    default:
        return PlatQtTextMessage(w, message, wParam, lParam);
    }
}

} // namespace

// What the user does to an edit (or a drop-down's edit box) works on the
// text the program set last, even when the screen has not caught up with it.
bool PlatQtTouchesText(int eventType)
{
    switch (eventType) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Drop:
    case QEvent::FocusIn:
        return true;
    default:
        return false;
    }
}

const PlatQtFamily kPlatQtEdits{Create, nullptr, Text, SetText, Message};

void PlatEditSplice(HWND edit, size_t dropBytes, std::string_view front, std::string_view append)
{
    PlatWindow* w = PlatQtFind(edit);
    if (w == nullptr || w->kind != PlatKind::MultiEdit)
        return;
    if (w->pendingText) {
        // Not on the screen yet: the text to show changes.
        std::string& text = *w->pendingText;
        text.erase(0, std::min(dropBytes, text.size()));
        text.insert(0, front);
        text.append(append);
        return;
    }
    w->quiet = true; // the program's change, not the user's
    static_cast<TextEdit*>(w->widget)->splice(dropBytes, front, append);
    w->quiet = false;
}
