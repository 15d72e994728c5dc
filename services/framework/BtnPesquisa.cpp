#include "BtnPesquisa.h"

#include "Icons.h"
#include "data/DataSource.h"
#include "ui/Dialogs.h"

TBtnPesquisa::TBtnPesquisa(TComponent* owner) : TButtonFlat(owner)
{
    SetHint(QStringLiteral("Pesquisar"));
    SetIcon(FrameworkIcons::Search(16), QSize(16, 16));
    SetBounds(0, 0, 23, 23);
}

void TBtnPesquisa::Click()
{
    TButtonFlat::Click();
    bool proceed = true;
    OnBeforePesq(this, proceed);
    if (!proceed)
        return;
    TDataSet* dataSet = dataSource_ ? dataSource_->DataSet() : nullptr;
    if (!dataSet || dataSet->IsEmpty()) {
        MessageDlg(emptyError_, TMsgDlgType::mtInformation, TMsgDlgBtn::mbOK, 0);
        return;
    }
    const int before = dataSet->RecNo();
    if (!Dialogs().LookupList({title_, dataSource_})) {
        dataSet->SetRecNo(before);
        return;
    }
    OnAfterPesq(this);
    if (associate_ && associate_->CanFocus())
        associate_->SetFocus();
}
