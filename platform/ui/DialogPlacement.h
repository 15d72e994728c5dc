#pragma once
// Where dialogs and popups go.
//
// They are made without a parent widget. A parent would own them: a dialog
// waiting on the stack would be destroyed under its own feet when the window
// below goes first (a reading screen closed and deleted, say). And the
// user-interface layer finds the control (and the form) of a widget through
// its parents, windows included, so a dialog parented to a form would have
// its keys previewed by that form (Enter turned into "next control", say).
// Instead the window below becomes the dialog's transient parent, which keeps
// the dialog in front of it without owning it, and the dialog is centred
// over it.
class QWidget;

// Centres `window` over the active window and makes that window its
// transient parent. Without an active window, or when the active one is
// hidden (it was closed and the platform has not yet named the next one), it
// leaves `window` where it is, free of any transient parent.
void PlaceOverActiveWindow(QWidget* window);
