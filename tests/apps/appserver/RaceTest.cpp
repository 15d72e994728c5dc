// Two application servers on one PostgreSQL database, sixteen clients split
// over them, all running the same changes on the same rows at once: the
// rules that read and then write must hold as with one writer. A fixed
// number of rounds of calls; every call waits at most its client's timeout.
#include "ServerData.h"
#include "ServerSession.h"

#include <QMutex>
#include <QSet>
#include <QThread>
#include <atomic>
#include <barrier>
#include <map>
#include <gtest/gtest.h>

namespace {

const QString branch = QStringLiteral("0001");

// One change every client attempts; `Key` names what it is about.
struct TOperation {
    enum class TKind { Confirm, Store, Delete } Kind;
    QString Key;
    QVariantList Args;
};

struct TTally {
    std::atomic<int> Successes{0};
    std::atomic<int> Refusals{0};
};

int Wins(const std::map<QString, TTally>& tally, const QString& key)
{
    return tally.at(key).Successes.load();
}

QString Scan(const QString& gtin14, const QString& serial)
{
    return QStringLiteral("]d201") + gtin14 + QStringLiteral("21") + serial;
}

// A reading's identity across the run: invoice, GTIN and serial.
QString ReadingKey(const QString& invoice, const QString& gtin, const QString& serial)
{
    return invoice + u'|' + gtin + u'|' + serial;
}

class Race : public ::testing::Test {
protected:
    void SetUp() override
    {
        first = std::make_unique<TAppServerProcess>();
        TAppServerProcess::TOptions beside;
        beside.Database = first->DatabasePath();
        second = std::make_unique<TAppServerProcess>(beside);
        db = std::make_unique<TDbView>(*first);
        net = Connect(*first);
    }

    QSet<QString> Readings() const
    {
        QSet<QString> keys;
        for (const QVariantList& row : db->Rows(QStringLiteral("SELECT NRLANCTONF, CDGTIN, NRSERIE FROM LEITURAIUM")))
            keys.insert(ReadingKey(row[0].toString(), row[1].toString(), row[2].toString()));
        return keys;
    }
    // Unconfirmed invoices of the branch whose every item passes the
    // confirm button's rule, from the work list.
    QStringList ReadyInvoices() const
    {
        const TDataPacket items = GetDados(*net, branch).Items;
        QMap<QString, bool> ready;
        for (int r = 0; r < items.RowCount(); ++r) {
            const QString nf = items.String(r, Col(items, "NRLANCTONF"));
            const bool pass = items.String(r, Col(items, "IDSTATUSSEPSNCM")) != QLatin1String("N")
                              && (items.Number(r, Col(items, "QTITEMPROD")) != 0
                                  || items.Number(r, Col(items, "QTRESPRODPED")) != 0);
            ready[nf] = ready.value(nf, true) && pass;
        }
        QStringList out;
        for (auto i = ready.cbegin(); i != ready.cend(); ++i)
            if (i.value() && db->Value(QStringLiteral("SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = ? AND NRLANCTONF = ?"),
                                       {branch, i.key()}).toString() == QLatin1String("N"))
                out.append(i.key());
        return out;
    }
    // IUM-controlled items of unconfirmed invoices with at least two free
    // units: invoice, GTIN-14, quantity to ship, readings.
    QList<QVariantList> OpenItems() const
    {
        return db->Rows(QStringLiteral(
            "SELECT IT.NRLANCTONF, LPAD(PR.CDGTIN, 14, '0'), IT.QTITEMPROD,"
            "       (SELECT COUNT(*) FROM LEITURAIUM L WHERE L.CDFILIAL = IT.CDFILIAL"
            "           AND L.NRLANCTONF = IT.NRLANCTONF AND L.CDPRODUTO = IT.CDPRODUTO) AS READ"
            "  FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
            "  JOIN NOTAFISCAL NF ON NF.CDFILIAL = IT.CDFILIAL AND NF.NRLANCTONF = IT.NRLANCTONF"
            " WHERE IT.CDFILIAL = ? AND NF.IDCONFRASTR = 'N' AND PR.IDCONTROLAIUM = 'S'"
            "   AND IT.QTITEMPROD >= 2 + (SELECT COUNT(*) FROM LEITURAIUM L WHERE L.CDFILIAL = IT.CDFILIAL"
            "           AND L.NRLANCTONF = IT.NRLANCTONF AND L.CDPRODUTO = IT.CDPRODUTO)"
            " ORDER BY IT.NRLANCTONF, IT.CDPRODUTO"),
            {branch});
    }
    // A delete delta of the given readings (invoice, CDIUMPROD).
    static TDataPacket Delta(const QList<QVariantList>& readings)
    {
        QList<std::pair<QString, QString>> keys;
        for (const QVariantList& r : readings)
            keys.append({r[0].toString(), r[1].toString()});
        return ReadingsDelta(branch, keys);
    }
    // Audit records of `event`, of one invoice or of all.
    qint64 Audits(char event, const QString& invoice = QString()) const
    {
        const QString sql = QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE IDEVENTO = ?");
        if (invoice.isEmpty())
            return db->Value(sql, {QString(QChar(event))}).toLongLong();
        return db->Value(sql + QStringLiteral(" AND NRLANCTONF = ?"), {QString(QChar(event)), invoice}).toLongLong();
    }

