#pragma once
// Fixture of the screen's tests: a host main window with an MDI area, host
// settings pointing at an in-process stand-in for the application server
// that serves both remote modules and answers the stock questions, the
// host's database (`dtmDBGeral`) on a file that holds the branches of
// `Branches`, and the screen opened through the package's entry as the host
// opens it.
//
// The stand-in answers GetDados with the work list the test sets (empty by
// default), leaving in the two by-reference filters what it received.
#include "FakeAppServer.h"
#include "UiTest.h"
#include "framework/DtmDBGeral.h"
#include "framework/Varneth.h"
#include "screen/Cli_exp13000.h"
#include "ui/Form.h"

#include <QDate>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// The four answers a branch gives to the two stock questions.
struct StockCase {
    const char* name;
    bool warehouses;
    bool locations;
};
inline std::vector<StockCase> StockCases()
{
    return {{"neither", false, false}, {"warehouses", true, false}, {"locations", false, true}, {"both", true, true}};
}

class ScreenTest : public UiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the screen (CriaTela) and activates it, so that its first
    // activation has run.
    TfrmConfSepExp* OpenScreen();
    // Opens the screen and fills the four dates, so that leaving the filter
    // panel loads the work list.
    TfrmConfSepExp* OpenFilled();
    // Closes the screen and lets the event loop release it.
    void CloseScreen();
    // The stock questions asked so far, as "METHOD(branch)".
    QStringList StockQuestions() const;
    QList<Rpc::TCall> CallsOf(const QString& method) const;
    // Names of the enabled tool buttons, in the tool bar's order.
    static QStringList EnabledToolButtons(TfrmConfSepExp* f);

    // The rows of table FILIAL: code and name. "0001" is the host's branch.
    static const QList<QPair<QString, QString>> Branches;

    TFakeAppServer server{QString()};
    bool usesWarehouses = true;
    bool usesLocations = false;
    TForm* host = nullptr;
    Varneth::THostSettings savedSettings;
    QTemporaryDir databaseDir;
    std::unique_ptr<TdtmDBGeral> database;

    // The work list GetDados answers with, as rows of its three packets.
    QList<QVariantMap> invoices, items, readings;
    // What GetDados leaves in the two by-reference filters; empty: what it got.
    QStringList writeBack;
    // GetDados refuses with a business error.
    bool getDadosFails = false;
    QDate orderFrom{2024, 3, 1}, orderTo{2024, 3, 31}, outFrom{2024, 3, 5}, outTo{2024, 4, 10};

private:
    std::optional<Rpc::TMessage> AnswerWorkList(const Rpc::TCall& call) const;
};
