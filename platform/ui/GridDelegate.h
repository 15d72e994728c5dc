#pragma once
// Paints a data grid's cells: the grid's lines on the cell's right and bottom
// edges (as its options ask), the background of the cell's state (the
// selection colour on a selected row), the display text on one line, aligned
// as its column says and cut with an ellipsis when it does not fit, the focus
// frame of the current cell, then the grid's OnDrawColumnCell.
//
// Written for the grid rather than taken from Qt's styled delegate: that one
// lays every cell's text out as a paragraph (breaking lines, measuring and
// eliding each through a text layout, and asking the model for a dozen roles),
// which made painting most of the time a move in the work list takes. A grid
// cell is one line of plain text (CellText.h). The lines are two fills per
// cell, where the view's own grid drawing stroked long lines through the
// general path rasterizer.
#include "CellText.h"

#include <QPalette>
#include <QStyle>
#include <QStyledItemDelegate>

class TDBGrid;
class TGridModel;

class TGridDelegate : public QStyledItemDelegate {
public:
    // Neither is owned; both live as long as the grid's view, its parent.
    TGridDelegate(TDBGrid* grid, const TGridModel* model, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Room for the cell's whole text as paint() lays it out (a column sized
    // to its contents cuts none): the text, its margins and the grid's line.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The blank kept on each side of a cell's text; the cell's line, when
    // the grid draws column lines, takes one pixel more on its right.
    static int TextMargin(const QStyle* style, const QWidget* widget);

private:
    // Draws the lines and returns the rest of the cell.
    QRect DrawLines(QPainter* painter, const QStyle* style, const QStyleOptionViewItem& option) const;

    TDBGrid* grid_;
    const TGridModel* model_;
    mutable TCellText text_;  // painting is const to Qt
};

// The palette group a cell of `state` is painted with.
QPalette::ColorGroup CellColourGroup(QStyle::State state);
