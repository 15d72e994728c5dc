// Keeping the item and IUM grids on the selected invoice and item. The whole
// work list is loaded at once; moving between rows only changes the local
// filters of the detail data sets.
#include "screen/Cli_exp13000.h"

#include "rtl/StrUtils.h"

void TfrmConfSepExp::cdsNotaFiscalAfterScroll(TDataSet*)
{
    cdsItemProduto->SetFiltered(false);
    cdsItemProduto->SetFilter(QStringLiteral("(CDFILIAL = ") + QuotedStr(cdsNotaFiscalCDFILIAL->AsString()) +
                              QStringLiteral(" AND NRLANCTONF = ") + QuotedStr(cdsNotaFiscalNRLANCTONF->AsString()) +
                              QStringLiteral(")"));
    cdsItemProduto->SetFiltered(true);  // runs the item handler on the invoice's first item
    habilitaConfirma();
}

// Also the handler of cdsItemProdCheck: the readings always follow the item
// grid's current row, whichever of the two data sets moved.
void TfrmConfSepExp::cdsItemProdutoAfterScroll(TDataSet*)
{
    cdsIUMProd->SetFiltered(false);
    cdsIUMProd->SetFilter(QStringLiteral("(CDFILIAL = ") + QuotedStr(cdsItemProdutoCDFILIAL->AsString()) +
                          QStringLiteral(" AND NRLANCTONF = ") + QuotedStr(cdsItemProdutoNRLANCTONF->AsString()) +
                          QStringLiteral(" AND CDPRODUTO = ") + QuotedStr(cdsItemProdutoCDPRODUTO->AsString()) +
                          QStringLiteral(")"));
    cdsIUMProd->SetFiltered(true);
}
