#include "DialogPlacement.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

void PlaceOverActiveWindow(QWidget* window)
{
    QWidget* below = QApplication::activeWindow();
    if (!below || below == window || !below->isVisible())
        return;
    window->winId(); // creates the native window, so it has a handle
    if (window->windowHandle() && below->windowHandle())
        window->windowHandle()->setTransientParent(below->windowHandle());
    window->move(below->frameGeometry().center() - window->rect().center());
}
