#pragma once
// Where the framework's own dialogs and popups go.
//
// They are made without a parent widget: the user-interface layer finds the
// control (and the form) of a widget through its parents, windows included,
// so a dialog parented to a form would have its keys previewed by that form
// (Enter turned into "next control", say). Instead the window below becomes
// the dialog's transient parent, which keeps the dialog in front of it, and
// the dialog is centred over it.
class QWidget;

// Centres `window` over the active window and makes that window its
// transient parent; without an active window it leaves `window` where it is.
void PlaceOverActiveWindow(QWidget* window);
