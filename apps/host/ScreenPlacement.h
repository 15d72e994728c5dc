#pragma once
// Where a screen opens in the main window's MDI area: whole, never partly
// off the area.
//
// PlaceScreen puts `window` (the MDI child of screen `code`) into its area:
//   - maximized when the user last left this screen maximized, or, with no
//     choice remembered, when its designed size does not fit the area;
//   - otherwise at its designed size, cut down to the area where the area is
//     smaller, and moved so that it lies inside the area.
// The designed size is the window's size the first time it is placed. From
// then on, whenever the user maximizes the screen or brings it back to
// normal, that choice is written to `stateFile` (WindowState.h) and holds
// for the next placement, in this run and the next.
#include <QString>

class QMdiSubWindow;

void PlaceScreen(QMdiSubWindow& window, const QString& code, const QString& stateFile);
