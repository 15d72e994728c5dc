// Fault injection on the server's write paths, in the manner of SQLite's
// fault tests: each write method runs with its N-th database statement (its
// BEGIN, a query, a change or its COMMIT) failing (FaultInjection,
// storage/Database.h), for N = 1, 2, ... until the method runs without
// reaching it. After each failure nothing of the change is recorded (no
// reading stored or deleted, no confirmation, no audit record), the caller
// gets an "internal" fault in Portuguese that keeps the database's text to
// the log, and the next call on the same connection succeeds.
//
// The methods run in process, through the server's own dispatcher and
// modules, on a database the real server made (demo data); each path runs on
// a thread of its own, as a worker with its own connection.
#include "ServerData.h"
#include "ServerSession.h"
#include "rules/Modules.h"
#include "rpc/Envelope.h"
#include "storage/Database.h"

#include <QThread>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString branch = QStringLiteral("0001");

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<TAppServerProcess>();
        server->Stop();  // only its database is used
        view = std::make_unique<TDbView>(*server);
        dispatcher.Add(ConfRastrModule());
    }
    void TearDown() override { FaultInjection::FailStatement(0); }

    // What any write path changes, counted: readings, confirmations, audit,
    // outcomes of identified requests.
    static QList<qint64> Recorded(const TDbView& db)
    {
        return {db.Count(QStringLiteral("LEITURAIUM")), db.Count(QStringLiteral("AUDITORIA")),
                db.Value(QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE IDCONFRASTR = 'S'")).toLongLong(),
                db.Count(QStringLiteral("REQUISICAO")), db.Count(QStringLiteral("EPCISSAIDA"))};
    }

    // With `requestId` set, the call carries it.
    Rpc::TMessage Call(const QString& method, const QVariantList& args) const
    {
        return dispatcher.Execute(*dispatcher.Find(Remote::ConfRastr), Rpc::TCall{1, method, args, {}, requestId},
                                  TDbConfig{server->DatabasePath()}, TPrincipal{});
    }

    // Runs `method` with failures at statements 1, 2, ... (attempt i takes
    // its arguments from args(i)), each failing call followed by the same
    // call without a failure. Returns the statements the path ran.
    int RunWithFaults(const QString& method, const std::function<QVariantList(int)>& args)
    {
        int statements = 0;
        QThread* worker = QThread::create([&] {
            const TDbView db(*server);  // a connection belongs to its thread
            for (int n = 1; n < 100; ++n) {
                const QVariantList arguments = args(n);
                const QList<qint64> before = Recorded(db);
                FaultInjection::FailStatement(n);
                const Rpc::TMessage reply = Call(method, arguments);
                const bool fired = FaultInjection::Fired();
                FaultInjection::FailStatement(0);
                if (fired) {
                    const auto* fault = std::get_if<Rpc::TFault>(&reply);
                    ASSERT_NE(fault, nullptr) << "statement " << n << ": the failure was answered as a success";
                    EXPECT_EQ(fault->Code, Rpc::Fault::Internal);
                    EXPECT_TRUE(fault->Message.startsWith(QStringLiteral(
                        "Erro interno do servidor de aplicação em exp13000.rdmConfRastr.%1. A operação não foi concluída").arg(method)))
                        << fault->Message.toStdString();
                    EXPECT_FALSE(fault->Message.contains(QStringLiteral("falha provocada"))) << "the database's text stays in the log";
                    EXPECT_EQ(Recorded(db), before) << "statement " << n << ": half-written";
                }
                const Rpc::TMessage next = fired ? Call(method, arguments) : reply;
                const auto* result = std::get_if<Rpc::TResult>(&next);
                ASSERT_NE(result, nullptr) << "statement " << n << ": " << std::get<Rpc::TFault>(next).Message.toStdString();
                const auto envelope = Rpc::ParseEnvelope(result->Value);
                ASSERT_TRUE(envelope && envelope->Ok) << "statement " << n << ": " << (envelope ? envelope->Message.toStdString() : "");
                EXPECT_NE(Recorded(db), before) << "statement " << n << ": the call after the failure recorded nothing";
                if (!fired) {
                    statements = n - 1;
                    return;
                }
            }
        });
        worker->start();
        worker->wait();
        delete worker;
        return statements;
    }

    void SplitInvoices(QStringList& ready, QStringList& notReady) const
    {
        TDatabase db(TDbConfig{server->DatabasePath()});
        ::SplitInvoices(db, branch, ready, notReady);
    }
    QList<TOpenItem> OpenItems() const
    {
        TDatabase db(TDbConfig{server->DatabasePath()});
        return ::OpenItems(db, branch);
    }

    std::unique_ptr<TAppServerProcess> server;
    std::unique_ptr<TDbView> view;
    TDispatcher dispatcher;
    QString requestId;
};

