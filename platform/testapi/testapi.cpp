// The platform's test API on top of the Qt window layer: real mouse and key
// events through QTest, recorded message boxes, a scripted file chooser.
#include "platform/testapi/shared.h"

#include "platform/qt/qtwin.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

namespace {

struct TestState {
    std::vector<const DlgTemplate*> templates;
    PlatTestDialogHook hook;
};

TestState& State()
{
    static TestState state;
    return state;
}

// Installs the layer's hooks once; they stay for the whole test program.
void Install()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    PlatQtEnsureApp();
    PlatQtHooks& hooks = PlatQtTestHooks();
    hooks.findDialog = [](LPCSTR name) -> const DlgTemplate* {
        if (!name)
            return nullptr;
        for (const DlgTemplate* t : State().templates)
            if (PlatTestSameName(name, t))
                return t;
        return nullptr;
    };
    hooks.dialogEnded = [](HWND dialog, INT_PTR result) { PlatTestEndedDialogs()[dialog] = result; };
    hooks.dialogCreated = [](HWND dialog) {
        if (State().hook)
            State().hook(dialog);
    };
}

PlatWindow* Control(HWND dialog, int id)
{
    HWND h = PlatTestFindControl(dialog, id);
    return PlatQtFind(h);
}

void DeleteLaterNow()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

HWND PlatTestOpenDialog(LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam)
{
    Install();
    const DlgTemplate* tpl = PlatQtFindDialogTemplate(templateName);
    if (!tpl) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return PlatQtCreateDialog(tpl, owner, proc, initParam, true);
}

void PlatTestDestroyAll()
{
    Install();
    for (HWND d : PlatQtOwnedDialogs(nullptr))
        DestroyWindow(d);
    PlatTestEndedDialogs().clear();
    DeleteLaterNow();
}

void PlatTestSetDialogHook(PlatTestDialogHook hook)
{
    Install();
    State().hook = std::move(hook);
}

void PlatTestAddDialogTemplate(const DlgTemplate* dialog)
{
    Install();
    State().templates.push_back(dialog);
}

void PlatTestClearDialogTemplates()
{
    State().templates.clear();
}

QWidget* PlatTestWidget(HWND window)
{
    PlatWindow* w = PlatQtFind(window);
    return w ? w->widget : nullptr;
}

bool PlatTestFocused(HWND dialog, int id)
{
    PlatWindow* w = Control(dialog, id);
    return w && w->widget->window()->focusWidget() == w->widget;
}

bool PlatTestFrameOver(HWND window)
{
    const PlatWindow* w = PlatQtFind(window);
    return w != nullptr && PlatQtFrameOver(w);
}

HWND PlatTestFindControl(HWND dialog, int id)
{
    if (HWND h = GetDlgItem(dialog, id))
        return h;
    for (HWND page : PlatQtOwnedDialogs(dialog))
        if (PlatWindow* p = PlatQtFind(page); p && (p->style & WS_CHILD))
            if (HWND h = PlatTestFindControl(page, id))
                return h;
    return nullptr;
}

// Fails the running test at the caller's line; outside a test, says so.
void PlatTestReport(const std::source_location& where, const std::string& message)
{
    if (QTest::currentTestFunction())
        QTest::qFail(message.c_str(), where.file_name(), static_cast<int>(where.line()));
    else
        std::fprintf(stderr, "%s:%u: %s\n", where.file_name(), static_cast<unsigned>(where.line()), message.c_str());
}

namespace {

// Why the control `id` cannot take an action, or empty when it can.
std::string Unusable(HWND dialog, int id, PlatWindow* w)
{
    if (!PlatQtFind(dialog))
        return "no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog));
    if (!w)
        return "no control " + std::to_string(id) + " in " + PlatTestDescribe(dialog);
    if (!w->widget->isVisible())
        return "control " + std::to_string(id) + " in " + PlatTestDescribe(dialog) + " is hidden";
    if (!w->widget->isEnabled())
        return "control " + std::to_string(id) + " in " + PlatTestDescribe(dialog) + " is disabled";
    return {};
}

} // namespace

