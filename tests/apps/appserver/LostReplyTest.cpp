// A reply lost after the commit: the server dies (SIGKILL, through the test
// seam FaultInjection::KillAfterCommit) right after a client's change has
// committed and before its reply is written. The client, which knows a
// second server of the site, sends the call again by itself with the same
// request identifier; the second server answers with the first outcome:
// the change is recorded once, and the client is told it was done, not
// that it is done already. Also: a request sent again is answered as it
// first was, refusals included, and an identifier names one method.
#include "ServerData.h"
#include "ServerSession.h"
#include "rules/RequestLog.h"
#include "storage/Database.h"

#include <QDateTime>

#include <functional>
#include <gtest/gtest.h>

namespace {

const QString branch = QStringLiteral("0001");

class LostReply : public ::testing::Test {
public:
    void SetUp() override
    {
        TAppServerProcess::TOptions dying;
        dying.Environment = {QStringLiteral("EXP13000_TEST_KILL_AFTER_COMMIT=1")};
        first = std::make_unique<TAppServerProcess>(dying);
        TAppServerProcess::TOptions beside;
        beside.Database = first->DatabasePath();
        second = std::make_unique<TAppServerProcess>(beside);
        db = std::make_unique<TDbView>(*first);
        net = Connect(*first);
        net->SetAlternates({{second->Host(), second->Port()}});
        TDatabase data(TDbConfig{first->DatabasePath()});
        SplitInvoices(data, branch, ready, notReady);
        open = OpenItems(data, branch);
    }

    // Readings, confirmations, audit records.
    QList<qint64> Recorded() const
    {
        return {db->Count(QStringLiteral("LEITURAIUM")), db->Count(QStringLiteral("AUDITORIA")),
                db->Value(QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE IDCONFRASTR = 'S'")).toLongLong()};
    }
    QVariant Call(const QString& method, const QList<TRemoteArg>& args) { return net->AppServer().Call(method, args); }

    std::unique_ptr<TAppServerProcess> first, second;
    std::unique_ptr<TDbView> db;
    std::unique_ptr<TNetConnection> net;
    QStringList ready, notReady;
    QList<TOpenItem> open;
};

struct TWrite {
    const char* Name;
    // The call, and what it changes: readings, audits, confirmations.
    std::function<QVariant(LostReply&)> Run;
    QList<qint64> Change;
};

class LostReplyOf : public LostReply, public ::testing::WithParamInterface<TWrite> {};

TEST_P(LostReplyOf, TheRetryGetsTheFirstOutcome)
{
    const QList<qint64> before = Recorded();
    QVariant outcome;
    ASSERT_NO_THROW(outcome = GetParam().Run(*this));
    EXPECT_EQ(Refusal(outcome), QString()) << "told the opposite of what happened";
    first->Kill();  // reaped; it killed itself after the commit
    EXPECT_EQ(net->Current().Port, second->Port()) << "the retry went to the site's other server";
    QList<qint64> expected = before;
    for (int i = 0; i < 3; ++i)
        expected[i] += GetParam().Change[i];
    EXPECT_EQ(Recorded(), expected) << "recorded once";
    EXPECT_EQ(db->Count(QStringLiteral("REQUISICAO")), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, LostReplyOf,
    ::testing::Values(
        TWrite{"Reading",
               [](LostReply& t) {
                   const TOpenItem item = t.open.value(0);
                   return t.Call(Remote::SetLeituraIUM, {branch, item.Invoice, IumScan(item.Gtin14, QStringLiteral("PERDIDA1"))});
               },
               {1, 1, 0}},
        TWrite{"Confirmation",
               [](LostReply& t) { return t.Call(Remote::SetConfRastrOK, {branch, t.ready.value(0)}); },
               {0, 1, 1}},
        TWrite{"Deletion",
               [](LostReply& t) {
                   const QVariantList reading = t.db->Rows(QStringLiteral(
                       "SELECT L.NRLANCTONF, MIN(L.CDIUMPROD) FROM LEITURAIUM L JOIN NOTAFISCAL NF"
                       "    ON NF.CDFILIAL = L.CDFILIAL AND NF.NRLANCTONF = L.NRLANCTONF"
                       " WHERE L.CDFILIAL = ? AND NF.IDCONFRASTR = 'N' GROUP BY L.NRLANCTONF ORDER BY L.NRLANCTONF"),
                       {branch}).value(0);
                   const QString invoice = reading.value(0).toString();
                   const QString ium = reading.value(1).toString();
                   return t.Call(Remote::DeleteIUMProd, {QVariant::fromValue(ReadingsDelta(branch, {{invoice, ium}}))});
               },
               {-1, 1, 0}}),
    [](const ::testing::TestParamInfo<TWrite>& info) { return std::string(info.param.Name); });

// Without a second server the retry finds none: one message, and the same
// request sent again once the server is back is answered as it first was.
TEST_F(LostReply, BothTriesFailedAndTheSameRequestLaterIsAnsweredAsDone)
{
    net->SetAlternates({});
    const TOpenItem item = open.value(0);
    const QString scan = IumScan(item.Gtin14, QStringLiteral("PERDIDA2"));
    const qint64 readings = db->Count(QStringLiteral("LEITURAIUM"));
    try {
        Call(Remote::SetLeituraIUM, {branch, item.Invoice, scan});
        FAIL() << "the server died before its reply";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("A chamada de setLeituraIUM não foi concluída: A conexão com o "
                                                          "servidor de aplicação em 127.0.0.1:%1 foi perdida")
                                               .arg(first->Port())))
            << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Nova tentativa: Não foi possível conectar"))) << e.Message().toStdString();
    }
    const QString request = net->LastRequestId();
    ASSERT_FALSE(request.isEmpty());
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), readings + 1) << "committed before the reply was lost";

