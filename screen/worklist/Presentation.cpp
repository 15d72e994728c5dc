// How coded values are shown: the IUM picture, warehouse and location with
// their descriptions, the customer's document number, the separation status,
// the IUM code's group separators.
// Nothing here changes data; the drawing handlers read only the row being
// drawn, which the grid has made current for the fields.
#include "screen/Cli_exp13000.h"

#include "framework/Consiste.h"
#include "rtl/MaskUtils.h"
#include "server/Gs1.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

void TfrmConfSepExp::dbgNotaFiscalDrawColumnCell(TObject*, const TRect& Rect, int DataCol, TColumn* Column,
                                                 TGridDrawState)
{
    if (cdsNotaFiscal->IsEmpty())
        return;
    if (Column->FieldName() == QLatin1String("IDSITSEPNF")) {
        TBitmap picture;
        picture.Assign(imgCodBarra->Picture().Bitmap());
        TCanvas* canvas = dbgNotaFiscal->Canvas();
        // Covers the value the default drawing wrote: only the picture shows.
        canvas->FillRect(Rect);
        canvas->BrushCopy(Bounds(Rect.Left + 10, Rect.Top, picture.Width(), Rect.Height()), picture,
                          Bounds(0, 0, picture.Width(), Rect.Height()), clOlive);
    }
    // An invoice changed by another station since the load: a small corner
    // over its first cell (ChangeNotices.cpp).
    if (DataCol == 0 && !invoicesChanged_.isEmpty() && invoicesChanged_.contains(cdsNotaFiscalNRLANCTONF->AsString())) {
        QPainter* painter = dbgNotaFiscal->Canvas()->Painter();
        const int size = std::min(8, Rect.Height() / 2);
        const QPoint corner(Rect.Left, Rect.Top);
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(230, 120, 0));
        painter->drawPolygon(QPolygon({corner, corner + QPoint(size, 0), corner + QPoint(0, size)}));
        painter->restore();
    }
}

void TfrmConfSepExp::dbgIUMProdDrawColumnCell(TObject*, const TRect& Rect, int DataCol, TColumn* Column,
                                              TGridDrawState)
{
    const int warehouse = Consiste::IndiceCol(dbgIUMProd, QStringLiteral("CDALMOXARIFE"));
    const int location = Consiste::IndiceCol(dbgIUMProd, QStringLiteral("CDLOCALESTOQ"));
    if (DataCol != warehouse && DataCol != location)
        return;
    QString text = Column->Field() ? Consiste::AllTrim(Column->Field()->AsString()) : QString();
    if (DataCol == warehouse && !cdsIUMProdCDALMOXARIFE->IsNull())
        text = cdsIUMProdCDALMOXARIFE->AsString() + QStringLiteral(" - ") + cdsIUMProdDSALMOXARIFE->AsString();
    if (DataCol == location && !cdsIUMProdCDLOCALESTOQ->IsNull())
        text = cdsIUMProdCDLOCALESTOQ->AsString() + QStringLiteral(" - ") + cdsIUMProdDSLOCALESTOQ->AsString();

    TCanvas* canvas = dbgIUMProd->Canvas();
    const int left = Column->Alignment() == TAlignment::taRightJustify ? Rect.Right - canvas->TextWidth(text) - 2
                                                                       : Rect.Left + 2;
    canvas->FillRect(Rect);
    canvas->TextRect(Rect, left, Rect.Top + 2, text);
}

void TfrmConfSepExp::cdsNotaFiscalNRINSJURCLIEGetText(TField* Sender, QString& Text, bool)
{
    Text = FormatMaskText(Consiste::PictPess(cdsNotaFiscalIDTPIJURCLIE->AsString()), Sender->AsString());
}

// Exact, case-sensitive values: anything but "P" and "A", empty included,
// shows as concluded.
void TfrmConfSepExp::cdsNrExpedicaoIDSTATUSSEPGetText(TField* Sender, QString& Text, bool)
{
    const QString status = Sender->AsString();
    if (status == QLatin1String("P"))
        Text = msgPadrao->Msg(QStringLiteral("PE"));
    else if (status == QLatin1String("A"))
        Text = msgPadrao->Msg(QStringLiteral("AN"));
    else
        Text = msgPadrao->Msg(QStringLiteral("CO"));
}

// A font draws the group separator as an empty box or not at all: the code
// shows it as its mark. The value, which deletion sends back, keeps it.
void TfrmConfSepExp::cdsIUMProdCDIUMPRODGetText(TField* Sender, QString& Text, bool)
{
    Text = Gs1ForDisplay(Sender->AsString());
}