    std::unique_ptr<TAppServerProcess> first, second;
    std::unique_ptr<TDbView> db;
    std::unique_ptr<TNetConnection> net;
};

TEST_F(Race, SixteenClientsOnTwoServersKeepEveryRule)
{
    constexpr int clients = 16;
    // Rounds of rival calls: every client waits for the others, then makes
    // the call of the round that falls to it (client c: operation c modulo
    // the round's size), so each change meets its rivals at once.
    QList<QList<TOperation>> rounds;

    // Confirmations of the same ready invoices; the last one also loses
    // readings to a racing deletion, so only one of the two may win.
    const QStringList ready = ReadyInvoices();
    ASSERT_GE(ready.size(), 4);
    const QStringList confirmTargets = ready.mid(0, 4);
    for (const QString& nf : confirmTargets.mid(0, 3))
        rounds.append({{TOperation::TKind::Confirm, QStringLiteral("confirm ") + nf, {branch, nf}}});
    const QVariantList contested =
        db->Rows(QStringLiteral("SELECT NRLANCTONF, CDIUMPROD, CDGTIN, NRSERIE FROM LEITURAIUM WHERE CDFILIAL = ? AND NRLANCTONF = ? ORDER BY CDIUMPROD"),
                 {branch, confirmTargets.last()}).value(0);
    ASSERT_FALSE(contested.isEmpty());
    rounds.append({{TOperation::TKind::Confirm, QStringLiteral("confirm ") + confirmTargets.last(), {branch, confirmTargets.last()}},
                   {TOperation::TKind::Delete, QStringLiteral("contested"), {QVariant::fromValue(Delta({contested}))}}});

    // Readings: the same IUM code on one item, distinct codes for the last
    // free unit of two others (filled up to that unit first).
    const QList<QVariantList> open = OpenItems();
    ASSERT_GE(open.size(), 3);
    const QString sameNf = open[0][0].toString(), sameGtin = open[0][1].toString();
    rounds.append({{TOperation::TKind::Store, QStringLiteral("same IUM"), {branch, sameNf, Scan(sameGtin, QStringLiteral("MESMO1"))}}});
    // The same IUM code for two invoices with the same product: each
    // invoice's lock lets its reading through, the unique index one only.
    const QVariantList twoInvoices = db->Rows(QStringLiteral(
        "SELECT A.NRLANCTONF, B.NRLANCTONF, LPAD(PR.CDGTIN, 14, '0') FROM ITEMNOTA A"
        "  JOIN ITEMNOTA B ON B.CDFILIAL = A.CDFILIAL AND B.CDPRODUTO = A.CDPRODUTO AND B.NRLANCTONF > A.NRLANCTONF"
        "  JOIN PRODUTO PR ON PR.CDPRODUTO = A.CDPRODUTO"
        "  JOIN NOTAFISCAL NA ON NA.CDFILIAL = A.CDFILIAL AND NA.NRLANCTONF = A.NRLANCTONF"
        "  JOIN NOTAFISCAL NB ON NB.CDFILIAL = B.CDFILIAL AND NB.NRLANCTONF = B.NRLANCTONF"
        " WHERE A.CDFILIAL = ? AND PR.IDCONTROLAIUM = 'S' AND NA.IDCONFRASTR = 'N' AND NB.IDCONFRASTR = 'N'"
        "   AND A.NRLANCTONF <> ? AND B.NRLANCTONF <> ?"
        "   AND A.QTITEMPROD > (SELECT COUNT(*) FROM LEITURAIUM L WHERE L.CDFILIAL = A.CDFILIAL"
        "           AND L.NRLANCTONF = A.NRLANCTONF AND L.CDPRODUTO = A.CDPRODUTO)"
        "   AND B.QTITEMPROD > (SELECT COUNT(*) FROM LEITURAIUM L WHERE L.CDFILIAL = B.CDFILIAL"
        "           AND L.NRLANCTONF = B.NRLANCTONF AND L.CDPRODUTO = B.CDPRODUTO)"
        " ORDER BY A.NRLANCTONF, B.NRLANCTONF LIMIT 1"),
        {branch, sameNf, sameNf}).value(0);
    ASSERT_EQ(twoInvoices.size(), 3);
    for (int i = 0; i < 2; ++i)
        rounds.last().append({TOperation::TKind::Store, QStringLiteral("same IUM, two invoices"),
                              {branch, twoInvoices[i], Scan(twoInvoices[2].toString(), QStringLiteral("MESMO2"))}});
    QList<QVariantList> lastUnitItems;
    for (const QVariantList& item : open.mid(1))
        if (lastUnitItems.size() < 2 && !twoInvoices.mid(0, 2).contains(item[0]))
            lastUnitItems.append(item);
    ASSERT_EQ(lastUnitItems.size(), 2);
    for (int i = 0; i < lastUnitItems.size(); ++i) {
        const QVariantList& item = lastUnitItems[i];
        const int free = item[2].toInt() - item[3].toInt();
        for (int k = 0; k < free - 1; ++k)
            ASSERT_EQ(Refusal(net->AppServer().Call(Remote::SetLeituraIUM,
                                                    {branch, item[0], Scan(item[1].toString(), QStringLiteral("ANT%1X%2").arg(i).arg(k))})),
                      QString());
        QList<TOperation> round;
        for (int c = 0; c < clients; ++c)
            round.append({TOperation::TKind::Store, QStringLiteral("last unit %1").arg(i),
                          {branch, item[0], Scan(item[1].toString(), QStringLiteral("ULT%1C%2").arg(i).arg(c))}});
        rounds.append(round);
    }

    // Deletions of the same readings of other unconfirmed invoices: four
    // alone, and a pair whose second reading is also deleted alone.
    const QList<QVariantList> deletable = db->Rows(QStringLiteral(
        "SELECT L.NRLANCTONF, L.CDIUMPROD, L.CDGTIN, L.NRSERIE FROM LEITURAIUM L JOIN NOTAFISCAL NF"
        "    ON NF.CDFILIAL = L.CDFILIAL AND NF.NRLANCTONF = L.NRLANCTONF"
        " WHERE L.CDFILIAL = ? AND NF.IDCONFRASTR = 'N' AND L.NRLANCTONF NOT IN (?, ?, ?, ?, ?, ?, ?, ?, ?)"
        " ORDER BY L.NRLANCTONF, L.CDIUMPROD LIMIT 6"),
        {branch, confirmTargets[0], confirmTargets[1], confirmTargets[2], confirmTargets[3], sameNf,
         lastUnitItems[0][0], lastUnitItems[1][0], twoInvoices[0], twoInvoices[1]});
    ASSERT_EQ(deletable.size(), 6);
    for (int i = 0; i < 4; ++i)
        rounds.append({{TOperation::TKind::Delete, QStringLiteral("delete %1").arg(i), {QVariant::fromValue(Delta({deletable[i]}))}}});
    rounds.append({{TOperation::TKind::Delete, QStringLiteral("pair"), {QVariant::fromValue(Delta({deletable[4], deletable[5]}))}},
                   {TOperation::TKind::Delete, QStringLiteral("second of pair"), {QVariant::fromValue(Delta({deletable[5]}))}}});

    const QSet<QString> before = Readings();
    const qint64 auditsBefore = db->Count(QStringLiteral("AUDITORIA"));
    const qint64 readingAuditsBefore = Audits('L');

    // Half the clients on each server.
    std::map<QString, TTally> tally;  // filled before the clients start
    for (const QList<TOperation>& round : rounds)
        for (const TOperation& op : round)
            tally[op.Key];
    std::atomic<int> calls{0};
    QStringList faults;
    QMutex faultsMutex;
    QSet<QString> stored;
    QMutex storedMutex;
    std::barrier start(clients);
    QList<QThread*> threads;
    for (int c = 0; c < clients; ++c) {
        threads.append(QThread::create([&, c] {
            auto client = Connect(c % 2 ? *second : *first);
            for (const QList<TOperation>& round : rounds) {
                const TOperation* op = &round[c % round.size()];
                start.arrive_and_wait();
                const QString method = op->Kind == TOperation::TKind::Confirm ? Remote::SetConfRastrOK
                                       : op->Kind == TOperation::TKind::Store ? Remote::SetLeituraIUM
                                                                              : Remote::DeleteIUMProd;
                ++calls;
                try {
                    const QVariant result = client->AppServer().Call(method, QList<TRemoteArg>(op->Args.cbegin(), op->Args.cend()));
                    if (!Refusal(result).isEmpty()) {
                        ++tally.at(op->Key).Refusals;
                        continue;
                    }
                    ++tally.at(op->Key).Successes;
                    if (op->Kind == TOperation::TKind::Store) {
                        const QString scan = op->Args[2].toString();
                        QMutexLocker lock(&storedMutex);
                        stored.insert(ReadingKey(op->Args[1].toString(), scan.mid(5, 14), scan.mid(21)));
                    }
                } catch (const Exception& e) {
                    QMutexLocker lock(&faultsMutex);
                    faults.append(op->Key + QStringLiteral(": ") + e.Message());
                }
            }
        }));
    }
    for (QThread* thread : threads)
        thread->start();
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }

