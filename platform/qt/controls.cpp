// Dialog controls on Qt Widgets: buttons (push, auto radio in WS_GROUP
// groups, check box, group box), statics (text, icon, bitmap), edits,
// drop-down list combo boxes and status bars, with the messages each answers
// and the notifications each sends to its dialog.
#include "platform/qt/qtwin.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QValidator>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kButtonType = 0xF;
constexpr DWORD kStaticType = 0x1F;
constexpr int kMaxParts = 256;

PlatWindow* Rec(HWND h)
{
    return PlatQtFind(h);
}

// Auto buttons change their own state on a click; the others leave it to
// the dialog procedure.
class RadioButton : public QRadioButton {
public:
    RadioButton(HWND h, QWidget* parent) : QRadioButton(parent), hwnd(h) {}
    HWND hwnd;

protected:
    void nextCheckState() override
    {
        PlatWindow* w = Rec(hwnd);
        if (w && (w->style & kButtonType) == BS_AUTORADIOBUTTON)
            setChecked(true);
    }
};

class CheckBox : public QCheckBox {
public:
    CheckBox(HWND h, QWidget* parent) : QCheckBox(parent), hwnd(h) {}
    HWND hwnd;

protected:
    void nextCheckState() override
    {
        PlatWindow* w = Rec(hwnd);
        if (w && (w->style & kButtonType) == BS_AUTOCHECKBOX)
            setChecked(!isChecked());
    }
};

// Rejects user input beyond the text limit (EM_LIMITTEXT); text set by the
// program is not checked, as on Windows.
class LimitValidator : public QValidator {
public:
    LimitValidator(HWND h, QObject* parent) : QValidator(parent), hwnd(h) {}
    HWND hwnd;
    State validate(QString& input, int&) const override
    {
        PlatWindow* w = Rec(hwnd);
        return w && w->textLimit > 0 && input.size() > w->textLimit ? Invalid : Acceptable;
    }
};

class LineEdit : public QLineEdit {
public:
    LineEdit(HWND h, QWidget* parent) : QLineEdit(parent), hwnd(h) {}
    HWND hwnd;

protected:
    void focusInEvent(QFocusEvent* e) override
    {
        QLineEdit::focusInEvent(e);
        PlatQtNotify(hwnd, EN_SETFOCUS);
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        QLineEdit::focusOutEvent(e);
        PlatQtNotify(hwnd, EN_KILLFOCUS);
    }
};

class TextEdit : public QPlainTextEdit {
public:
    TextEdit(HWND h, QWidget* parent) : QPlainTextEdit(parent), hwnd(h)
    {
        connect(this, &QPlainTextEdit::textChanged, this, [this] {
            if (batching)
                changed = true;
            else
                PlatQtNotify(hwnd, EN_CHANGE);
        });
    }
    HWND hwnd;

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
        PlatWindow* w = Rec(hwnd);
        if (!w || w->textLimit <= 0)
            return INT_MAX;
        const int selected = textCursor().selectedText().size();
        return w->textLimit - (toPlainText().size() - selected);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        PlatWindow* w = Rec(hwnd);
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
    void focusInEvent(QFocusEvent* e) override
    {
        QPlainTextEdit::focusInEvent(e);
        PlatQtNotify(hwnd, EN_SETFOCUS);
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        QPlainTextEdit::focusOutEvent(e);
        PlatQtNotify(hwnd, EN_KILLFOCUS);
    }
};

// A status bar: parts with right edges, their texts stored as given and
// drawn on the next paint. Setting a text never lays anything out.
class StatusBar : public QWidget {
public:
    StatusBar(HWND h, QWidget* parent) : QWidget(parent), hwnd(h)
    {
        parent->installEventFilter(this);
    }
    HWND hwnd;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == parentWidget() && e->type() == QEvent::Resize)
            if (PlatWindow* w = Rec(hwnd))
                PlatQtPlaceStatusBar(w);
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        PlatWindow* w = Rec(hwnd);
        if (!w)
            return;
        QPainter p(this);
        int left = 0;
        for (size_t i = 0; i < w->parts.size(); ++i) {
            int right = w->parts[i] < 0 ? width() : std::min(w->parts[i], width());
            if (right <= left)
                continue;
            QRect r(left, 1, right - left - 2, height() - 2);
            p.setPen(palette().color(QPalette::Mid));
            p.drawRect(r.adjusted(0, 0, -1, -1));
            p.setPen(palette().color(QPalette::WindowText));
            const QString text = QString::fromUtf8(w->partTexts[i].data(), static_cast<int>(w->partTexts[i].size()));
            p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                       fontMetrics().elidedText(text, Qt::ElideRight, r.width() - 6));
            left = right;
        }
    }
};

