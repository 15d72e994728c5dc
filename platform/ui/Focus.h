#pragma once
// The focus model of one form: which control the focus is in, as far as the
// exit and enter handlers have run, and the moves between controls.
//
// Moving from A to B runs OnExit from A up through its containers to (not
// including) the first container A and B share, then OnEnter from below that
// container down to B; just before B's own OnEnter the form's FocusEntering
// learns that B is being entered.
//
//   - An exit handler that raises stops the move: the focus goes back to A,
//     or stays wherever the handler itself moved it; the exception goes on to
//     whoever asked for the move.
//   - A handler that moves the focus itself (a nested move) ends the outer
//     move: the nested one stands.
//   - An enter handler that raises stops the remaining enters; Qt's focus
//     stays on B and the model on the control whose enter raised.
//
// Moves come from SetFocus (MoveTo, exceptions to the caller) and from Qt
// (Arrived: a click, the window coming back, a dialog closing; the caller is
// the dispatch boundary). While a move runs its handlers, Qt's own focus
// changes (a message box taking the focus and giving it back) are not moves:
// the model puts Qt's focus where it belongs when the move ends.
#include <QPointer>

class TForm;
class TWinControl;

class TFocusModel {
public:
    explicit TFocusModel(TForm* form) : form_(form) {}

    // The control the focus is in, or nullptr before any.
    TWinControl* Active() const { return active_; }
    void MoveTo(TWinControl* target);
    // Qt gave `control` the focus; if the model has it elsewhere, runs the move.
    void Arrived(TWinControl* control);
    // `control` leaves the form (destroyed or moved away).
    void Forget(TWinControl* control);
    // The next (or previous) control the Tab key reaches after `from`, or
    // nullptr when no other control can take the focus.
    TWinControl* FindNext(TWinControl* from, bool forward) const;

private:
    // Puts Qt's focus on the active control (only while a move runs, so
    // that the focus change it causes is not taken for a move).
    void SyncQtFocus();

    TForm* form_;
    TWinControl* active_ = nullptr;
    unsigned moves_ = 0;
    int running_ = 0; // moves under way (nested ones included)
};
