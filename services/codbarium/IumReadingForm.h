#pragma once
// TfrmLeituraIUM: the IUM reading screen of one invoice, which
// Codbarium::CriaLeituraIUM builds and runs.
//
// It lists the invoice's items as the server's GetItensIUM gives them
// (product code, name, unit, quantity to ship, quantity read, progress) and
// takes scans in edtCodigoIUM as a keyboard-wedge scanner types them:
// characters, then Enter. Each scan is sent at once to setLeituraIUM on the
// connection; its result shows in lblStatus and on top of lstLeituras:
//   accepted: the product and the elements of the code (server/Gs1.h), after
//             which the item list is read again from the server;
//   refused:  the server's message, in red, with a beep (likewise, as not
//             stored, when the server cannot be reached).
// Either way the scan field is cleared and keeps the focus. A blank scan
// sends nothing. Esc, sbtFechar and the window's close button close the form
// (hide it); everything accepted is stored on the server by then.
//
// Ownership: whoever creates the form owns it; the connection must outlive it.
// Failures: LoadItems raises (EServerError, EConnectionError,
// EDatabaseError for a packet without the item fields). A scan never raises:
// whatever goes wrong with it is shown in the result list.
#include "IumReadingControls.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "ui/Buttons.h"
#include "ui/DBGrid.h"
#include "ui/Form.h"
#include "ui/Panels.h"

class QEventLoop;
class TAppServer;
class TNetConnection;

class TfrmLeituraIUM : public TForm {
public:
    explicit TfrmLeituraIUM(TComponent* owner);

    // The invoice, its branch and the connection to "exp13000.rdmConfRastr".
    void SetInvoice(const QString& branch, const QString& invoice, TNetConnection* connection);
    // Reads the invoice's items from the server into cdsItens, keeping the
    // cursor on the product it was on. Raises on failure (see above).
    void LoadItems();
    // Shows the form as the application's modal window, centred over the
    // active window, with the focus in the scan field.
    void ShowReading();
    // Runs the events until the form closes; returns at once when it is not
    // showing.
    void WaitUntilClosed();
    // Readings stored on the server since the form was created.
    int Accepted() const { return accepted_; }

    TPanel* panLeitura;
    TLabel* lblNota;
    TLabel* lblCodigoIUM;
    TScanEdit* edtCodigoIUM;
    TDBGrid* dbgItens;
    TPanel* panResultado;
    TLabel* lblStatus;
    TReadingLog* lstLeituras;
    TPanel* panBotoes;
    TSpeedButton* sbtFechar;

    TClientDataSet* cdsItens;
    TDataSource* dtsItens;
    TStringField* cdsItensCDPRODUTO;
    TStringField* cdsItensCDARVPROD;
    TStringField* cdsItensNMPRODUTO;
    TStringField* cdsItensSGUNIDADE;
    TFloatField* cdsItensQTITEMPROD;
    TFloatField* cdsItensQTRESPRODPED;
    TStringField* cdsItensIDCONTROLAIUM;

    void FormKeyDown(TObject* sender, TKey& key, TShiftState shift);
    void FormClose(TObject* sender, TCloseAction& action);
    void sbtFecharClick(TObject* sender);
    void dbgItensDrawColumnCell(TObject* sender, const TRect& rect, int dataCol, TColumn* column,
                                TGridDrawState state);

private:
    void BuildItemGrid();
    // The connection's call object; raises Exception when there is none.
    TAppServer& Server() const;
    // Sends the scan field's text and shows the outcome.
    void ReadScan();
    void ShowResult(const QString& text, TColor color, const QString& code);
    // The status text of an accepted scan; `payload` is setLeituraIUM's
    // [CDPRODUTO, readings now, quantity to ship].
    QString AcceptedText(const QString& code, const QVariant& payload) const;

    QString branch_;
    QString invoice_;
    TNetConnection* connection_ = nullptr;
    TColumn* progressColumn_ = nullptr;
    QEventLoop* loop_ = nullptr;
    int accepted_ = 0;
};