// The auto radio buttons of the WS_GROUP group around `radio`.
std::vector<PlatWindow*> RadioGroup(PlatWindow* radio)
{
    std::vector<PlatWindow*> all;
    for (HWND c : PlatQtChildren(radio->parent))
        if (PlatWindow* w = Rec(c))
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
        if ((*it)->kind == PlatKind::RadioButton && ((*it)->style & kButtonType) == BS_AUTORADIOBUTTON)
            group.push_back(*it);
    return group;
}

QAbstractButton* Button(PlatWindow* w)
{
    return qobject_cast<QAbstractButton*>(w->widget);
}

void SetCheck(PlatWindow* w, bool on)
{
    if (QAbstractButton* b = Button(w)) {
        w->quiet = true;
        b->setChecked(on);
        w->quiet = false;
    }
}

QString EditText(const char* text)
{
    QString s = QString::fromUtf8(text ? text : "");
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
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

std::string PlatQtGetText(PlatWindow* w)
{
    QString s;
    switch (w->kind) {
    case PlatKind::Dialog:
        s = w->widget->windowTitle();
        break;
    case PlatKind::PushButton:
    case PlatKind::RadioButton:
    case PlatKind::CheckBox:
        s = Button(w)->text();
        break;
    case PlatKind::GroupBox:
        s = static_cast<QGroupBox*>(w->widget)->title();
        break;
    case PlatKind::Static:
        if (auto* l = qobject_cast<QLabel*>(w->widget))
            s = l->text();
        break;
    case PlatKind::Edit:
        s = static_cast<QLineEdit*>(w->widget)->text();
        break;
    case PlatKind::MultiEdit:
        s = static_cast<QPlainTextEdit*>(w->widget)->toPlainText();
        s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        break;
    case PlatKind::Combo:
        s = static_cast<QComboBox*>(w->widget)->currentText();
        break;
    case PlatKind::StatusBar:
        return w->partTexts.empty() ? std::string() : w->partTexts[0];
    case PlatKind::Tab:
        break;
    }
    return s.toStdString();
}

void PlatQtSetText(PlatWindow* w, const char* text)
{
    const QString s = QString::fromUtf8(text ? text : "");
    w->quiet = true;
    switch (w->kind) {
    case PlatKind::Dialog:
        w->widget->setWindowTitle(s);
        break;
    case PlatKind::PushButton:
    case PlatKind::RadioButton:
    case PlatKind::CheckBox:
        Button(w)->setText(s);
        break;
    case PlatKind::GroupBox:
        static_cast<QGroupBox*>(w->widget)->setTitle(s);
        break;
    case PlatKind::Static:
        if (auto* l = qobject_cast<QLabel*>(w->widget))
            l->setText(s);
        break;
    case PlatKind::Edit:
        static_cast<QLineEdit*>(w->widget)->setText(EditText(text));
        break;
    case PlatKind::MultiEdit:
        static_cast<QPlainTextEdit*>(w->widget)->setPlainText(EditText(text));
        break;
    case PlatKind::Combo:
        if (auto* c = static_cast<QComboBox*>(w->widget); c->isEditable())
            c->setEditText(s);
        break;
    case PlatKind::StatusBar:
        if (!w->partTexts.empty()) {
            w->partTexts[0].assign(text ? text : "");
            w->widget->update();
        }
        break;
    case PlatKind::Tab:
        break;
    }
    w->quiet = false;
}

void PlatQtNotify(HWND control, WORD code)
{
    PlatWindow* w = Rec(control);
    if (!w || w->quiet)
        return;
    PlatQtDispatch(w->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), code), reinterpret_cast<LPARAM>(control));
}

void PlatQtPlaceStatusBar(PlatWindow* bar)
{
    QWidget* parent = bar->widget->parentWidget();
    if (!parent)
        return;
    const int h = bar->widget->fontMetrics().height() + 8;
    bar->widget->setGeometry(0, parent->height() - h, parent->width(), h);
}