    // Every call answered with a success or a business refusal.
    EXPECT_EQ(faults, QStringList());
    EXPECT_EQ(calls.load(), int(rounds.size()) * clients);
    int answers = 0;
    for (const auto& [key, count] : tally)
        answers += count.Successes.load() + count.Refusals.load();
    EXPECT_EQ(answers, calls.load());

    // Every invoice confirmed exactly once, with one audit record; the
    // contested one either confirmed or lost its reading, never both.
    for (const QString& nf : confirmTargets.mid(0, 3)) {
        EXPECT_EQ(Wins(tally, QStringLiteral("confirm ") + nf), 1) << nf.toStdString();
        EXPECT_EQ(Audits('C', nf), 1) << nf.toStdString();
    }
    const int contestedConfirmed = Wins(tally, QStringLiteral("confirm ") + confirmTargets.last());
    EXPECT_EQ(contestedConfirmed + Wins(tally, QStringLiteral("contested")), 1);
    EXPECT_EQ(Audits('C', confirmTargets.last()), contestedConfirmed);

    // One IUM stored once; the last free unit taken once; no item over its
    // quantity.
    EXPECT_EQ(Wins(tally, QStringLiteral("same IUM")), 1);
    EXPECT_EQ(Wins(tally, QStringLiteral("same IUM, two invoices")), 1);
    const int lastUnitsTaken = Wins(tally, QStringLiteral("last unit 0")) + Wins(tally, QStringLiteral("last unit 1"));
    EXPECT_EQ(lastUnitsTaken, 2);
    EXPECT_EQ(db->Value(QStringLiteral(
                  "SELECT COUNT(*) FROM ITEMNOTA IT WHERE IT.QTITEMPROD < (SELECT COUNT(*) FROM LEITURAIUM L"
                  " WHERE L.CDFILIAL = IT.CDFILIAL AND L.NRLANCTONF = IT.NRLANCTONF AND L.CDPRODUTO = IT.CDPRODUTO)"))
                  .toInt(),
              0);

