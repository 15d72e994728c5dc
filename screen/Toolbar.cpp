// The tool buttons' states, closing the work list when the filter is entered,
// and the search button.
#include "Cli_exp13000.h"

#include "framework/Procurar.h"

void TfrmConfSepExp::Botoes()
{
    auto activeGridHasRows = [this](TDBGrid* grid, TDataSet* data) { return dbgAtiva == grid && !data->IsEmpty(); };

    sbtIncluir->SetEnabled(false);
    sbtAlterar->SetEnabled(false);
    sbtExcluir->SetEnabled(activeGridHasRows(dbgIUMProd, cdsIUMProd));
    sbtVerificar->SetEnabled(!cdsNotaFiscal->IsEmpty() && cdsNotaFiscal->State() != TDataSetState::dsEdit &&
                             cdsNotaFiscal->State() != TDataSetState::dsInsert);
    sbtProcurar->SetEnabled(activeGridHasRows(dbgNotaFiscal, cdsNotaFiscal) ||
                            activeGridHasRows(dbgItemProduto, cdsItemProduto) ||
                            activeGridHasRows(dbgIUMProd, cdsIUMProd));
    sbtCancelar->SetEnabled(false);
    sbtConfirmar->SetEnabled(false);
}

void TfrmConfSepExp::dtsNotaFiscalStateChange(TObject*)
{
    sbtVerificar->SetEnabled(!cdsNotaFiscal->IsEmpty());
}

void TfrmConfSepExp::panFiltroEnter(TObject*)
{
    cdsNotaFiscal->Close();
    cdsItemProduto->Close();
    cdsIUMProd->Close();
    ForgetChanges();  // what they counted closed with the list
    Botoes();
}

void TfrmConfSepExp::dbgNotaFiscalEnter(TObject*) { Botoes(); }
void TfrmConfSepExp::dbgItemProdutoEnter(TObject*) { Botoes(); }
void TfrmConfSepExp::dbgIUMProdEnter(TObject*) { Botoes(); }

void TfrmConfSepExp::sbtProcurarClick(TObject*)
{
    TDataSource* source = nullptr;
    if (dbgAtiva == dbgNotaFiscal)
        source = dtsNotaFiscal;
    else if (dbgAtiva == dbgItemProduto)
        source = dtsItemProduto;
    else if (dbgAtiva == dbgIUMProd)
        source = dtsIUMProd;
    if (!source || !source->DataSet() || !source->DataSet()->Active())
        return;
    Procurar::Procura(source->DataSet());
}
