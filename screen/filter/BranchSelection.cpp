// Branch selection: the branch check and the branch edit's handlers.
#include "screen/Cli_exp13000.h"

#include "framework/Consiste.h"

// A new code makes the name and the expedition number stale; the order
// number does not depend on the branch and stays.
void TfrmConfSepExp::medCdFilialChange(TObject*)
{
    edtNmFilial->SetText(QString());
    medNrExpedicao->SetText(QString());
}

void TfrmConfSepExp::medCdFilialExit(TObject*) { Vd_Filial(); }

// The code is judged before it is padded, so that an empty code is reported
// as missing rather than looked up. The padding is written in every case:
// what the edit shows is what the query receives.
void TfrmConfSepExp::Vd_Filial()
{
    const bool missing = Consiste::EmptyString(medCdFilial->Text());
    medCdFilial->SetText(Consiste::Ajusta(medCdFilial->Text(), 4));
    try {
        if (missing)
            Consiste::MensErro(msgPadrao->Msg(QStringLiteral("INFO_COD_FILIAL")), true);
        qryFilial->Close();
        qryFilial->ParamByName(QStringLiteral("P_CDFILIAL"))->SetAsString(medCdFilial->Text());
        qryFilial->Open();
        if (qryFilial->IsEmpty())
            Consiste::MensErro(msgPadrao->Msg(QStringLiteral("COD_NAO_CAD_FILIAL")), true);
    } catch (...) {
        medCdFilial->SetFocus();
        throw;
    }
    edtNmFilial->SetText(qryFilialNMFILIAL->AsString());
}

// A null parameter lists every branch.
void TfrmConfSepExp::btnFilialBeforePesq(TObject*, bool&)
{
    qryFilial->Close();
    qryFilial->ParamByName(QStringLiteral("P_CDFILIAL"))->Clear();
    qryFilial->Open();
}

// The code first: its change handler clears the name, which is then written.
void TfrmConfSepExp::btnFilialAfterPesq(TObject*)
{
    medCdFilial->SetText(qryFilialCDFILIAL->AsString());
    edtNmFilial->SetText(qryFilialNMFILIAL->AsString());
}
