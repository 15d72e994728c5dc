#pragma once
// The application-wide event filter that takes Qt's input to the forms:
//   - focus arriving at a control (a click, a window coming back) runs the
//     form's focus move (TFocusModel::Arrived) inside the dispatch boundary;
//   - a click on a control that wanted the focus and did not get it (an exit
//     handler refused the move) is not delivered, so it changes nothing;
//   - a key for the focused control goes first to its form when the form has
//     KeyPreview (OnKeyDown, then OnKeyPress); a key set to 0 is swallowed.
#include <QObject>

class TEventRouter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool resending_ = false;
};
