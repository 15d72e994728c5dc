#pragma once
// TfrmLeituraIUM: the IUM reading screen of one invoice, which
// Codbarium::CriaLeituraIUM builds and runs.
//
// It lists the invoice's items as the server's GetItensIUM gives them
// (product code, name, unit, quantity to ship, quantity read, progress) and
// takes scans in edtCodigoIUM as a keyboard-wedge scanner types them:
// characters, then Enter. Each scan is sent at once to setLeituraIUM on the
// connection; its result shows in lblStatus (and is said, as text, to
// assistive technology) and on top of lstLeituras (whose lines wrap), with its sound (ReadingSounds.h) unless the host's setting
// turns sounds off (then a refusal rings the bell):
//   accepted: the product and the elements of the code (server/Gs1.h), after
//             which the item list is read again from the server;
//   refused:  the server's message, in red (likewise, as not stored, when the
//             server cannot be reached). The item the refusal concerns (the
//             scan's GTIN, else a product code the message names) becomes the
//             current row, drawn in red, and the message names its product by
//             the code as the grid shows it. When the scan carries a
//             character that is no GS1 data and no separator, and the code
//             does not parse, the message adds that the scanner may send it
//             as the group separator, and which setting says so.
// Either way the scan field is cleared and keeps the focus. A blank scan
// sends nothing. Esc clears a partly typed scan; on an empty field it closes
// the form (hides it), as sbtFechar and the window's close button do;
// everything accepted is stored on the server by then.
//
// Without the server (IumReadingQueue.cpp). A scan the server could not be
// asked about (the connection failed, after its own second try), and every
// scan read while others wait, is checked here as far as it can be without
// the server: its GS1 form, its GTIN among the invoice's items, its IUM not
// among the readings this form stored nor among those waiting, its item not
// complete counting those waiting. A scan that fails is refused at once, as
// the server would. One that passes is stored in the station's queue
// (ScanQueue.h) with its request identifier, durably, before anything shows;
// then its line shows, in a colour of its own, "aguardando o servidor", with
// its sound, and lblPendentes, under the invoice, counts the waiting ones
// ("3 leituras aguardando o servidor"). They are sent in order, with their
// identifiers, after every successful call of the form and on a timer that
// waits longer after each failure (SetRetryDelays); each outcome replaces
// its line (accepted, or refused with the server's message and the refusal
// sound), and once none waits lblPendentes and the list say how it went
// ("5 leituras enviadas: 4 aceitas, 1 recusada"). Qt. Lida, the progress and
// Accepted() count only what the server accepted. When the queue cannot be
// written, the scan stays in the field, so that Enter sends it again.
// Closing the form with scans waiting warns, and keeps them in the queue;
// they are sent when the invoice's reading is opened again (on this
// station, under this user and this server: waiting scans kept under
// another user or another server are sent only when the user says so).
//
// sbtDesfazer ("Desfazer última leitura") removes the last reading this form
// stored and has not undone yet, after the user says yes, through the
// server's deleteIUMProd (its rules hold: a confirmed invoice refuses, and
// the refusal shows as a scan's does); it is enabled while there is one.
// sbtTestarLeitor ("Testar leitor") runs the scanner check
// (Codbarium::TestaLeitor) over this form; the scan field has the focus
// again afterwards. Label counts ("Qt. Lida") show as whole numbers.
//
// Other checkers (IumReadingPresence.cpp), through a notice channel
// (netconn/NoticeChannel.h; the host's, Notices(), unless SetChannel gives
// another): while the form shows, the channel says this station has the
// invoice's reading open; lblPresenca names the other stations that have it
// open too ("user (station)"), and their readings and deletions set the
// items' Qt. Lida (and so the progress) as they are heard. A scan the server
// refuses for an item another checker has completed is answered with who
// completed it. Without a channel the form works alone, as before.
//
// Ownership: whoever creates the form owns it; the connection must outlive it.
// Failures: LoadItems raises (EServerError, EConnectionError,
// EDatabaseError for a packet without the item fields). A scan never raises:
// whatever goes wrong with it is shown in the result list.
#include "IumReadingControls.h"
#include "ModalForm.h"
#include "netconn/RemoteArg.h"
#include "ReadingSounds.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "ui/Buttons.h"
#include "ui/DBGrid.h"
#include "ui/Panels.h"