namespace {

PlatWindow* CreateStatusBar(PlatWindow* dialog, QWidget* container, DWORD style, const char* text, int id)
{
    auto rec = std::make_unique<PlatWindow>();
    rec->kind = PlatKind::StatusBar;
    rec->style = style;
    rec->id = id;
    rec->parent = dialog->handle;
    rec->parts = {-1};
    rec->partTexts = {text ? text : ""};
    PlatWindow* w = rec.get();
    HWND h = PlatQtRegister(std::move(rec));
    w->widget = new StatusBar(h, container);
    w->widget->setProperty("platHwnd", QVariant::fromValue(reinterpret_cast<quintptr>(h)));
    PlatQtPlaceStatusBar(w);
    w->widget->setVisible(style & WS_VISIBLE);
    w->widget->setEnabled(!(style & WS_DISABLED));
    return w;
}

int Px(int v, int base, int div)
{
    return static_cast<int>((static_cast<long long>(v) * base + div / 2) / div);
}

} // namespace

HWND PlatQtCreateControl(PlatWindow* dialog, const DlgItemTemplate& item)
{
    const std::string cls = item.cls ? item.cls : "";
    auto eq = [&](const char* name) { return QString::fromStdString(cls).compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
    QWidget* parent = dialog->client;
    const QRect geo(Px(item.x, dialog->baseX, 4), Px(item.y, dialog->baseY, 8), Px(item.cx, dialog->baseX, 4),
                    Px(item.cy, dialog->baseY, 8));
    const QString text = QString::fromUtf8(item.text ? item.text : "");

    if (eq("msctls_statusbar32"))
        return CreateStatusBar(dialog, parent, item.style, item.text, item.id)->handle;

    auto rec = std::make_unique<PlatWindow>();
    rec->style = item.style;
    rec->id = item.id;
    rec->parent = dialog->handle;
    rec->quiet = true; // making the control reports nothing
    PlatWindow* w = rec.get();
    HWND h = PlatQtRegister(std::move(rec));
    Qt::FocusPolicy focus = (item.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus;

    if (eq("BUTTON")) {
        const DWORD type = item.style & kButtonType;
        if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
            w->kind = PlatKind::RadioButton;
            auto* b = new RadioButton(h, parent);
            b->setAutoExclusive(false); // groups follow WS_GROUP, not Qt parents
            b->setText(text);
            w->widget = b;
        } else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) {
            w->kind = PlatKind::CheckBox;
            auto* b = new CheckBox(h, parent);
            b->setText(text);
            w->widget = b;
        } else if (type == BS_GROUPBOX) {
            w->kind = PlatKind::GroupBox;
            w->widget = new QGroupBox(text, parent);
            focus = Qt::NoFocus;
        } else {
            w->kind = PlatKind::PushButton;
            auto* b = new QPushButton(text, parent);
            b->setAutoDefault(false);
            b->setDefault(type == BS_DEFPUSHBUTTON);
            w->widget = b;
        }
        if (auto* b = qobject_cast<QAbstractButton*>(w->widget)) {
            QObject::connect(b, &QAbstractButton::clicked, [h] {
                PlatWindow* c = Rec(h);
                if (!c)
                    return;
                if (c->kind == PlatKind::RadioButton && (c->style & kButtonType) == BS_AUTORADIOBUTTON)
                    for (PlatWindow* other : RadioGroup(c))
                        if (other != c)
                            SetCheck(other, false);
                PlatQtNotify(h, BN_CLICKED);
            });
        }
    } else if (eq("EDIT")) {
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
            w->widget = e;
        } else {
            w->kind = PlatKind::Edit;
            auto* e = new LineEdit(h, parent);
            e->setReadOnly(item.style & ES_READONLY);
            e->setText(text);
            e->setValidator(new LimitValidator(h, e));
            QObject::connect(e, &QLineEdit::textChanged, [h] { PlatQtNotify(h, EN_CHANGE); });
            w->widget = e;
        }
    } else if (eq("SysTabControl32")) {
        w->kind = PlatKind::Tab;
        w->widget = PlatQtCreateTabControl(h, parent);
    } else if (eq("COMBOBOX")) {
        w->kind = PlatKind::Combo;
        auto* c = new QComboBox(parent);
        QObject::connect(c, &QComboBox::currentIndexChanged, [h](int) { PlatQtNotify(h, CBN_SELCHANGE); });
        if ((item.style & CBS_DROPDOWNLIST) == CBS_DROPDOWN) {
            // A drop-down with an edit box: its text is its own, and Enter
            // never adds it to the list.
            c->setEditable(true);
            c->setInsertPolicy(QComboBox::NoInsert);
            QObject::connect(c, &QComboBox::editTextChanged, [h] { PlatQtNotify(h, CBN_EDITCHANGE); });
        }
        w->widget = c;
    } else {
        // STATIC, and classes this layer does not draw (they still exist,
        // so the dialog's procedure finds them).
        w->kind = PlatKind::Static;
        auto* l = new QLabel(parent);
        focus = Qt::NoFocus;
        const DWORD type = item.style & kStaticType;
        if (eq("STATIC") && (type == SS_ICON || type == SS_BITMAP)) {
            QPixmap pm = PlatQtImage(type == SS_ICON ? ResImageKind::Icon : ResImageKind::Bitmap, item.imageId);
            l->setPixmap(pm);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop); // own size, clipped to the control
        } else if (eq("STATIC")) {
            l->setText(text);
            l->setWordWrap(true);
            l->setAlignment((type == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        }
        w->widget = l;
    }

    QWidget* wid = w->widget;
    wid->setProperty("platHwnd", QVariant::fromValue(reinterpret_cast<quintptr>(h)));
    wid->setFocusPolicy(focus);
    wid->setGeometry(geo);
    if (w->kind == PlatKind::Combo) // the template's height includes the drop-down list
        wid->setGeometry(geo.x(), geo.y(), geo.width(), wid->sizeHint().height());
    if (w->kind == PlatKind::GroupBox)
        wid->lower();
    wid->setEnabled(!(item.style & WS_DISABLED));
    wid->setVisible(item.style & WS_VISIBLE);
    w->quiet = false;
    return h;
}

