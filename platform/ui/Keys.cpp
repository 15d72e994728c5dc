#include "Keys.h"

#include <QKeyEvent>

TKey KeyCodeOf(const QKeyEvent* event)
{
    const int key = event->key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return TKey(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return TKey(Keys::F1 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return Keys::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return Keys::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return Keys::Return;
    case Qt::Key_Shift: return Keys::Shift;
    case Qt::Key_Control: return Keys::Control;
    case Qt::Key_Alt: return Keys::Menu;
    case Qt::Key_Escape: return Keys::Escape;
    case Qt::Key_Space: return Keys::Space;
    case Qt::Key_PageUp: return Keys::PageUp;
    case Qt::Key_PageDown: return Keys::PageDown;
    case Qt::Key_End: return Keys::End;
    case Qt::Key_Home: return Keys::Home;
    case Qt::Key_Left: return Keys::Left;
    case Qt::Key_Up: return Keys::Up;
    case Qt::Key_Right: return Keys::Right;
    case Qt::Key_Down: return Keys::Down;
    case Qt::Key_Insert: return Keys::Insert;
    case Qt::Key_Delete: return Keys::Delete;
    default: return Keys::None;
    }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers)
{
    TShiftState state;
    state.setFlag(TShiftFlag::ssShift, modifiers.testFlag(Qt::ShiftModifier));
    state.setFlag(TShiftFlag::ssAlt, modifiers.testFlag(Qt::AltModifier));
    state.setFlag(TShiftFlag::ssCtrl, modifiers.testFlag(Qt::ControlModifier));
    return state;
}