    net->SetPort(second->Port());
    net->SetNextRequestId(request);
    EXPECT_EQ(Refusal(Call(Remote::SetLeituraIUM, {branch, item.Invoice, scan})), QString());
    EXPECT_TRUE(Refusal(Call(Remote::SetLeituraIUM, {branch, item.Invoice, scan})).contains(QStringLiteral("já foi lido")))
        << "a new request is run, and refused";
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), readings + 1);
}

// Served by the second server alone (the first never commits anything here).
TEST_F(LostReply, ARefusalIsAnsweredTheSameWhenSentAgain)
{
    net->SetPort(second->Port());
    // An item whose last free unit is taken: the next scan is refused.
    const TOpenItem item = open.value(1);
    for (int unit = 0; unit < item.Free; ++unit)
        ASSERT_EQ(Refusal(Call(Remote::SetLeituraIUM, {branch, item.Invoice, IumScan(item.Gtin14, QStringLiteral("CHEIO%1").arg(unit))})),
                  QString());
    const QString extra = IumScan(item.Gtin14, QStringLiteral("EXCEDE"));
    const QString refusal = Refusal(Call(Remote::SetLeituraIUM, {branch, item.Invoice, extra}));
    ASSERT_TRUE(refusal.contains(QStringLiteral("já tem"))) << refusal.toStdString();
    const QString request = net->LastRequestId();

    // A unit is freed: the same request is still refused as it was, a new one stored.
    const QString stored = db->Value(QStringLiteral("SELECT MIN(CDIUMPROD) FROM LEITURAIUM WHERE CDFILIAL = ? AND NRLANCTONF = ? "
                                                    "AND NRSERIE LIKE 'CHEIO%'"),
                                     {branch, item.Invoice})
                               .toString();
    ASSERT_EQ(Refusal(Call(Remote::DeleteIUMProd, {QVariant::fromValue(ReadingsDelta(branch, {{item.Invoice, stored}}))})),
              QString());
    net->SetNextRequestId(request);
    EXPECT_EQ(Refusal(Call(Remote::SetLeituraIUM, {branch, item.Invoice, extra})), refusal);
    EXPECT_EQ(Refusal(Call(Remote::SetLeituraIUM, {branch, item.Invoice, extra})), QString());

    // The identifier names that scan: another method is refused it.
    net->SetNextRequestId(request);
    const QString other = Refusal(Call(Remote::SetConfRastrOK, {branch, ready.value(0)}));
    EXPECT_TRUE(other.contains(QStringLiteral("já foi usado em setLeituraIUM"))) << other.toStdString();
    EXPECT_EQ(db->Value(QStringLiteral("SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = ? AND NRLANCTONF = ?"),
                        {branch, ready.value(0)})
                  .toString(),
              QStringLiteral("N"));
}

// Outcomes are kept for their retention, then removed: a client retries
// within seconds, and the table does not grow with every change ever made.
TEST(RequestOutcomes, AreKeptForTheirRetentionAndThenRemoved)
{
    TAppServerProcess::TOptions options;
    options.Demo = false;
    TAppServerProcess server(options);
    TDatabase data(TDbConfig{server.DatabasePath()});
    const qint64 retention = qint64(RequestLog::RetentionHours) * 3600;
    {
        TScopedTransaction transaction(data, TScopedTransaction::TKind::Write);
        for (const auto& [id, age] : {std::pair{"velha", retention + 60}, std::pair{"recente", retention - 60}}) {
            TSql insert(data, QStringLiteral("INSERT INTO REQUISICAO (CDUSUARIO, IDREQUISICAO, NMMETODO, DTREQUISICAO, "
                                             "DSRESULTADO) VALUES ('', :IDREQUISICAO, 'setLeituraIUM', :DTREQUISICAO, '')"));
            insert.Bind(QStringLiteral(":IDREQUISICAO"), QString::fromLatin1(id))
                .Bind(QStringLiteral(":DTREQUISICAO"), QDateTime::currentDateTime().addSecs(-age))
                .Exec();
        }
        transaction.Commit();
    }
    EXPECT_EQ(RequestLog::Prune(data), 1);
    TSql left(data, QStringLiteral("SELECT IDREQUISICAO FROM REQUISICAO"));
    left.Exec();
    ASSERT_TRUE(left.Next());
    EXPECT_EQ(left.Text(0), QStringLiteral("recente"));
    EXPECT_FALSE(left.Next());
}

} // namespace