HWND CreateStatusWindowA(LONG style, LPCSTR text, HWND parent, UINT id)
{
    PlatQtEnsureApp();
    PlatWindow* p = PlatQtFind(parent);
    if (!p || !p->client) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return CreateStatusBar(p, p->client, static_cast<DWORD>(style), text, static_cast<int>(id))->handle;
}

LRESULT PlatQtControlMessage(PlatWindow* w, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND h = w->handle;
    // Text, common to all controls.
    switch (message) {
    case WM_SETTEXT:
        if (w->kind == PlatKind::Combo && !static_cast<QComboBox*>(w->widget)->isEditable())
            return CB_ERR; // a drop-down list has no text of its own
        PlatQtSetText(w, reinterpret_cast<const char*>(lParam));
        // A single-line edit reports the change; a multi-line one does not.
        if (w->kind == PlatKind::Edit)
            PlatQtNotify(h, EN_CHANGE);
        return TRUE;
    case WM_GETTEXT:
        return PlatQtCopyText(PlatQtGetText(w), reinterpret_cast<char*>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(PlatQtGetText(w).size());
    default:
        break;
    }

    switch (w->kind) {
    case PlatKind::PushButton:
    case PlatKind::RadioButton:
    case PlatKind::CheckBox: {
        QAbstractButton* b = Button(w);
        switch (message) {
        case BM_GETCHECK:
            return b->isCheckable() && b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            if (w->kind != PlatKind::PushButton)
                SetCheck(w, wParam == BST_CHECKED);
            return 0;
        case BM_CLICK:
            b->click(); // nothing for a disabled button
            return 0;
        }
        return 0;
    }
    case PlatKind::Edit:
    case PlatKind::MultiEdit:
        switch (message) {
        case EM_LIMITTEXT:
            w->textLimit = wParam ? static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0;
            return 0;
        case EM_SETSEL: {
            const int len = static_cast<int>(QString::fromStdString(PlatQtGetText(w)).size());
            int start = static_cast<int>(static_cast<intptr_t>(wParam));
            int end = static_cast<int>(lParam);
            if (start < 0) { // -1: no selection
                start = end = -1;
            }
            if (end < 0 || end > len)
                end = len;
            if (start > len)
                start = len;
            if (auto* e = qobject_cast<QLineEdit*>(w->widget)) {
                if (start < 0)
                    e->deselect();
                else
                    e->setSelection(start, end - start);
            } else if (auto* t = qobject_cast<QPlainTextEdit*>(w->widget)) {
                QTextCursor c = t->textCursor();
                if (start < 0) {
                    c.clearSelection();
                } else {
                    c.setPosition(std::min(start, t->document()->characterCount() - 1));
                    c.setPosition(std::min(end, t->document()->characterCount() - 1), QTextCursor::KeepAnchor);
                }
                t->setTextCursor(c);
            }
            return 0;
        }
        case EM_REPLACESEL: {
            const QString s = EditText(reinterpret_cast<const char*>(lParam));
            w->quiet = true;
            if (auto* e = qobject_cast<QLineEdit*>(w->widget))
                e->insert(s);
            else if (auto* t = qobject_cast<QPlainTextEdit*>(w->widget))
                t->insertPlainText(s);
            w->quiet = false;
            PlatQtNotify(h, EN_CHANGE);
            return 0;
        }
        }
        return 0;
    case PlatKind::Combo: {
        auto* c = static_cast<QComboBox*>(w->widget);
        switch (message) {
        case CB_ADDSTRING: {
            // A Windows list keeps "no selection" when a row is added.
            const int before = c->currentIndex();
            const QString text = c->currentText();
            w->quiet = true;
            c->addItem(QString::fromUtf8(reinterpret_cast<const char*>(lParam)));
            c->setCurrentIndex(before);
            if (c->isEditable()) {
                c->setEditText(text); // the edit box keeps what it holds
                // The list opens wide enough for its longest row.
                c->view()->setMinimumWidth(std::max(c->width(), c->view()->sizeHintForColumn(0) + 24));
            }
            w->quiet = false;
            return c->count() - 1;
        }
        case CB_RESETCONTENT:
            w->quiet = true;
            c->clear();
            w->quiet = false;
            return TRUE;
        case CB_GETCOUNT:
            return c->count();
        case CB_GETCURSEL:
            return c->currentIndex() < 0 ? CB_ERR : c->currentIndex();
        case CB_SETCURSEL: {
            const int index = static_cast<int>(static_cast<intptr_t>(wParam));
            w->quiet = true;
            const bool ok = index >= 0 && index < c->count();
            c->setCurrentIndex(ok ? index : -1);
            w->quiet = false;
            return ok ? index : CB_ERR;
        }
        case CB_GETLBTEXT:
        case CB_GETLBTEXTLEN: {
            const int index = static_cast<int>(static_cast<intptr_t>(wParam));
            if (index < 0 || index >= c->count())
                return CB_ERR;
            const std::string s = c->itemText(index).toStdString();
            if (message == CB_GETLBTEXT) {
                // The buffer is the caller's and must hold the whole row.
                std::memcpy(reinterpret_cast<char*>(lParam), s.c_str(), s.size() + 1);
            }
            return static_cast<LRESULT>(s.size());
        }
        }
        return 0;
    }
    case PlatKind::StatusBar:
        switch (message) {
        case SB_SETPARTS: {
            const int n = static_cast<int>(wParam);
            const int* edges = reinterpret_cast<const int*>(lParam);
            if (n < 1 || n > kMaxParts || !edges)
                return FALSE;
            w->parts.assign(edges, edges + n);
            w->partTexts.resize(static_cast<size_t>(n));
            w->widget->update();
            return TRUE;
        }
        case SB_GETPARTS: {
            int* edges = reinterpret_cast<int*>(lParam);
            const size_t n = std::min(static_cast<size_t>(wParam), w->parts.size());
            if (edges)
                std::copy_n(w->parts.begin(), n, edges);
            return static_cast<LRESULT>(w->parts.size());
        }
        case SB_SETTEXTA: {
            const size_t part = LOBYTE(wParam);
            if (part >= w->partTexts.size())
                return FALSE;
            const char* text = reinterpret_cast<const char*>(lParam);
            w->partTexts[part].assign(text ? text : ""); // keeps its buffer once grown
            w->widget->update();
            return TRUE;
        }
        case SB_GETTEXTA:
        case SB_GETTEXTLENGTHA: {
            const size_t part = LOBYTE(wParam);
            if (part >= w->partTexts.size())
                return 0;
            const std::string& s = w->partTexts[part];
            if (message == SB_GETTEXTA && lParam)
                std::memcpy(reinterpret_cast<char*>(lParam), s.c_str(), s.size() + 1);
            return MAKELONG(static_cast<WORD>(s.size()), 0);
        }
        case WM_SIZE:
            PlatQtPlaceStatusBar(w);
            return 0;
        }
        return 0;
    case PlatKind::Tab:
        return PlatQtTabMessage(w, message, wParam, lParam);
    default:
        return 0;
    }
}
