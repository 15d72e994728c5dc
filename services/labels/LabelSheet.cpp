#include "LabelSheet.h"

#include "Gs1Symbol.h"
#include "rtl/Exceptions.h"

#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace {

constexpr qreal LabelWidth = 63.5, LabelHeight = 38.1;  // mm
constexpr qreal Left = 7.2, Top = 15.15, Gap = 2.5;      // the sheet's margins and the gap between columns
constexpr qreal SymbolSide = 24, Padding = 3;
constexpr int Resolution = 600;                           // dots per inch of the PDF's coordinates

class TRefusedSheet {
public:
    explicit TRefusedSheet(const QString& fileName) : fileName_(fileName) {}
    ~TRefusedSheet()
    {
        if (!finished_)
            QFile::remove(fileName_);
    }
    void Finish() { finished_ = true; }

private:
    QString fileName_;
    bool finished_ = false;
};

void DrawLabel(QPainter& painter, qreal dots, const TSheetLabel& label, const TGs1Symbol& symbol, int index)
{
    const auto toDots = [dots](const QRectF& mm) {
        return QRectF(mm.x() * dots, mm.y() * dots, mm.width() * dots, mm.height() * dots);
    };
    symbol.Paint(painter, toDots(LabelSheet::SymbolArea(index)));
    const QRectF area = LabelSheet::LabelArea(index);
    QRectF text = toDots(QRectF(area.left() + Padding + SymbolSide + Padding, area.top() + Padding,
                                area.width() - SymbolSide - 3 * Padding, area.height() - 2 * Padding));
    QFont font(QStringLiteral("DejaVu Sans"));
    // Words wrap whole; the element string, one long word, anywhere.
    const auto write = [&](qreal points, bool bold, const QColor& colour, const QString& line, int wrap) {
        font.setPointSizeF(points);
        font.setBold(bold);
        painter.setFont(font);
        painter.setPen(colour);
        QRectF used;
        painter.drawText(text, wrap | Qt::AlignLeft | Qt::AlignTop, line, &used);
        text.setTop(used.bottom() + dots * 0.8);
    };
    write(7, true, Qt::black, label.Title, Qt::TextWordWrap);
    write(6, false, Qt::black, Gs1HumanReadable(label.Elements), Qt::TextWrapAnywhere);
    write(6.5, label.Wrong, label.Wrong ? QColor(190, 0, 0) : QColor(0, 100, 0), label.Note, Qt::TextWordWrap);
    painter.setPen(QPen(Qt::lightGray, dots * 0.1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(toDots(area), dots * 2, dots * 2);
}

} // namespace

namespace LabelSheet {

QRectF LabelArea(int index)
{
    const int column = index % Columns, row = index / Columns % Rows;
    return QRectF(Left + column * (LabelWidth + Gap), Top + row * LabelHeight, LabelWidth, LabelHeight);
}

QRectF SymbolArea(int index)
{
    const QRectF label = LabelArea(index);
    return QRectF(label.left() + Padding, label.center().y() - SymbolSide / 2, SymbolSide, SymbolSide);
}

} // namespace LabelSheet

void WriteLabelSheet(const QString& fileName, const QString& heading, const QList<TSheetLabel>& labels)
{
    // Every symbol first: a refused one leaves no file behind.
    QList<TGs1Symbol> symbols;
    for (const TSheetLabel& label : labels)
        symbols.append(TGs1Symbol::Encode(label.Elements, label.Checked));

    TRefusedSheet guard(fileName);
    QPdfWriter pdf(fileName);
    pdf.setCreator(QStringLiteral("EXP13000"));
    pdf.setTitle(heading);
    pdf.setResolution(Resolution);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&pdf))
        throw Exception(QStringLiteral("Não foi possível gravar o arquivo %1.").arg(fileName));
    const qreal dots = Resolution / 25.4;
    const int perPage = LabelSheet::Columns * LabelSheet::Rows;
    for (int i = 0; i < labels.size(); ++i) {
        if (i % perPage == 0) {
            if (i > 0)
                pdf.newPage();
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPointSizeF(9);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(Left * dots, 5 * dots, 190 * dots, 8 * dots), Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("%1 - página %2 de %3")
                                 .arg(heading)
                                 .arg(i / perPage + 1)
                                 .arg((labels.size() + perPage - 1) / perPage));
        }
        DrawLabel(painter, dots, labels[i], symbols[i], i % perPage);
    }
    if (!painter.end())
        throw Exception(QStringLiteral("Não foi possível gravar o arquivo %1.").arg(fileName));
    guard.Finish();
}
