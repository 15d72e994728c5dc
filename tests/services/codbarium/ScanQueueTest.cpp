// The station's queue of scans (codbarium/ScanQueue.h): what it keeps
// across a process killed mid-write, the file's mode, and an unreadable file
// moved aside whole.
#include "codbarium/ScanQueue.h"
#include "rtl/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>

namespace {

const char* const ChildVariable = "EXP_SCAN_QUEUE_CHILD";

TQueuedScan Scan(const QString& invoice, int serial)
{
    return {0,
            QUuid::createUuid().toString(QUuid::WithoutBraces),
            QStringLiteral("0001"),
            invoice,
            QStringLiteral("0107891234567895") + QStringLiteral("21S%1").arg(serial),
            QDateTime::currentDateTimeUtc(),
            QStringLiteral("ana"),
            QStringLiteral("127.0.0.1:3050")};
}

mode_t Mode(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 0777;
}

QStringList Codes(const QList<TQueuedScan>& rows)
{
    QStringList codes;
    for (const TQueuedScan& row : rows)
        codes << row.Code;
    return codes;
}

class ScanQueueTest : public testing::Test {
protected:
    QString Path() const { return dir.filePath(QStringLiteral("fila/leituras-pendentes.db")); }
    QTemporaryDir dir;
};

TEST_F(ScanQueueTest, KeepsEachInvoicesScansInOrderUntilRemoved)
{
    TScanQueue queue;
    queue.Open(Path());
    EXPECT_EQ(queue.Notice(), QString());
    QList<TQueuedScan> added;
    for (int i = 0; i < 6; ++i) {
        added.append(Scan(i % 2 ? QStringLiteral("NF2") : QStringLiteral("NF1"), i));
        queue.Add(added.last());
        EXPECT_GT(added.last().Id, i ? added[i - 1].Id : 0);
    }
    queue.Remove(added[2].Id);
    queue.Remove(added[2].Id);  // gone already: nothing

    // Another object on the same file (another process, say) sees them.
    TScanQueue other;
    other.Open(Path());
    const QList<TQueuedScan> first = other.Pending(QStringLiteral("0001"), QStringLiteral("NF1"));
    EXPECT_EQ(Codes(first), (QStringList{added[0].Code, added[4].Code}));
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first[0].RequestId, added[0].RequestId);
    EXPECT_EQ(first[0].User, QStringLiteral("ana"));
    EXPECT_EQ(first[0].Site, QStringLiteral("127.0.0.1:3050"));
    EXPECT_EQ(first[0].Time.toMSecsSinceEpoch(), added[0].Time.toMSecsSinceEpoch());
    EXPECT_EQ(Codes(other.All()), (QStringList{added[0].Code, added[1].Code, added[3].Code, added[4].Code, added[5].Code}));
    EXPECT_TRUE(other.Pending(QStringLiteral("0002"), QStringLiteral("NF1")).isEmpty());
}

TEST_F(ScanQueueTest, FileAndFolderAreTheUsersAlone)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("fila")));
    {
        // An existing file another program left readable by all.
        QFile loose(Path());
        ASSERT_TRUE(loose.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), 0644), 0);
    TScanQueue queue;
    queue.Open(Path());
    TQueuedScan scan = Scan(QStringLiteral("NF1"), 1);
    queue.Add(scan);
    EXPECT_EQ(Mode(Path()), mode_t(0600));
    EXPECT_EQ(Mode(dir.filePath(QStringLiteral("fila"))), mode_t(0700));

    queue.Close();
    ASSERT_TRUE(QFile::remove(Path()));
    queue.Open(Path());  // created afresh
    EXPECT_EQ(Mode(Path()), mode_t(0600));
}

struct TUnreadableCase {
    const char* name;
    std::function<void(const QString& path)> make;
};

class UnreadableQueue : public ScanQueueTest, public testing::WithParamInterface<TUnreadableCase> {};

