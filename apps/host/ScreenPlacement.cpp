#include "ScreenPlacement.h"

#include "WindowState.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

constexpr char designedSizeProperty[] = "exp13000DesignedSize";

// Set while PlaceScreen changes the state itself: that is no choice of the user.
bool placing = false;

void WatchUserChoice(QMdiSubWindow& window, const QString& code, const QString& stateFile)
{
    QObject::connect(&window, &QMdiSubWindow::windowStateChanged, &window,
                     [code, stateFile](Qt::WindowStates before, Qt::WindowStates now) {
                         const bool maximized = now.testFlag(Qt::WindowMaximized);
                         if (placing || maximized == before.testFlag(Qt::WindowMaximized)
                             || now.testFlag(Qt::WindowMinimized))
                             return;
                         SaveScreenMaximized(stateFile, code, maximized);
                     });
}

} // namespace

void PlaceScreen(QMdiSubWindow& window, const QString& code, const QString& stateFile)
{
    QMdiArea* area = window.mdiArea();
    if (!area)
        return;
    QVariant designed = window.property(designedSizeProperty);
    if (!designed.isValid()) {
        designed = window.isMaximized() ? window.normalGeometry().size() : window.size();
        window.setProperty(designedSizeProperty, designed);
        WatchUserChoice(window, code, stateFile);
    }
    const QSize size = designed.toSize();
    const QSize room = area->viewport()->size();
    const bool fits = size.width() <= room.width() && size.height() <= room.height();
    const bool maximized = ReadScreenMaximized(stateFile, code).value_or(!fits);

    placing = true;
    if (maximized) {
        window.showMaximized();
    } else {
        window.showNormal();
        QRect frame(window.pos(), size.boundedTo(room));
        frame.moveLeft(qBound(0, frame.left(), room.width() - frame.width()));
        frame.moveTop(qBound(0, frame.top(), room.height() - frame.height()));
        window.setGeometry(frame);
    }
    placing = false;
}