    // Each reading deleted once: alone, or with its pair (all or none).
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Wins(tally, QStringLiteral("delete %1").arg(i)), 1);
    EXPECT_EQ(Wins(tally, QStringLiteral("pair")) + Wins(tally, QStringLiteral("second of pair")), 1);

    // No reading lost or resurrected: what was there, less what was deleted,
    // plus what was stored.
    QSet<QString> expected = before;
    auto deleted = [&](const QVariantList& reading) {
        expected.remove(ReadingKey(reading[0].toString(), reading[2].toString(), reading[3].toString()));
    };
    for (int i = 0; i < 4; ++i)
        deleted(deletable[i]);
    if (Wins(tally, QStringLiteral("pair")) == 1)
        deleted(deletable[4]);
    deleted(deletable[5]);
    if (Wins(tally, QStringLiteral("contested")) == 1)
        deleted(contested);
    expected.unite(stored);
    EXPECT_EQ(Readings(), expected);

    // One audit record per success, no more.
    qint64 successes = 0;
    for (const auto& [key, count] : tally)
        successes += key == QLatin1String("pair") ? 2 * count.Successes.load() : count.Successes.load();
    EXPECT_EQ(db->Count(QStringLiteral("AUDITORIA")) - auditsBefore, successes);
    EXPECT_EQ(Audits('L') - readingAuditsBefore, stored.size());
}

