#pragma once
// Fixture of the check actions' tests: the screen with the work list of
// WorkListTest loaded the way the user loads it (leaving the filter for the
// invoice grid), and a stand-in server that also answers what the actions
// call (the expedition list, the reading screen's items, deleteIUMProd and
// setConfRastrOK) by changing that work list as the real server changes its
// data. Tests change the rows between calls, as another user or the reading
// screen would.
#include "WorkListFixture.h"

#include "data/DataPacket.h"

#include <functional>

class ActionsTest : public WorkListTest {
protected:
    void SetUp() override;

    // Opens the screen, fills the dates and moves the focus into the
    // invoice grid, which loads the work list.
    TfrmConfSepExp* OpenLoaded();
    // The branch check reads this database from now on.
    void UseDatabase(const QString& path);
    // Runs `action` as an event of the user does: an error goes to the
    // error display. Returns false when it raised.
    bool Act(const std::function<void()>& action);
    // Double-clicks the invoice's row in the invoice grid (which selects it
    // first, as the mouse press does).
    void DoubleClickInvoice(const QString& invoice);
    // Selects an invoice as a click in the invoice grid does.
    void Select(const QString& invoice);
    QString CurrentInvoice() const;

    // The next call of a method (key) is refused with this message, once.
    QHash<QString, QString> refusals;
    // The next GetDados answers with two packets instead of three.
    bool malformedWorkList = false;
    // The deltas deleteIUMProd received, refused ones too, in order.
    QList<TDataPacket> deltas;
    TfrmConfSepExp* f = nullptr;

private:
    std::optional<Rpc::TMessage> AnswerAction(const Rpc::TCall& call);
};
