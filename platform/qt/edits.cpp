// Edit boxes ("EDIT") on Qt Widgets: single-line and ES_MULTILINE, read-only,
// with the user's text limit (EM_LIMITTEXT), the selection messages, and the
// notifications Windows sends: EN_CHANGE per user change (and per WM_SETTEXT
// on a single-line edit), EN_SETFOCUS, EN_KILLFOCUS.
#include "platform/qt/qtwin.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QValidator>

#include <algorithm>
#include <climits>

namespace {

// Program text to Qt: CR LF line breaks become Qt's LF.
QString EditText(const char* text)
{
    QString s = QString::fromUtf8(text ? text : "");
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}


// What both kinds of edit do alike: report focus, and let the user work on
// the text the program set last. The limit lives with the widget; 0: none set.
template <typename Base> class Edit : public Base {
public:
    Edit(HWND h, QWidget* parent) : Base(parent), hwnd(h) {}
    HWND hwnd;
    int limit = 0;

protected:
    bool event(QEvent* e) override
    {
        if (PlatQtTouchesText(e->type()))
            if (PlatWindow* w = PlatQtFind(hwnd))
                PlatQtShowPendingText(w);
        return Base::event(e);
    }
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

// Rejects user input beyond the text limit; text set by the program is not
// checked, as on Windows.
class LimitValidator : public QValidator {
public:
    explicit LimitValidator(LineEdit* edit) : QValidator(edit), edit(edit) {}
    LineEdit* edit;
    State validate(QString& input, int&) const override
    {
        return edit->limit > 0 && input.size() > edit->limit ? Invalid : Acceptable;
    }
};

class TextEdit : public Edit<QPlainTextEdit> {
public:
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

    int Room() const
    {
        if (limit <= 0)
            return INT_MAX;
        const int selected = textCursor().selectedText().size();
        return limit - (toPlainText().size() - selected);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        PlatWindow* w = PlatQtFind(hwnd);
        const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        // Without ES_WANTRETURN, Enter belongs to the dialog; Ctrl+Enter
        // still breaks the line.
        if (enter && w && !(w->style & ES_WANTRETURN) && !(e->modifiers() & Qt::ControlModifier)) {
            e->ignore();
            return;
        }
        if (enter && (e->modifiers() & Qt::ControlModifier)) {
            if (Room() >= 1 && !isReadOnly())
                Batch([&] { insertPlainText(QStringLiteral("\n")); });
            return;
        }
        if (!e->text().isEmpty() && e->text().at(0).isPrint() && Room() < e->text().size())
            return; // over the limit: the key does nothing
        if (enter && Room() < 1)
            return;
        Batch([&] { QPlainTextEdit::keyPressEvent(e); });
    }
    void insertFromMimeData(const QMimeData* source) override
    {
        QString text = source->text();
        const int room = Room();
        if (room <= 0)
            return;
        if (text.size() > room)
            text.truncate(room);
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
    e->setValidator(new LimitValidator(e));
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

void Select(PlatWindow* w, int start, int end)
{
    const int len = static_cast<int>(QString::fromStdString(Text(w)).size());
    if (start < 0) // -1: no selection
        start = end = -1;
    if (end < 0 || end > len)
        end = len;
    if (start > len)
        start = len;
    if (auto* line = dynamic_cast<LineEdit*>(w->widget)) {
        if (start < 0)
            line->deselect();
        else
            line->setSelection(start, end - start);
        return;
    }
    auto* t = static_cast<TextEdit*>(w->widget);
    QTextCursor c = t->textCursor();
    if (start < 0) {
        c.clearSelection();
    } else {
        const int last = t->document()->characterCount() - 1;
        c.setPosition(std::min(start, last));
        c.setPosition(std::min(end, last), QTextCursor::KeepAnchor);
    }
    t->setTextCursor(c);
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
    case EM_LIMITTEXT: {
        const int limit = wParam ? static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0;
        if (auto* line = dynamic_cast<LineEdit*>(w->widget))
            line->limit = limit;
        else
            static_cast<TextEdit*>(w->widget)->limit = limit;
        return 0;
    }
    case EM_SETSEL:
        Select(w, static_cast<int>(static_cast<intptr_t>(wParam)), static_cast<int>(lParam));
        return 0;
    case EM_REPLACESEL: {
        const QString s = EditText(reinterpret_cast<const char*>(lParam));
        w->quiet = true;
        if (auto* line = dynamic_cast<LineEdit*>(w->widget))
            line->insert(s);
        else
            static_cast<TextEdit*>(w->widget)->insertPlainText(s);
        w->quiet = false;
        PlatQtNotify(w->handle, EN_CHANGE);
        return 0;
    }
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
