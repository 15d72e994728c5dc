// Per-branch authorization against the real server over TLS with accounts:
// a user refused another branch's work (the work list, the number lists, a
// confirmation, a deletion, the reading screen's load and store, the stock
// questions) with nothing changed and the refusal logged; the accounts file
// read again on SIGHUP, also for connections already open; a stale
// account re-hashed at its next login; and the station's branch query,
// through the server, answered with the user's branches only.
#include "ServerSession.h"
#include "ServerSite.h"
#include "netconn/Lib00200.h"
#include "server/KnownQueries.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPasswordDigestor>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString password = TServerSite::Password;
const QString mine = QStringLiteral("0003");
const QString theirs = QStringLiteral("0001");

std::unique_ptr<TNetConnection> Station(const TServerSite& site, const TAppServerProcess& server, const QString& user,
                                        const QString& module = Remote::ConfRastr)
{
    auto net = Connect(server, module);
    net->SetSecurity(TNetConnection::TSecurity{true, site.Certificate(), user, password});
    return net;
}

// A deletion delta of `readings` (rows of a work list's readings packet).
TDataPacket Delta(const QList<TDataPacket>& readings)
{
    TDataPacketBuilder delta({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                              {QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                              {QStringLiteral("CDIUMPROD"), TFieldType::ftString, 100}});
    for (const TDataPacket& reading : readings) {
        for (const char* field : {"CDFILIAL", "NRLANCTONF", "CDIUMPROD"})
            delta.AddString(reading.String(0, Col(reading, field)));
        delta.EndRow();
    }
    return delta.Build();
}

// Waits up to 10 s for the server's log to hold `text`.
bool LogShows(const TAppServerProcess& server, const QString& text)
{
    const QDeadlineTimer deadline(10000);
    while (!server.Log().contains(text)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// "ana" works on branches 0002 and 0003; maria and joao on every branch.
class Authorization : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        site = new TServerSite;
        QString output;
        if (TServerSite::AddUser(site->Accounts(), QStringLiteral("ana"), password, &output, QStringLiteral("0002,0003")) != 0)
            throw std::runtime_error(output.toStdString());
        server = new TAppServerProcess(TAppServerProcess::TOptions{1, true, 4, site->ServerArguments(), QString()});
    }
    static void TearDownTestSuite()
    {
        delete server;
        delete site;
    }

    // What any change records: readings, audit records, confirmations.
    static QList<qint64> Recorded()
    {
        const TDbView db(*server);
        return {db.Count(QStringLiteral("LEITURAIUM")), db.Count(QStringLiteral("AUDITORIA")),
                db.Value(QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE IDCONFRASTR = 'S'")).toLongLong()};
    }

    static inline TServerSite* site = nullptr;
    static inline TAppServerProcess* server = nullptr;
};

struct TRefusedCall {
    const char* method;
    // The arguments, given one reading of each branch's work list.
    std::function<QList<TRemoteArg>(const TDataPacket& theirReading, const TDataPacket& myReading)> args;
};

// The rows of the branch query the server runs for `user`, its parameter `branch` (null: every branch).
QStringList BranchesFor(const TServerSite& site, const TAppServerProcess& server, const QString& user,
                        const QVariant& branch)
{
    auto net = Station(site, server, user, Remote::Consulta);
    TDataPacketBuilder params({{KnownQueries::BranchParameter, TFieldType::ftString, 0}});
    if (branch.isNull())
        params.AddNull();
    else
        params.AddString(branch.toString());
    params.EndRow();
    const TDataPacket rows = Consiste::CheckResultServ(
        net->AppServer().Call(Remote::Consultar, {KnownQueries::BranchQuery().join(u'\n'), params.Build()}), true, 0)
                                 .value<TDataPacket>();
    QStringList codes;
    for (int row = 0; row < rows.RowCount(); ++row)
        codes << rows.String(row, 0);
    return codes;
}

TEST_F(Authorization, TheBranchQueryAnswersTheUsersBranchesOnly)
{
    EXPECT_EQ(BranchesFor(*site, *server, QStringLiteral("ana"), QVariant()), (QStringList{"0002", "0003"}));
    EXPECT_EQ(BranchesFor(*site, *server, QStringLiteral("ana"), theirs), QStringList{});
    EXPECT_EQ(BranchesFor(*site, *server, QStringLiteral("ana"), mine), QStringList{mine});
    EXPECT_EQ(BranchesFor(*site, *server, QStringLiteral("maria"), QVariant()), (QStringList{"0001", "0002", "0003"}));
}

TEST_F(Authorization, AnotherBranchsWorkIsRefusedLoggedAndChangesNothing)
{
    auto maria = Station(*site, *server, QStringLiteral("maria"));
    const TDataPacket theirReading = GetDados(*maria, theirs).Readings.Select({0});
    const TDataPacket myReading = GetDados(*maria, mine).Readings.Select({0});
    ASSERT_EQ(theirReading.RowCount(), 1);
    ASSERT_EQ(myReading.RowCount(), 1);
    const QString theirInvoice = theirReading.String(0, Col(theirReading, "NRLANCTONF"));
    QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
    const TRefusedCall calls[] = {
        {"GetDados",
         [&](auto&, auto&) {
             return QList<TRemoteArg>{theirs, ByRef(expedition), ByRef(order), TDateTime(), TDateTime(), TDateTime(), TDateTime()};
         }},
        {"GetNrLancamento",
         [](auto&, auto&) {
             return QList<TRemoteArg>{theirs, "EXPEDICAO", "PEDIDO", TDateTime(), TDateTime(), TDateTime(), TDateTime(), "T", "EXP"};
         }},
        {"setConfRastrOK", [&](auto&, auto&) { return QList<TRemoteArg>{theirs, theirInvoice}; }},
        {"deleteIUMProd", [](auto& their, auto&) { return QList<TRemoteArg>{QVariant::fromValue(Delta({their}))}; }},
        // All of a delta or nothing: the row of her own branch stays too.
        {"deleteIUMProd",
         [](auto& their, auto& my) { return QList<TRemoteArg>{QVariant::fromValue(Delta({my, their}))}; }},
        {"GetItensIUM", [&](auto&, auto&) { return QList<TRemoteArg>{theirs, theirInvoice}; }},
        {"setLeituraIUM",
         [&](auto&, auto&) { return QList<TRemoteArg>{theirs, theirInvoice, "]d20107891234567895" "21SERIE1"}; }},
        {"GetEventosRastreio", [](auto&, auto&) { return QList<TRemoteArg>{theirs, TDateTime(), TDateTime(), ""}; }},
    };

    const QList<qint64> before = Recorded();
    auto ana = Station(*site, *server, QStringLiteral("ana"));
    const QString refusal = QStringLiteral("O usuário ana não tem acesso à filial 0001.");
    for (const TRefusedCall& call : calls) {
        const QString method = QString::fromLatin1(call.method);
        EXPECT_EQ(Refusal(ana->AppServer().Call(method, call.args(theirReading, myReading))), refusal) << call.method;
        EXPECT_TRUE(QRegularExpression(QStringLiteral("exp13000\\.rdmConfRastr\\.%1 \\d+ ms recusado: %2")
                                           .arg(method, QRegularExpression::escape(refusal)))
                        .match(server->Log())
                        .hasMatch())
            << call.method << " not logged";
    }
    EXPECT_EQ(Recorded(), before);
    EXPECT_EQ(expedition, QStringLiteral("T")) << "a refused call's by-reference values come back unchanged";

    // The stock questions answer for her branches only, as for an unknown one.
    auto anaStock = Station(*site, *server, QStringLiteral("ana"), Remote::Estoque);
    auto mariaStock = Station(*site, *server, QStringLiteral("maria"), Remote::Estoque);
    EXPECT_TRUE(Lib00200::Utiliza_Almoxarifado(mariaStock.get(), theirs));
    EXPECT_TRUE(Lib00200::Utiliza_LocalEstoque(mariaStock.get(), theirs));
    EXPECT_FALSE(Lib00200::Utiliza_Almoxarifado(anaStock.get(), theirs));
    EXPECT_FALSE(Lib00200::Utiliza_LocalEstoque(anaStock.get(), theirs));
    EXPECT_TRUE(Lib00200::Utiliza_Almoxarifado(anaStock.get(), mine));
    EXPECT_TRUE(server->Log().contains(QStringLiteral("Est00000.rdmEstoque.Utiliza_Almoxarifado")))
        << server->Log().toStdString();

    // Her own branch's work goes on, and is audited with her name.
    EXPECT_GT(GetDados(*ana, mine).Invoices.RowCount(), 0);
    EXPECT_EQ(Refusal(ana->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(Delta({myReading}))})), QString());
    EXPECT_EQ(TDbView(*server)
                  .Value(QStringLiteral("SELECT CDUSUARIO FROM AUDITORIA WHERE CDFILIAL = ? ORDER BY NRSEQAUDIT DESC"), {mine})
                  .toString(),
              QStringLiteral("ana"));
}

// SIGHUP reads the accounts file again: a user narrowed by --set-branches is
// refused on the connection already open; a file that no longer loads
// leaves the accounts as they were, and the log says why.
TEST(AccountsReload, SighupNarrowsOpenConnectionsAndABadFileKeepsTheAccounts)
{
    TSiteServer secure;
    auto maria = Station(secure.Site, secure.Server, QStringLiteral("maria"));
    EXPECT_GT(GetDados(*maria, theirs).Invoices.RowCount(), 0);

    QString output;
    ASSERT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--set-branches"), QStringLiteral("maria"), QStringLiteral("--branches"),
                                          QStringLiteral("0002"), QStringLiteral("--accounts"), secure.Site.Accounts()},
                                         &output),
              0)
        << output.toStdString();
    EXPECT_GT(GetDados(*maria, theirs).Invoices.RowCount(), 0) << "the file counts once it is read again";
    ASSERT_EQ(::kill(pid_t(secure.Server.Pid()), SIGHUP), 0);
    ASSERT_TRUE(LogShows(secure.Server, QStringLiteral("SIGHUP: contas relidas de %1: 2 usuário(s)").arg(secure.Site.Accounts())))
        << secure.Server.Log().toStdString();
    EXPECT_EQ(Refusal(maria->AppServer().Call(Remote::SetConfRastrOK, {theirs, QStringLiteral("0000000001")})),
              QStringLiteral("O usuário maria não tem acesso à filial 0001."));
    EXPECT_GT(GetDados(*maria, QStringLiteral("0002")).Invoices.RowCount(), 0);

    {
        QFile file(secure.Site.Accounts());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("ana:pbkdf2-sha256\n");
    }
    ASSERT_EQ(::kill(pid_t(secure.Server.Pid()), SIGHUP), 0);
    ASSERT_TRUE(LogShows(secure.Server, QStringLiteral("SIGHUP: as contas não foram relidas e continuam as de antes: "
                                                      "Arquivo de contas %1, linha 3")
                                            .arg(secure.Site.Accounts())))
        << secure.Server.Log().toStdString();
    EXPECT_TRUE(secure.Server.Running());
    auto again = Station(secure.Site, secure.Server, QStringLiteral("joao"));
    EXPECT_GT(GetDados(*again, theirs).Invoices.RowCount(), 0);
    EXPECT_EQ(Refusal(maria->AppServer().Call(Remote::GetItensIUM, {theirs, QStringLiteral("0000000001")})),
              QStringLiteral("O usuário maria não tem acesso à filial 0001."));
}