#include <QHash>
#include <QStringList>

#include <memory>

class QTimer;
class TNoticeChannel;
class TScanQueue;
namespace Rpc {
struct TNotice;
}
class TAppServer;
class TNetConnection;

class TfrmLeituraIUM : public TModalForm {
public:
    explicit TfrmLeituraIUM(TComponent* owner);
    ~TfrmLeituraIUM() override;

    // The colours of a result: accepted, refused, waiting for the server.
    static constexpr TColor AcceptedColor = ColorFromRGB(0, 110, 0);
    static constexpr TColor RefusedColor = clRed;
    static constexpr TColor PendingColor = ColorFromRGB(128, 0, 128);

    // The invoice, its branch and the connection to "exp13000.rdmConfRastr".
    void SetInvoice(const QString& branch, const QString& invoice, TNetConnection* connection);
    // Reads the invoice's items from the server into cdsItens, keeping the
    // cursor on the product it was on. Raises on failure (see above).
    void LoadItems();
    // Shows the form as the application's modal window, centred over the
    // active window, with the focus in the scan field.
    void ShowReading() { ShowModalOver(edtCodigoIUM); }
    // Readings stored on the server since the form was created, less those
    // undone.
    int Accepted() const { return int(stored_.size()); }
    QVariant Outcome() const override { return Accepted(); }
    // The channel of other checkers' notices (nullptr: none); by default the
    // host's. It must outlive the form, or be set to nullptr first.
    void SetChannel(TNoticeChannel* channel);
    // The other stations with this invoice's reading open, "user (station)".
    QStringList Present() const;
    // Scans of this form waiting for the server.
    int Pending() const { return int(pending_.size()); }
    // The wait before the first new try of the waiting scans, and the longest
    // (each failure doubles it), in milliseconds.
    void SetRetryDelays(int firstMs, int longestMs);

    TPanel* panLeitura;
    TLabel* lblNota;
    TLabel* lblPendentes;
    TLabel* lblPresenca;
    TLabel* lblCodigoIUM;
    TScanEdit* edtCodigoIUM;
    TDBGrid* dbgItens;
    TPanel* panResultado;
    TLabel* lblStatus;
    TReadingLog* lstLeituras;
    TPanel* panBotoes;
    TSpeedButton* sbtFechar;
    TSpeedButton* sbtDesfazer;
    TSpeedButton* sbtTestarLeitor;

    TClientDataSet* cdsItens;
    TDataSource* dtsItens;
    TStringField* cdsItensCDPRODUTO;
    TStringField* cdsItensCDARVPROD;
    TStringField* cdsItensNMPRODUTO;
    TStringField* cdsItensSGUNIDADE;
    TFloatField* cdsItensQTITEMPROD;
    TFloatField* cdsItensQTRESPRODPED;
    TStringField* cdsItensIDCONTROLAIUM;
    TStringField* cdsItensCDGTIN;

    void FormKeyDown(TObject* sender, TKey& key, TShiftState shift);
    void FormClose(TObject* sender, TCloseAction& action);
    void sbtFecharClick(TObject* sender);
    void sbtDesfazerClick(TObject* sender);
    void sbtTestarLeitorClick(TObject* sender);
    void dbgItensDrawColumnCell(TObject* sender, const TRect& rect, int dataCol, TColumn* column,
                                TGridDrawState state);

protected:
    // Once shown, the form says this station has the invoice's reading open,
    // and takes up the scans of the invoice that wait in the queue.
    void Shown() override;

private:
    void BuildItemGrid();
    // Presence and the others' counts (IumReadingPresence.cpp).
    void JoinReading();
    void LeaveReading();
    void NoticeHeard(const Rpc::TNotice& notice);
    void SetReadCount(const QString& product, double count);
    // The refusal of a scan for an item another checker completed, or "".
    QString CompletedElsewhere(const QString& product) const;
    // The connection's call object; raises Exception when there is none.
    TAppServer& Server() const;
    // Calls `method` on the connection, as request `requestId` when one is
    // given; notices heard while it waits (IumReadingPresence.cpp) know from
    // calling_ that no call may be made. A call that succeeds is a sign for
    // the waiting scans to go.
    QVariant Call(const QString& method, const QList<TRemoteArg>& args, const QString& requestId = QString());
    // Reads the items again once no call of the form is waiting.
    void ReloadWhenIdle();
    // Sends the scan field's text and shows the outcome.
    void ReadScan();
    // Shows a result in the status line and on top of the list, or in place
    // of the list's line `line` (TReadingLog's key) when there is one;
    // returns the key of the line it shows on.
    int ShowResult(const QString& text, TColor color, const QString& code, int line = 0);
    // Shows a refusal of `code` (or of its undoing) with `message`, and marks
    // the item it concerns.
    void ShowRefusal(const QString& prefix, const QString& message, const QString& code, int line = 0);
    // Makes the item of GTIN `gtin` (GTIN-14, or -13 as the item may hold
    // it) the current row; false when the invoice has none.
    bool LocateGtin(const QString& gtin);

