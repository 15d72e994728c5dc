#pragma once
// Key codes and shift states as handlers see them: one code per key
// (letters by their capital, digits by themselves, Enter 13, Escape 27...),
// independent of the character the key types.
#include <QFlags>
#include <QtGlobal>
#include <qnamespace.h>

class QKeyEvent;

using TKey = quint16;

namespace Keys {
constexpr TKey None = 0;
constexpr TKey Back = 8;
constexpr TKey Tab = 9;
constexpr TKey Return = 13;
constexpr TKey Shift = 16;
constexpr TKey Control = 17;
constexpr TKey Menu = 18;
constexpr TKey Escape = 27;
constexpr TKey Space = 32;
constexpr TKey PageUp = 33;
constexpr TKey PageDown = 34;
constexpr TKey End = 35;
constexpr TKey Home = 36;
constexpr TKey Left = 37;
constexpr TKey Up = 38;
constexpr TKey Right = 39;
constexpr TKey Down = 40;
constexpr TKey Insert = 45;
constexpr TKey Delete = 46;
constexpr TKey F1 = 112; // F2..F12 follow
} // namespace Keys

enum class TShiftFlag { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
Q_DECLARE_FLAGS(TShiftState, TShiftFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

// The code of the key of `event`, or Keys::None for keys without one.
TKey KeyCodeOf(const QKeyEvent* event);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);
