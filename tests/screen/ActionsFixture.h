#pragma once
// Fixture of the check actions' tests: the screen with a work list loaded
// the way the user loads it (tabbing out of the filter), served by an
// in-memory stand-in of "exp13000.rdmConfRastr" (TWorkListDouble) on the
// fake server.
#include "ScreenFixture.h"

#include "data/DataPacket.h"

// The work list as the server keeps it, answering GetDados, GetNrLancamento,
// GetItensIUM, deleteIUMProd and setConfRastrOK as the real server does for
// these rows. Tests change the rows between calls, as another user or the
// reading screen would.
class TWorkListDouble {
public:
    // Rows by field name, in the packet layouts of services/server.
    QList<QVariantMap> Invoices, Items, Readings;
    // The next call of a method (key) is refused with this message, once.
    QHash<QString, QString> Refusals;
    // When set, the next GetDados answers with only two packets.
    bool MalformedWorkList = false;
    // When not empty, what GetDados and GetNrLancamento write back into the
    // by-reference expedition filter.
    QString ExpeditionFilterReply;
    // The deltas deleteIUMProd received, refused ones too, in order.
    QList<TDataPacket> Deltas;

    // The reply to `call`; nothing for a method this double does not serve.
    std::optional<Rpc::TMessage> Answer(const Rpc::TCall& call);

    static QVariantMap Invoice(const QString& invoice);
    static QVariantMap Item(const QString& invoice, const QString& product, double toShip, double read,
                            const QString& status);
    static QVariantMap Reading(const QString& invoice, const QString& product, const QString& ium);
};

class ActionsTest : public ScreenTest {
protected:
    void SetUp() override;

    // The branch check reads this database from now on.
    void UseDatabase(const QString& path);
    // Three invoices: 101 complete, 102 with an item still missing readings,
    // 103 complete. Tests may change the rows before OpenLoaded.
    void SeedWorkList();
    // Opens the screen, fills both date ranges with from..to and moves the
    // focus into the invoice grid, which loads the work list.
    TfrmConfSepExp* OpenLoaded(const QDate& from = QDate(2024, 1, 1), const QDate& to = QDate(2024, 12, 31));
    // Runs `action` as an event of the user does: an error goes to the
    // error display. Returns false when it raised.
    bool Act(const std::function<void()>& action);
    // Double-clicks the invoice's row in the invoice grid (which selects it
    // first, as the mouse press does).
    void DoubleClickInvoice(const QString& invoice);
    // Selects an invoice as a click in the invoice grid does.
    void Select(const QString& invoice);

    // The current invoice, and a column of the rows each grid shows.
    QString CurrentInvoice() const;
    static QStringList Column(TDataSet* data, const char* field);
    int CallsOf(const QString& method) const;
    // The last call of `method`; fails the test when there was none.
    Rpc::TCall LastCall(const QString& method) const;

    TWorkListDouble work;
    TfrmConfSepExp* f = nullptr;
};
