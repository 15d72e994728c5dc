#pragma once
// A form with every kind of control of the platform, laid out like a work
// screen: a tool bar, a filter with masked edits, and two grids with a
// splitter between them. The demo program shows it; a test renders it.
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "ui/Buttons.h"
#include "ui/DBGrid.h"
#include "ui/ExtCtrls.h"
#include "ui/Form.h"
#include "ui/MaskEdit.h"
#include "ui/Panels.h"
#include "ui/StdCtrls.h"

class TDemoForm : public TForm {
public:
    explicit TDemoForm(TComponent* owner);

    TPanel* panTools;
    QList<TSpeedButton*> buttons;
    TImage* imgCodBarra;
    TImage* imgLogo;
    TPanel* panFilter;
    TGroupBox* grpBranch;
    TLabel* lblBranch;
    TMaskEdit* medBranch;
    TEdit* edtBranchName;
    TGroupBox* grpNumbers;
    TLabel* lblExpedition;
    TMaskEdit* medExpedition;
    TLabel* lblDocument;
    TMaskEdit* medDocument;
    TPanel* panGrid;
    TDBGrid* dbgInvoices;
    TSplitter* splitter;
    TDBGrid* dbgItems;
    TClientDataSet* cdsInvoices;
    TClientDataSet* cdsItems;
    TDataSource* dtsInvoices;
    TDataSource* dtsItems;

private:
    template <class T>
    T* Make(TWinControl* parent, const char* name);
    void dbgInvoicesDrawColumnCell(TObject* sender, const TRect& rect, int dataCol, TColumn* column,
                                   TGridDrawState state);
};