TEST_P(UnreadableQueue, IsMovedAsideWholeWithAMessageAndANewQueueStarts)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("fila")));
    GetParam().make(Path());
    QFile original(Path());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();

    TScanQueue queue;
    queue.Open(Path());
    const QStringList aside =
        QDir(dir.filePath(QStringLiteral("fila"))).entryList({QStringLiteral("leituras-pendentes.db.ilegivel-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile moved(dir.filePath(QStringLiteral("fila/") + aside[0]));
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_EQ(moved.readAll(), bytes) << "kept byte for byte";
    EXPECT_TRUE(queue.Notice().startsWith(QStringLiteral("O arquivo de leituras pendentes ")))
        << queue.Notice().toStdString();
    EXPECT_TRUE(queue.Notice().contains(aside[0])) << queue.Notice().toStdString();
    EXPECT_TRUE(queue.Notice().contains(QStringLiteral("não pôde ser lido"))) << queue.Notice().toStdString();

    TQueuedScan scan = Scan(QStringLiteral("NF1"), 1);
    queue.Add(scan);
    EXPECT_EQ(queue.All().size(), 1);
    TScanQueue again;
    again.Open(Path());
    EXPECT_EQ(again.Notice(), QString()) << "the new queue is readable";
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void Execute(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableQueue,
    testing::Values(
        TUnreadableCase{"NotADatabase",
                        [](const QString& path) { WriteFile(path, QByteArray("leituras de ontem\n").repeated(300)); }},
        TUnreadableCase{"AnotherLayout",
                        [](const QString& path) { Execute(path, "CREATE TABLE LEITURA_PENDENTE (CODIGO TEXT)"); }},
        TUnreadableCase{"DamagedPages",
                        [](const QString& path) {
                            TScanQueue queue;
                            queue.Open(path);
                            TQueuedScan scan = Scan(QStringLiteral("NF1"), 0);
                            queue.Add(scan);
                            queue.Close();
                            // Pages enough to damage some, in one transaction.
                            Execute(path, "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 400) "
                                          "INSERT INTO LEITURA_PENDENTE (IDREQUISICAO, CDFILIAL, NRLANCTONF, CDIUMPROD, "
                                          "DTLEITURA, NMUSUARIO, DSSITE) SELECT 'id' || I, '0001', 'NF1', "
                                          "'0107891234567895' || '21S' || I, '2026-01-01T00:00:00.000Z', 'ana', "
                                          "'127.0.0.1:3050' FROM N");
                            QFile file(path);
                            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                            // The header stays; the pages after the first do not.
                            file.seek(4096);
                            file.write(QByteArray(8192, '\xA5'));
                        }}),
    [](const testing::TestParamInfo<TUnreadableCase>& info) { return std::string(info.param.name); });

// The child of the next test: adds scans to the queue its parent names, and
// says each one's number once Add has returned, until it is killed.
TEST(ScanQueueChild, DISABLED_AddsUntilKilled)
{
    TScanQueue queue;
    queue.Open(qEnvironmentVariable(ChildVariable));
    for (int i = 0;; ++i) {
        TQueuedScan scan = Scan(QStringLiteral("NF1"), i);
        queue.Add(scan);
        std::printf("added %d\n", i);
        std::fflush(stdout);
    }
}

TEST_F(ScanQueueTest, ScansAddedSurviveTheProcessBeingKilled)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildVariable), Path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=ScanQueueChild.DISABLED_AddsUntilKilled"),
                                                           QStringLiteral("--gtest_also_run_disabled_tests")});
    ASSERT_TRUE(child.waitForStarted());
    int announced = -1;
    while (announced < 30 && child.waitForReadyRead(20000))
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (line.startsWith("added "))
                announced = line.mid(6).toInt();
        }
    child.kill();  // SIGKILL, between two writes or in the middle of one
    child.waitForFinished();
    ASSERT_GE(announced, 30) << child.readAllStandardError().toStdString();

    TScanQueue queue;
    queue.Open(Path());
    EXPECT_EQ(queue.Notice(), QString());
    const QStringList codes = Codes(queue.All());
    ASSERT_GT(codes.size(), announced) << "every scan announced is there";
    for (int i = 0; i < codes.size(); ++i)
        EXPECT_EQ(codes[i], Scan(QStringLiteral("NF1"), i).Code) << "in order, none lost between";
}

} // namespace
