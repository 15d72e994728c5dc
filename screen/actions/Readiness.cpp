// Whether the current invoice may be confirmed as ready for traceability,
// by the rule the application server checks again on confirmation.
#include "screen/Cli_exp13000.h"

#include "server/ConfirmationRule.h"

void TfrmConfSepExp::habilitaConfirma()
{
    bool confirmable = !cdsItemProduto->IsEmpty();
    if (confirmable) {
        // The copy shares the items' packet, which holds every invoice's
        // items; the item grid's filter narrows it to the current invoice.
        // Walking the copy leaves the item grid's cursor where it is.
        cdsItemProdCheck->SetData(cdsItemProduto->Data());
        cdsItemProdCheck->SetFiltered(false);
        cdsItemProdCheck->SetFilter(cdsItemProduto->Filter());
        cdsItemProdCheck->SetFiltered(true);  // on the first row
        while (confirmable && !cdsItemProdCheck->Eof()) {
            if (ConfirmationRule::ItemBlock(cdsItemProdCheckQTITEMPROD->AsFloat(),
                                            cdsItemProdCheckQTRESPRODPED->AsFloat(),
                                            cdsItemProdCheckIDSTATUSSEPSNCM->AsString()) !=
                ConfirmationRule::TItemBlock::None)
                confirmable = false;
            else
                cdsItemProdCheck->Next();
        }
    }
    sbtConfirma->SetEnabled(confirmable);
}