bool PlatTestClick(HWND dialog, int id, std::source_location where)
{
    PlatWindow* w = Control(dialog, id);
    const std::string why = Unusable(dialog, id, w);
    if (!why.empty() && (!w || !w->widget->isVisible()))
        return PlatTestMissed(where, PlatTestAction("PlatTestClick", id) + ": " + why);
    QWidget* target = w->widget;
    QPoint at = target->rect().center();
    if (w->kind == PlatKind::RadioButton || w->kind == PlatKind::CheckBox) {
        QStyleOptionButton opt;
        opt.initFrom(target);
        at = target->style()
                 ->subElementRect(w->kind == PlatKind::RadioButton ? QStyle::SE_RadioButtonIndicator
                                                                   : QStyle::SE_CheckBoxIndicator,
                                  &opt, target)
                 .center();
    }
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at); // a disabled control ignores it
    if (!why.empty())
        return PlatTestMissed(where, PlatTestAction("PlatTestClick", id) + ": " + why);
    return PlatTestLanded(where, PlatTestAction("PlatTestClick", id));
}

std::string PlatTestFocusControl(HWND dialog, int id)
{
    PlatWindow* w = Control(dialog, id);
    if (std::string why = Unusable(dialog, id, w); !why.empty())
        return why;
    w->widget->window()->activateWindow();
    w->widget->setFocus(Qt::MouseFocusReason);
    return {};
}

