#include "Gs1Symbol.h"

#include "rtl/Exceptions.h"

#include <QPainter>
#include <QRectF>

#include <memory>
#include <zint.h>

TGs1Symbol TGs1Symbol::Encode(const QList<TGs1Element>& elements, bool checked)
{
    const std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(), ZBarcode_Delete);
    if (!symbol)
        throw Exception(QStringLiteral("Sem memória para gerar o símbolo GS1."));
    symbol->symbology = BARCODE_DATAMATRIX;
    symbol->input_mode = GS1_MODE | (checked ? 0 : GS1NOCHECK_MODE);
    symbol->option_3 = DM_SQUARE;
    // zint reports what breaks GS1's rules (a check digit, a date) as a
    // warning; a checked symbol refuses it.
    if (checked)
        symbol->warn_level = WARN_FAIL_ALL;
    const QByteArray data = Gs1Bracketed(elements).toLatin1();
    // The vector form is zint's documented output of the modules: one
    // rectangle per run of dark modules in a row.
    const int status = ZBarcode_Encode_and_Buffer_Vector(
        symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()), 0);
    if (status >= ZINT_ERROR || !symbol->vector || symbol->width <= 0)
        throw Exception(QStringLiteral("O símbolo GS1 de %1 não pôde ser gerado: %2")
                            .arg(Gs1HumanReadable(elements), QString::fromLatin1(symbol->errtxt)));

    TGs1Symbol result;
    result.size_ = QSize(symbol->width, symbol->rows);
    result.dark_.resize(symbol->width * symbol->rows);
    const float module = symbol->vector->width / float(symbol->width);
    for (const zint_vector_rect* r = symbol->vector->rectangles; r; r = r->next) {
        const int left = qRound(r->x / module), top = qRound(r->y / module);
        const int width = qRound(r->width / module), height = qRound(r->height / module);
        for (int row = top; row < top + height && row < symbol->rows; ++row)
            for (int column = left; column < left + width && column < symbol->width; ++column)
                result.dark_.setBit(row * symbol->width + column);
    }
    return result;
}

void TGs1Symbol::Paint(QPainter& painter, const QRectF& area) const
{
    const qreal module = qMin(area.width() / size_.width(), area.height() / size_.height());
    const QPointF origin = area.center() - QPointF(module * size_.width(), module * size_.height()) / 2;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (int row = 0; row < size_.height(); ++row) {
        // A run of dark modules as one rectangle: no seams between them.
        for (int column = 0; column < size_.width();) {
            if (!Dark(row, column)) {
                ++column;
                continue;
            }
            int end = column;
            while (end < size_.width() && Dark(row, end))
                ++end;
            painter.drawRect(QRectF(origin.x() + column * module, origin.y() + row * module, (end - column) * module, module));
            column = end;
        }
    }
    painter.restore();
}

QImage TGs1Symbol::Image(int module, int quiet) const
{
    QImage image((size_.width() + 2 * quiet) * module, (size_.height() + 2 * quiet) * module, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    Paint(painter, QRectF(quiet * module, quiet * module, size_.width() * module, size_.height() * module));
    return image;
}

QString Gs1Bracketed(const QList<TGs1Element>& elements)
{
    QString text;
    for (const TGs1Element& element : elements)
        text += QStringLiteral("[%1]%2").arg(element.Ai, element.Value);
    return text;
}

QString Gs1HumanReadable(const QList<TGs1Element>& elements)
{
    QString text;
    for (const TGs1Element& element : elements)
        text += QStringLiteral("(%1)%2").arg(element.Ai, element.Value);
    return text;
}