TEST_F(Faults, ConfirmationLeavesNothingHalfWritten)
{
    QStringList ready, notReady;
    SplitInvoices(ready, notReady);
    const int statements = RunWithFaults(Remote::SetConfRastrOK, [&](int n) {
        return QVariantList{branch, ready.value(n)};
    });
    EXPECT_GE(statements, 7);  // BEGIN, the invoice, its items, the update, the audit, the due event, COMMIT
    EXPECT_LT(statements, ready.size());
}

// A delta over two invoices: a failure between its two deletions keeps both.
TEST_F(Faults, DeletionLeavesNothingHalfWritten)
{
    QStringList ready, notReady;
    SplitInvoices(ready, notReady);
    const QString sql = QStringLiteral("SELECT CDIUMPROD FROM LEITURAIUM WHERE CDFILIAL = ? AND NRLANCTONF = ? ORDER BY CDIUMPROD");
    QStringList invoices;
    QList<QList<QVariantList>> readings;
    for (const QString& invoice : notReady) {
        const QList<QVariantList> rows = view->Rows(sql, {branch, invoice});
        if (rows.size() >= 20 && invoices.size() < 2) {
            invoices.append(invoice);
            readings.append(rows);
        }
    }
    ASSERT_EQ(invoices.size(), 2);
    const int statements = RunWithFaults(Remote::DeleteIUMProd, [&](int n) {
        const TDataPacket delta = ReadingsDelta(branch, {{invoices[0], readings[0].value(n).value(0).toString()},
                                                         {invoices[1], readings[1].value(n).value(0).toString()}});
        return QVariantList{QVariant::fromValue(delta)};
    });
    EXPECT_GE(statements, 8);  // BEGIN, two invoices, two deletions with their audits, COMMIT
}

TEST_F(Faults, ReadingStoreLeavesNothingHalfWritten)
{
    // One IUM-controlled item with a free unit per attempt.
    const QList<TOpenItem> open = OpenItems();
    const int statements = RunWithFaults(Remote::SetLeituraIUM, [&](int n) {
        const TOpenItem item = open.value(n);
        return QVariantList{branch, item.Invoice, IumScan(item.Gtin14, QStringLiteral("FALHA%1").arg(n))};
    });
    EXPECT_GE(statements, 6);  // BEGIN, the invoice, the item with its count, the insert, the audit, COMMIT
    EXPECT_LT(statements, open.size());
}

// An identified request claims its identifier and records its outcome in
// the change's transaction: a failure anywhere keeps neither, and the same
// request sent again then runs.
TEST_F(Faults, AnIdentifiedReadingLeavesNothingHalfWritten)
{
    const QList<TOpenItem> open = OpenItems();
    const int statements = RunWithFaults(Remote::SetLeituraIUM, [&](int n) {
        requestId = QStringLiteral("falha-%1").arg(n);
        const TOpenItem item = open.value(n);
        return QVariantList{branch, item.Invoice, IumScan(item.Gtin14, QStringLiteral("PEDIDO%1").arg(n))};
    });
    EXPECT_GE(statements, 8);  // the reading's six, the claim and the outcome
    EXPECT_LT(statements, open.size());
}

} // namespace
