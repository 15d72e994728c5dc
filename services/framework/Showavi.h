#pragma once
// Showavi: the busy indicator shown while a blocking server call runs.
//
// ActiveShowAvi(mainForm, kind) shows a small animated panel (a spinner and
// a text naming the kind of work) in the middle of the main form, in front
// of everything in it, and paints it at once, before the caller blocks. Its
// animation runs on a QTimer: the server connection's wait pumps timer and
// paint events (never user input), so it keeps moving during the call.
// Without a main form it shows as a small frameless window in the middle of
// the screen.
//
// Kinds: 1 writing ("Gravando, aguarde..."), 6 querying ("Consultando,
// aguarde..."); any other kind "Processando, aguarde...".
//
// A long reply: while a reply of several megabytes arrives (see
// TNetConnection::SetReceiveProgress, which the first activation binds to
// ShowProgress), the text adds the share received and the reply's size,
// e.g. "Consultando, aguarde... 37% de 12,5 MB".
//
// One indicator at a time: activating while one shows changes its kind and
// counts again. DeactiveShowAvi takes it away; when none shows it does
// nothing. The indicator belongs to the main form's window: if that window
// goes, so does the indicator.
//
// For tests and pictures: Showing, Kind, ShowCount (activations since the
// process started), Frame (the animation step shown) and Indicator.
#include <QString>

class QWidget;
class TForm;

namespace Showavi {

void ActiveShowAvi(TForm* mainForm, int kind);
void DeactiveShowAvi();

// Adds `received` of `total` bytes to the text of the indicator showing;
// nothing when none shows.
void ShowProgress(qint64 received, qint64 total);

bool Showing();
// The text shown, or last shown.
QString Text();
// The kind shown, or last shown; 0 before any.
int Kind();
int ShowCount();
int Frame();
// The indicator while it shows, nullptr otherwise.
QWidget* Indicator();

} // namespace Showavi
