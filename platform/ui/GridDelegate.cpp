#include "GridDelegate.h"

#include "DBGrid.h"
#include "Dispatch.h"
#include "GridModel.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

QPalette::ColorGroup CellColourGroup(QStyle::State state)
{
    return !state.testFlag(QStyle::State_Enabled) ? QPalette::Disabled
           : state.testFlag(QStyle::State_Active) ? QPalette::Normal
                                                  : QPalette::Inactive;
}

TGridDelegate::TGridDelegate(TDBGrid* grid, const TGridModel* model, QObject* parent)
    : QStyledItemDelegate(parent), grid_(grid), model_(model)
{
}

QRect TGridDelegate::DrawLines(QPainter* painter, const QStyle* style, const QStyleOptionViewItem& option) const
{
    const TDBGridOptions options = grid_->Options();
    const bool columnLines = options.testFlag(TDBGridOption::dgColLines);
    const bool rowLines = options.testFlag(TDBGridOption::dgRowLines);
    QRect cell = option.rect;
    if (!columnLines && !rowLines)
        return cell;
    const QColor colour =
        QColor::fromRgba(QRgb(style->styleHint(QStyle::SH_Table_GridLineColor, &option, option.widget)));
    if (columnLines) {
        painter->fillRect(QRect(cell.right(), cell.top(), 1, cell.height()), colour);
        cell.setRight(cell.right() - 1);
    }
    if (rowLines) {
        painter->fillRect(QRect(cell.left(), cell.bottom(), cell.width(), 1), colour);
        cell.setBottom(cell.bottom() - 1);
    }
    return cell;
}

int TGridDelegate::TextMargin(const QStyle* style, const QWidget* widget)
{
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

QSize TGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QString text;
    Dispatch(grid_, [&] { text = model_->DisplayText(index); });
    const int lines = grid_->Options().testFlag(TDBGridOption::dgColLines) ? 1 : 0;
    return QSize(text_.Width(option.font, text) + 2 * TextMargin(style, option.widget) + lines,
                 QStyledItemDelegate::sizeHint(option, index).height());
}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& given, const QModelIndex& index) const
{
    const QStyle* style = given.widget ? given.widget->style() : QApplication::style();
    QStyleOptionViewItem option(given);
    option.rect = DrawLines(painter, style, given);
    const QPalette::ColorGroup group = CellColourGroup(option.state);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    else if (option.features.testFlag(QStyleOptionViewItem::Alternate))
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::AlternateBase));

    QString text;
    Dispatch(grid_, [&] { text = model_->DisplayText(index); });
    if (!text.isEmpty()) {
        const int margin = TextMargin(style, option.widget);
        painter->save();
        painter->setFont(option.font);
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        text_.Draw(painter, option.rect.adjusted(margin, 0, -margin, 0), model_->Alignment(index.column()), text);
        painter->restore();
    }

    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = option.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }

    Dispatch(grid_, [&] { grid_->DrawColumnCell(painter, option, index); });
}
