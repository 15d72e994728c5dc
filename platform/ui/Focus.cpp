#include "Focus.h"

#include "Form.h"

#include <QList>

namespace {

// Containers of `c` from the outermost below the form down to `c` itself.
QList<TWinControl*> PathOf(TWinControl* c, const TForm* form)
{
    QList<TWinControl*> path;
    for (; c && c != form; c = c->Parent())
        path.prepend(c);
    return path;
}

void CollectTabList(const TWinControl* container, QList<TWinControl*>& out)
{
    for (int i = 0; i < container->TabListCount(); ++i) {
        TWinControl* c = container->TabList(i);
        out.append(c);
        CollectTabList(c, out);
    }
}

} // namespace

void TFocusModel::MoveTo(TWinControl* target)
{
    struct Running {
        int& count;
        explicit Running(int& c) : count(c) { ++count; }
        ~Running() { --count; }
    } running(running_);
    const unsigned move = ++moves_;
    TWinControl* const from = active_;
    if (from == target) {
        SyncQtFocus();
        return;
    }

    const QList<TWinControl*> targetPath = PathOf(target, form_);
    try {
        for (TWinControl* c = from; c && c != form_ && !targetPath.contains(c); c = c->Parent()) {
            c->DoExit();
            if (moves_ != move)
                return;
            active_ = c->Parent() == form_ ? nullptr : c->Parent();
        }
    } catch (...) {
        if (moves_ == move)
            active_ = from;
        SyncQtFocus();
        throw;
    }

    if (QWidget* w = target->FocusWidget())
        w->setFocus(Qt::OtherFocusReason);
    // After the exits the model stands on the deepest container the two
    // share (or on none); the enters run below it.
    for (qsizetype i = active_ ? targetPath.indexOf(active_) + 1 : 0; i < targetPath.size(); ++i) {
        TWinControl* c = targetPath.at(i);
        active_ = c;
        if (c == target)
            form_->FocusEntering(target);
        c->DoEnter();
        if (moves_ != move)
            return;
    }
    SyncQtFocus();
}

void TFocusModel::Arrived(TWinControl* control)
{
    if (control == active_ || running_ > 0 || form_->Destroying())
        return;
    MoveTo(control);
}

void TFocusModel::Forget(TWinControl* control)
{
    if (active_ && control->ContainsControl(active_))
        active_ = nullptr;
}

TWinControl* TFocusModel::FindNext(TWinControl* from, bool forward) const
{
    QList<TWinControl*> order;
    CollectTabList(form_, order);
    const int n = int(order.size());
    const int start = order.indexOf(from);
    for (int step = 1; step <= n; ++step) {
        const int i = start < 0 ? (forward ? step - 1 : n - step)
                                : ((start + (forward ? step : -step)) % n + n) % n;
        TWinControl* c = order.at(i);
        if (c != from && c->TabStop() && c->CanFocus())
            return c;
    }
    return nullptr;
}

void TFocusModel::SyncQtFocus()
{
    if (active_ && active_->CanFocus())
        if (QWidget* w = active_->FocusWidget())
            w->setFocus(Qt::OtherFocusReason);
}