    // The queue (IumReadingQueue.cpp).
    enum class TQueued { Queued, Refused, Unavailable };
    // Checks `code` as far as it can be without the server and queues it
    // as request `requestId`; says which it did (Unavailable: the queue
    // could not keep it, `why` says why, and nothing was shown).
    TQueued Enqueue(const QString& code, const QString& requestId, QString& why);
    // The line of a waiting scan; names the item when the cursor stands on
    // `product`.
    QString PendingText(const QString& code, const QString& product) const;
    // Why `code` cannot be stored, as far as this form knows ("" when it
    // may be); the item it concerns becomes the current row.
    QString LocalRefusal(const QString& code);
    // Opens the queue and takes up this invoice's waiting scans.
    void TakeQueued();
    // Sends the waiting scans in order until the server cannot be reached.
    void SendQueued();
    // Sends the waiting scans after `ms`, unless a try is already due sooner.
    void ScheduleSend(int ms);
    void ShowPendingCount();
    // Whom and where the scans are read for: the user the server knows this
    // station by, and the server's address.
    QString User() const;
    QString Site() const;
    // The item a refusal concerns (CDPRODUTO), "" when none is found; the
    // cursor stands on it then. `message` gets the product's code as shown.
    QString FindRefused(const QString& code, QString& message);
    void Sound(TReadingSound sound) const;
    // Reads the items again, keeping the result shown when that fails.
    bool ReloadAfter(const QString& what, const QString& code);
    // The status text of an accepted scan; `payload` is setLeituraIUM's
    // [CDPRODUTO, readings now, quantity to ship].
    QString AcceptedText(const QString& code, const QVariant& payload) const;

    QString branch_;
    QString invoice_;
    TNetConnection* connection_ = nullptr;
    TColumn* progressColumn_ = nullptr;
    bool calling_ = false;
    struct TStored {
        QString Product;  // CDPRODUTO
        QString Code;     // CDIUMPROD as the server stored it
    };
    QList<TStored> stored_;
    QString refusedProduct_;
    TNoticeChannel* channel_ = nullptr;
    int listener_ = 0;
    struct TChecker {
        QString User;
        QString Station;
        bool operator==(const TChecker&) const = default;
    };
    QList<TChecker> present_;
    QHash<QString, TChecker> completedBy_;  // by CDPRODUTO: who read its last unit
    // Calls `method` of the server for what `key` names (a scan, an undo).
    // When the last call for the same key never learned its outcome (the
    // connection failed, after its own second try), this one is the same
    // request again, so a change that did run is answered as it was and not
    // refused as done already.
    QVariant Request(const QString& key, const QString& method, const QList<TRemoteArg>& args);
    struct TUnanswered {
        QString Key;
        QString RequestId;
    };
    TUnanswered unanswered_;

    std::unique_ptr<TScanQueue> queue_;  // opened once shown; null when it could not be
    QString user_;  // whom and where this form's scans are queued for
    QString site_;
    struct TPendingScan {
        qint64 Id = 0;  // the queue's row
        QString RequestId;
        QString Code;
        QString Product;  // CDPRODUTO of its GTIN's item
        int Line = 0;     // its line in lstLeituras
    };
    QList<TPendingScan> pending_;
    int sentAccepted_ = 0;  // outcomes since the queue was last empty
    int sentRefused_ = 0;
    bool sending_ = false;
    QTimer* retryTimer_ = nullptr;
    int firstDelay_ = 1000;
    int longestDelay_ = 30000;
    int delay_ = 1000;  // the wait after the next failure
};
