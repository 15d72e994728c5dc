#include "AccessibleTree.h"

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

QList<TAccessibleEventSeen>* recorded = nullptr;

// What a screen reader that connects turns on: Qt sends most events (an item
// view's focus on a cell, say) only then. Qt's own tests reach it the same
// way; the test platform has no other.
void SetPlatformActive(bool active)
{
    if (QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
        platform->setActive(active);
}

void Walk(QAccessibleInterface* node, QList<TAccessibleControl>& found)
{
    if (!node || !node->isValid())
        return;
    const QAccessible::State state = node->state();
    if (state.invisible || state.disabled)
        return;
    const bool table = node->role() == QAccessible::Table;
    if (state.focusable || table)
        found.append({node->object(), node->role(), node->text(QAccessible::Name), node->text(QAccessible::Description)});
    if (table)
        return;
    for (int i = 0; i < node->childCount(); ++i)
        Walk(node->child(i), found);
}

} // namespace

QList<TAccessibleControl> FocusableControls(QWidget* window)
{
    QList<TAccessibleControl> found;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; root && i < root->childCount(); ++i)
        Walk(root->child(i), found);
    return found;
}

TAccessibleEvents::TAccessibleEvents() : wasActive_(QAccessible::isActive())
{
    recorded = new QList<TAccessibleEventSeen>;
    previous_ = QAccessible::installUpdateHandler(&TAccessibleEvents::Record);
    SetPlatformActive(true);
}

TAccessibleEvents::~TAccessibleEvents()
{
    QAccessible::installUpdateHandler(previous_);
    SetPlatformActive(wasActive_);
    delete recorded;
    recorded = nullptr;
}

void TAccessibleEvents::Record(QAccessibleEvent* event)
{
    if (!recorded)
        return;
    TAccessibleEventSeen seen{event->type(), event->object(), {}, {}};
    if (QAccessibleInterface* about = event->accessibleInterface()) {
        seen.Name = about->text(QAccessible::Name);
        if (QAccessibleTableCellInterface* cell = about->tableCellInterface()) {
            const QList<QAccessibleInterface*> titles = cell->columnHeaderCells();
            if (!titles.isEmpty())
                seen.ColumnTitle = titles.first()->text(QAccessible::Name);
        }
    }
    recorded->append(seen);
}

QList<TAccessibleEventSeen> TAccessibleEvents::Of(QAccessible::Event type, const QObject* object) const
{
    QList<TAccessibleEventSeen> matching;
    for (const TAccessibleEventSeen& e : *recorded)
        if (e.Type == type && e.Object == object)
            matching.append(e);
    return matching;
}

void TAccessibleEvents::Clear()
{
    recorded->clear();
}
