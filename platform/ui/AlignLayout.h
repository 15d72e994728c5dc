#pragma once
// The aligned layout of a container's children. Visible children aligned to
// the top take the top of the area in declaration order (the first declared
// uppermost); those aligned to the bottom take the bottom so that they read
// top to bottom in declaration order (the last declared lowest); left and
// right likewise; client children share what is left. Aligned children keep
// their height (top, bottom) or width (left, right) and stretch the other way.
// Children aligned to none keep their own bounds.
//
// Written by hand because no Qt layout stacks mixed edges with a client
// remainder in one pass the way these forms are composed.
#include <QList>
#include <QRect>

class TControl;

namespace TAlignLayout {
// Returns the part of `area` that no aligned child took.
QRect Apply(const QRect& area, const QList<TControl*>& children);
}