// A deletion over two invoices locks the first, then waits for the second,
// which another session holds while it asks for the first: the database
// ends the deletion's transaction for the deadlock (the rival waits longer
// before it looks for one), and the server runs the deletion again, which
// goes through once the rival is gone. The client sees a success.
TEST_F(Race, ADeletionEndedForADeadlockRunsAgain)
{
    const QList<QVariantList> readings = db->Rows(QStringLiteral(
        "SELECT L.NRLANCTONF, MIN(L.CDIUMPROD) FROM LEITURAIUM L JOIN NOTAFISCAL NF"
        "    ON NF.CDFILIAL = L.CDFILIAL AND NF.NRLANCTONF = L.NRLANCTONF"
        " WHERE L.CDFILIAL = ? AND NF.IDCONFRASTR = 'N' GROUP BY L.NRLANCTONF ORDER BY L.NRLANCTONF LIMIT 2"),
        {branch});
    ASSERT_EQ(readings.size(), 2);
    const qint64 before = db->Count(QStringLiteral("LEITURAIUM"));

    const QString rivalName = QStringLiteral("rival");
    {
        QSqlDatabase rival = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), rivalName);
        const QString path = first->DatabasePath();
        rival.setDatabaseName(path.mid(path.lastIndexOf(u'/') + 1));
        ASSERT_TRUE(rival.open() && rival.transaction()) << rival.lastError().text().toStdString();
        QSqlQuery lock(rival);
        auto lockInvoice = [&](const QVariant& invoice) {
            lock.prepare(QStringLiteral("SELECT 1 FROM NOTAFISCAL WHERE CDFILIAL = ? AND NRLANCTONF = ? FOR UPDATE"));
            lock.addBindValue(branch);
            lock.addBindValue(invoice);
            return lock.exec() && lock.next();
        };
        ASSERT_TRUE(lock.exec(QStringLiteral("SET LOCAL deadlock_timeout = '60s'"))) << lock.lastError().text().toStdString();
        ASSERT_TRUE(lockInvoice(readings[1][0])) << lock.lastError().text().toStdString();

        QString answer = QStringLiteral("no answer");
        QThread* caller = QThread::create([&] {
            auto own = Connect(*first);
            try {
                answer = Refusal(own->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(Delta(readings))}));
            } catch (const Exception& e) {
                answer = e.Message();
            }
        });
        caller->start();
        EXPECT_TRUE(SomeSessionWaitsForALock(*db)) << "the deletion never waited";
        // Granted only once the deletion's first run has let the first invoice go.
        EXPECT_TRUE(lockInvoice(readings[0][0])) << lock.lastError().text().toStdString();
        EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), before);
        rival.rollback();
        caller->wait();
        delete caller;
        EXPECT_EQ(answer, QString());
    }
    QSqlDatabase::removeDatabase(rivalName);
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), before - 2);
    EXPECT_EQ(Audits('E'), 2);
}

} // namespace
