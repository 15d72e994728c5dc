#include "AlignLayout.h"

#include "Controls.h"

namespace TAlignLayout {

QRect Apply(const QRect& area, const QList<TControl*>& children)
{
    int left = area.left();
    int top = area.top();
    int right = area.left() + area.width();
    int bottom = area.top() + area.height();
    // Qt holds resize events back from widgets not shown yet, so containers
    // lay themselves out here rather than wait for one.
    auto place = [](TControl* c, int x, int y, int w, int h) {
        if (QWidget* widget = c->Widget())
            widget->setGeometry(x, y, qMax(0, w), qMax(0, h));
        if (auto* container = dynamic_cast<TWinControl*>(c))
            container->Realign();
    };
    auto visibleWith = [&children](TAlign align) {
        QList<TControl*> list;
        for (TControl* c : children)
            if (c->Align() == align && c->Visible())
                list.append(c);
        return list;
    };
    for (TControl* c : visibleWith(TAlign::alTop)) {
        const int h = c->Height();
        place(c, left, top, right - left, h);
        top += h;
    }
    const QList<TControl*> bottoms = visibleWith(TAlign::alBottom);
    for (auto it = bottoms.rbegin(); it != bottoms.rend(); ++it) {
        const int h = (*it)->Height();
        bottom -= h;
        place(*it, left, bottom, right - left, h);
    }
    for (TControl* c : visibleWith(TAlign::alLeft)) {
        const int w = c->Width();
        place(c, left, top, w, bottom - top);
        left += w;
    }
    const QList<TControl*> rights = visibleWith(TAlign::alRight);
    for (auto it = rights.rbegin(); it != rights.rend(); ++it) {
        const int w = (*it)->Width();
        right -= w;
        place(*it, right, top, w, bottom - top);
    }
    const QList<TControl*> clients = visibleWith(TAlign::alClient);
    for (TControl* c : clients)
        place(c, left, top, right - left, bottom - top);
    return clients.isEmpty() ? QRect(left, top, qMax(0, right - left), qMax(0, bottom - top)) : QRect();
}

} // namespace TAlignLayout