// An account line of `rounds` iterations, in the form before branches.
QByteArray OldLine(const char* name, int rounds)
{
    const QByteArray salt = QByteArray(name).leftJustified(16, '.');
    return QByteArray(name) + ":pbkdf2-sha256:" + QByteArray::number(rounds) + ':' + salt.toBase64() + ':'
           + QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, rounds, 32).toBase64()
           + '\n';
}

// An account of 1,000 rounds (and of the form before branches) is hashed
// again with 600,000 at its first login, in the file, keeping the other
// lines; its password still works. On loopback, with accounts and no TLS.
TEST(Rehash, StaleAccountIsRehashedInTheFileAtLoginAndItsPasswordStillWorks)
{
    QTemporaryDir dir;
    const QString accounts = dir.filePath(QStringLiteral("accounts"));
    const QByteArray comment = "# contas da filial\n";
    const QByteArray other = OldLine("joao", 2000);
    {
        QFile file(accounts);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(comment + OldLine("velho", 1000) + other);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    TAppServerProcess server(TAppServerProcess::TOptions{1, true, 4, {QStringLiteral("--accounts"), accounts}, QString()});
    const auto station = [&](const QString& secret) {
        auto net = Connect(server);
        net->SetSecurity(TNetConnection::TSecurity{false, QString(), QStringLiteral("velho"), secret});
        return net;
    };
    EXPECT_GT(GetDados(*station(password), theirs).Invoices.RowCount(), 0);

    QFile file(accounts);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0] + '\n', comment);
    EXPECT_TRUE(lines[1].startsWith("velho:pbkdf2-sha256:600000:")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(":*")) << "an old line's every branch is written out: " << lines[1].toStdString();
    EXPECT_EQ(lines[2] + '\n', other);
    EXPECT_EQ(QFile::permissions(accounts) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    EXPECT_TRUE(server.Log().contains(
        QStringLiteral("contas: a senha de velho (1000 iterações) passa a 600000 iterações no arquivo %1").arg(accounts)))
        << server.Log().toStdString();

    EXPECT_GT(GetDados(*station(password), theirs).Invoices.RowCount(), 0) << "a new connection, the new key";
    EXPECT_THROW(station(QStringLiteral("senha-errada"))->Open(), EServerError);
    ASSERT_EQ(server.Stop(), 0);
    server.Start();
    EXPECT_GT(GetDados(*station(password), theirs).Invoices.RowCount(), 0) << "the rewritten file, read at start";
}

} // namespace
