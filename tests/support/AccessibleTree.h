#pragma once
// What assistive technology sees of a window, for the user-interface tests.
//
// FocusableControls walks QAccessible's tree of `window` and lists what can
// take the focus (visible, enabled), in the tree's order, with the name and
// description a screen reader would say; a table is one entry (its cells are
// reached through it). TAccessibleEvents makes accessibility active, as a
// screen reader connecting does, and records every event sent while it lives, with the name of what it was
// about at that moment (for a table cell: its column's title too); it puts
// the previous handler back when destroyed.
#include <QAccessible>
#include <QList>
#include <QString>
#include <QWidget>

struct TAccessibleControl {
    QObject* Object = nullptr;
    QAccessible::Role Role = QAccessible::NoRole;
    QString Name;
    QString Description;
};
QList<TAccessibleControl> FocusableControls(QWidget* window);

struct TAccessibleEventSeen {
    QAccessible::Event Type;
    QObject* Object = nullptr;
    QString Name;
    QString ColumnTitle;  // a table cell's column title, else empty
};

class TAccessibleEvents {
public:
    TAccessibleEvents();
    ~TAccessibleEvents();
    TAccessibleEvents(const TAccessibleEvents&) = delete;
    TAccessibleEvents& operator=(const TAccessibleEvents&) = delete;

    // The events of `type` about `object` (a table's cells: about the table).
    QList<TAccessibleEventSeen> Of(QAccessible::Event type, const QObject* object) const;
    void Clear();

private:
    static void Record(QAccessibleEvent* event);
    QAccessible::UpdateHandler previous_;
    bool wasActive_;
};