bool PlatTestType(HWND dialog, int id, const std::string& utf8, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestType", id);
    if (const std::string why = PlatTestFocusControl(dialog, id); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    QWidget* target = Control(dialog, id)->widget;
    const bool readOnly = (qobject_cast<QLineEdit*>(target) && qobject_cast<QLineEdit*>(target)->isReadOnly())
        || (qobject_cast<QPlainTextEdit*>(target) && qobject_cast<QPlainTextEdit*>(target)->isReadOnly());
    const QStringList lines = QString::fromUtf8(utf8.c_str()).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(target, Qt::Key_Return);
        for (QChar ch : lines[i]) {
            if (ch.unicode() < 0x7F && ch.isPrint())
                QTest::keyClick(target, ch.toLatin1());
            else // characters no key of a US keyboard makes arrive as text
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    if (readOnly)
        return PlatTestMissed(where, action + ": control " + std::to_string(id) + " in " + PlatTestDescribe(dialog) + " is read-only");
    return PlatTestLanded(where, action);
}

bool PlatTestKey(HWND dialog, int qtKey, Qt::KeyboardModifiers modifiers, std::source_location where)
{
    PlatWindow* d = PlatQtFind(dialog);
    const std::string action = "PlatTestKey(" + QKeySequence(qtKey).toString().toStdString() + ")";
    if (!d)
        return PlatTestMissed(where, action + ": no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog)));
    QWidget* window = d->widget->window();
    if (!window->isVisible() || !window->isEnabled())
        return PlatTestMissed(where, action + ": " + PlatTestDescribe(dialog) + (window->isVisible() ? " is disabled" : " is hidden"));
    QWidget* target = window->focusWidget();
    if (!target || !window->isAncestorOf(target))
        target = d->widget;
    QTest::keyClick(target, static_cast<Qt::Key>(qtKey), modifiers);
    return PlatTestLanded(where, action);
}

bool PlatTestSelectComboRow(HWND dialog, int id, int row, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestSelectComboRow", id);
    PlatWindow* w = Control(dialog, id);
    if (const std::string why = Unusable(dialog, id, w); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    if (w->kind != PlatKind::Combo)
        return PlatTestMissed(where, action + ": control " + std::to_string(id) + " is no combo box");
    auto* combo = static_cast<QComboBox*>(w->widget);
    if (row < 0 || row >= combo->count())
        return PlatTestMissed(where, action + ": no row " + std::to_string(row) + " of " + std::to_string(combo->count()));
    // The user's click on the box comes first: it shows what the program set.
    PlatQtShowPendingText(w);
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QModelIndex index = combo->model()->index(row, combo->modelColumn());
    if (view->isVisible()) {
        // In the open list: the row under the pointer becomes current, Enter takes it.
        const QRect r = view->visualRect(index);
        QTest::mouseMove(view->viewport(), r.center());
        view->setCurrentIndex(index);
        QTest::keyClick(view, Qt::Key_Return);
    }
    if (view->isVisible())
        combo->hidePopup();
    return PlatTestLanded(where, action) && combo->currentIndex() == row;
}

bool PlatTestSelectTab(HWND dialog, int id, int index, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestSelectTab", id);
    PlatWindow* w = Control(dialog, id);
    if (const std::string why = Unusable(dialog, id, w); !why.empty())
        return PlatTestMissed(where, action + ": " + why);
    QTabBar* strip = PlatQtTabBar(w);
    if (!strip)
        return PlatTestMissed(where, action + ": control " + std::to_string(id) + " is no tab control");
    if (index < 0 || index >= strip->count())
        return PlatTestMissed(where, action + ": no tab " + std::to_string(index) + " of " + std::to_string(strip->count()));
    QTest::mouseClick(strip, Qt::LeftButton, Qt::NoModifier, strip->tabRect(index).center());
    return PlatTestLanded(where, action) && strip->currentIndex() == index;
}

bool PlatTestCloseBox(HWND dialog, std::source_location where)
{
    PlatWindow* d = PlatQtFind(dialog);
    if (!d || d->kind != PlatKind::Dialog)
        return PlatTestMissed(where, "PlatTestCloseBox: no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog)));
    if (!d->widget->isVisible() || !d->widget->isEnabled())
        return PlatTestMissed(
            where, "PlatTestCloseBox: " + PlatTestDescribe(dialog) + (d->widget->isVisible() ? " is disabled" : " is hidden"));
    d->widget->close(); // the close event, as the title bar's box sends it
    return PlatTestLanded(where, "PlatTestCloseBox");
}

bool PlatTestMenuCommand(HWND dialog, int command, std::source_location where)
{
    const std::string action = PlatTestAction("PlatTestMenuCommand", command);
    PlatWindow* d = PlatQtFind(dialog);
    if (!d)
        return PlatTestMissed(where, action + ": no dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog)));
    auto* bar = d->widget->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (!bar)
        return PlatTestMissed(where, action + ": " + PlatTestDescribe(dialog) + " has no menu");
    if (!bar->isEnabled())
        return PlatTestMissed(where, action + ": the menu of " + PlatTestDescribe(dialog) + " is disabled");
    for (QAction* top : bar->actions())
        if (QMenu* menu = top->menu())
            for (QAction* a : menu->actions())
                if (a->data().toInt() == command) {
                    if (!a->isEnabled() || !top->isEnabled())
                        return PlatTestMissed(where, action + ": the item is disabled");
                    a->trigger();
                    return PlatTestLanded(where, action);
                }
    return PlatTestMissed(where, action + ": no such item in the menu of " + PlatTestDescribe(dialog));
}

std::string PlatTestStatusText(HWND dialog, int barId, int part)
{
    HWND bar = PlatTestFindControl(dialog, barId);
    if (!bar)
        return {};
    const LRESULT n = LOWORD(SendMessageA(bar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(part), 0));
    std::string s(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(bar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(n));
    return s;
}

void PlatTestScriptChooser()
{
    Install();
    PlatQtTestHooks().fileChooser = [](const OPENFILENAMEA&, bool save, std::string& path) {
        PlatTestCountChooserCall(save);
        std::optional<std::string> next = PlatTestNextChooserAnswer();
        if (next)
            path = *next;
        return next.has_value();
    };
}

void PlatTestSetScreenSize(int width, int height)
{
    PlatQtTestHooks().screenWidth = width;
    PlatQtTestHooks().screenHeight = height;
}

bool PlatTestWaitFor(const std::function<bool()>& done, int timeoutMs)
{
    Install();
    QElapsedTimer clock;
    clock.start();
    // The tick bounds each wait for events, so `done` is asked at least this often.
    QTimer tick;
    tick.start(5);
    for (;;) {
        PlatQtDeliverSends();
        if (done())
            return true;
        if (clock.elapsed() >= timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        DeleteLaterNow();
    }
}

int PlatTestPendingSends()
{
    return PlatQtPendingSends();
}

void PlatTestPrepareEnvironment()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

// ---------------------------------------------------------------- the real boxes and chooser, loops
void PlatTestRunEventLoopUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    look.start(1);
    if (!done())
        loop.exec();
}

std::string PlatTestTitleBarText(HWND dialog)
{
    return PlatTestWidget(dialog)->windowTitle().toStdString();
}

bool PlatTestTitleBarHasIcon(HWND dialog)
{
    return !PlatTestWidget(dialog)->windowIcon().isNull();
}

QMessageBox* PlatTestShownMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            return box;
    return nullptr;
}

std::optional<PlatTestBoxOnScreen> PlatTestBoxShowing(HWND dialog)
{
    QMessageBox* box = PlatTestShownMessageBox();
    if (!box)
        return std::nullopt;
    return PlatTestBoxOnScreen{box->text().toStdString(), box->windowTitle().toStdString(),
                               box->parentWidget() != nullptr,
                               dialog != nullptr && box->parentWidget() == PlatTestWidget(dialog)->window()};
}

bool PlatTestAnswerBoxShowing()
{
    QMessageBox* box = PlatTestShownMessageBox();
    QAbstractButton* ok = box ? box->button(QMessageBox::Ok) : nullptr;
    if (ok)
        QTest::mouseClick(ok, Qt::LeftButton);
    return ok != nullptr;
}

// Into the window, where the window system delivers it: a modal window holds it back.
void PlatTestSystemClick(HWND dialog, int id)
{
    QWidget* control = PlatTestWidget(PlatTestFindControl(dialog, id));
    QWidget* top = control->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      control->mapTo(top, control->rect().center()));
}

std::vector<std::string> PlatTestChooser::filters() const
{
    std::vector<std::string> shown;
    if (auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo"))
        for (int i = 0; i < combo->count(); ++i)
            shown.push_back(combo->itemText(i).toStdString());
    return shown;
}

std::vector<std::string> PlatTestChooser::listed() const
{
    std::vector<std::string> names;
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (!model)
        return names;
    const QModelIndex parent = model->index(dialog->directory().absolutePath());
    for (int row = 0; row < model->rowCount(parent); ++row)
        names.push_back(model->fileName(model->index(row, 0, parent)).toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

// Typed, as a user may (selectFile leaves a name box that has the focus
// alone); accept() is what the Open button does.
void PlatTestChooser::choose(const std::string& name)
{
    if (auto* box = dialog->findChild<QLineEdit*>("fileNameEdit"))
        box->setText(QString::fromStdString(name));
    static_cast<QDialog*>(dialog)->accept();
}

void PlatTestChooser::cancel()
{
    dialog->reject();
}

bool PlatTestWithChooser(OPENFILENAMEA& ofn, BOOL& chosen, const std::function<void(PlatTestChooser&)>& look,
                         BOOL (*ask)(LPOPENFILENAMEA))
{
    bool found = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || found) {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && clock.elapsed() > 10000)
                modal->close();
            return;
        }
        found = true;
        PlatTestChooser chooser{dialog};
        look(chooser);
    });
    poll.start(10);
    chosen = ask(&ofn);
    return found;
}

PlatTestRepeat::PlatTestRepeat(int ms, std::function<void()> f) : f_(std::move(f))
{
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, [this] { f_(); });
    timer_->start(ms);
}

PlatTestRepeat::~PlatTestRepeat()
{
    delete timer_;
}
