#include "EventRouter.h"

#include "Dispatch.h"
#include "Form.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

TWinControl* WinControlOf(const QWidget* widget)
{
    for (TControl* c = ControlOf(widget); c; c = c->Parent())
        if (auto* win = dynamic_cast<TWinControl*>(c))
            return win;
    return nullptr;
}

// The character a key types, as OnKeyPress sees it, or a null QChar.
QChar CharOf(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(13);
    case Qt::Key_Escape: return QChar(27);
    case Qt::Key_Backspace: return QChar(8);
    default: break;
    }
    const QString text = event->text();
    return text.size() == 1 && text.at(0).isPrint() ? text.at(0) : QChar();
}

void FocusArrived(QWidget* widget)
{
    TWinControl* control = WinControlOf(widget);
    TForm* form = control ? control->Form() : nullptr;
    if (!form || control == form)
        return;
    Dispatch(form, [form, control] { form->Focus().Arrived(control); });
}

// Qt gives the focus on a click before the click is delivered; if the
// control it was meant for did not keep it, the click is refused.
//
// In a window that is not active Qt only remembers the focus for when the
// window becomes active, and the window system may activate it after the
// click is delivered (with no window manager, the first click after a modal
// dialog closed). The move runs here then, so that the click is judged, and
// acts, as in an active window; the activation that follows finds the focus
// where the model already has it.
bool ClickRefused(QWidget* widget)
{
    QWidget* wanted = widget;
    while (wanted && !(wanted->focusPolicy() & Qt::ClickFocus) && !wanted->isWindow())
        wanted = wanted->parentWidget();
    if (!wanted || !(wanted->focusPolicy() & Qt::ClickFocus))
        return false;
    TWinControl* control = WinControlOf(wanted);
    TForm* form = control ? control->Form() : nullptr;
    if (!form || control == form)
        return false;
    const QWidget* window = wanted->window();
    if (!window->isActiveWindow() && WinControlOf(window->focusWidget()) == control)
        Dispatch(form, [form, control] { form->Focus().Arrived(control); });
    return WinControlOf(window->focusWidget()) != control;
}

} // namespace

bool TEventRouter::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::FocusIn:
        FocusArrived(widget);
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return event->spontaneous() && ClickRefused(widget);
    case QEvent::KeyPress: break;
    default: return false;
    }

    if (resending_ || widget != QApplication::focusWidget())
        return false;
    TWinControl* control = WinControlOf(widget);
    TForm* form = control ? control->Form() : nullptr;
    if (!form || !form->KeyPreview())
        return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    TKey key = KeyCodeOf(keyEvent);
    QChar typed = CharOf(keyEvent);
    bool swallowed = false;
    Dispatch(form, [&] {
        if (key != Keys::None) {
            form->OnKeyDown(form, key, ShiftStateOf(keyEvent->modifiers()));
            if (key == Keys::None) {
                swallowed = true;
                return;
            }
        }
        if (typed.isNull())
            return;
        const QChar original = typed;
        form->OnKeyPress(form, typed);
        if (typed == original)
            return;
        swallowed = true;
        if (typed.isNull())
            return;
        QKeyEvent replacement(QEvent::KeyPress, 0, keyEvent->modifiers(), QString(typed));
        resending_ = true;
        QCoreApplication::sendEvent(widget, &replacement);
        resending_ = false;
    });
    return swallowed;
}
