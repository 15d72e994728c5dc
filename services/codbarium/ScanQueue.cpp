// The queue goes through SQLite's C API rather than QtSql: its promises
// rest on SQLite's own result codes (a file that is not a database, a
// damaged one) and on opening the file ourselves with the right mode first,
// which QtSql's connection hides.
#include "ScanQueue.h"

#include "rtl/Exceptions.h"
#include "server/Defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr int FormatVersion = 1;

const char* const Columns = "ID, IDREQUISICAO, CDFILIAL, NRLANCTONF, CDIUMPROD, DTLEITURA, NMUSUARIO, DSSITE";

struct TFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using TStatement = std::unique_ptr<sqlite3_stmt, TFinalize>;

// Whether SQLite's `code` says the file is not a queue this program can read.
bool Unreadable(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// The reason `path` cannot be a queue: thrown inside OpenFile, caught by Open.
struct TUnreadable {
    QString Reason;
};

} // namespace

TScanQueue::~TScanQueue() { Close(); }

QString TScanQueue::DefaultPath()
{
    return Defaults::DataFolder() + QStringLiteral("/leituras-pendentes.db");
}

void TScanQueue::Close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

void TScanQueue::Fail(const QString& what) const
{
    throw EDatabaseError(QStringLiteral("Fila de leituras pendentes %1: %2: %3")
                             .arg(QDir::toNativeSeparators(path_), what,
                                  db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("não aberta")));
}

void TScanQueue::Open(const QString& path)
{
    Close();
    path_ = path;
    notice_.clear();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0)
        throw EDatabaseError(QStringLiteral("A pasta da fila de leituras pendentes %1 não pôde ser criada.")
                                 .arg(QDir::toNativeSeparators(folder)));
    try {
        OpenFile();
        return;
    } catch (const TUnreadable& unreadable) {
        Close();
        const QString aside =
            path + QStringLiteral(".ilegivel-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!QFile::rename(path, aside))
            throw EDatabaseError(QStringLiteral("O arquivo de leituras pendentes %1 não pôde ser lido (%2) nem guardado "
                                                "à parte como %3; nada foi apagado. Mova-o para outra pasta.")
                                     .arg(QDir::toNativeSeparators(path), unreadable.Reason, QDir::toNativeSeparators(aside)));
        QFile::rename(path + QStringLiteral("-journal"), aside + QStringLiteral("-journal"));
        notice_ = QStringLiteral("O arquivo de leituras pendentes %1 não pôde ser lido (%2). Ele foi guardado, sem "
                                 "ser apagado, como %3, e as leituras que guardava não serão enviadas; uma fila "
                                 "nova foi criada.")
                      .arg(QDir::toNativeSeparators(path), unreadable.Reason, QDir::toNativeSeparators(aside));
    }
    try {
        OpenFile();
    } catch (const TUnreadable& unreadable) {
        Close();
        throw EDatabaseError(QStringLiteral("A fila de leituras pendentes %1 não pôde ser criada: %2")
                                 .arg(QDir::toNativeSeparators(path), unreadable.Reason));
    }
}

void TScanQueue::OpenFile()
{
    // Created by us with the user's mode only, before SQLite sees it.
    const QByteArray file = QFile::encodeName(path_);
    const int fd = ::open(file.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw EDatabaseError(QStringLiteral("O arquivo de leituras pendentes %1 não pôde ser aberto para gravação.")
                                 .arg(QDir::toNativeSeparators(path_)));
    }
    ::close(fd);
    if (sqlite3_open_v2(file.constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        Fail(QStringLiteral("não pôde ser aberta"));
    sqlite3_busy_timeout(db_, 5000);
    const auto run = [this](const char* sql) {
        const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        if (code == SQLITE_OK)
            return;
        if (Unreadable(code))
            throw TUnreadable{QString::fromUtf8(sqlite3_errmsg(db_))};
        Fail(QStringLiteral("não pôde ser preparada"));
    };
    run("PRAGMA synchronous = FULL");
    run("CREATE TABLE IF NOT EXISTS LEITURA_PENDENTE ("
        "ID INTEGER PRIMARY KEY AUTOINCREMENT, IDREQUISICAO TEXT NOT NULL, CDFILIAL TEXT NOT NULL, "
        "NRLANCTONF TEXT NOT NULL, CDIUMPROD TEXT NOT NULL, DTLEITURA TEXT NOT NULL, NMUSUARIO TEXT NOT NULL, "
        "DSSITE TEXT NOT NULL)");
    // A table of the same name but another layout is no queue of ours.
    sqlite3_stmt* probe = nullptr;
    const QByteArray select = QByteArray("SELECT ") + Columns + " FROM LEITURA_PENDENTE LIMIT 0";
    if (sqlite3_prepare_v2(db_, select.constData(), -1, &probe, nullptr) != SQLITE_OK)
        throw TUnreadable{QString::fromUtf8(sqlite3_errmsg(db_))};
    sqlite3_finalize(probe);
    TStatement check;
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &raw, nullptr) != SQLITE_OK)
            throw TUnreadable{QString::fromUtf8(sqlite3_errmsg(db_))};
        check.reset(raw);
    }
    const int step = sqlite3_step(check.get());
    if (step != SQLITE_ROW)
        throw TUnreadable{QString::fromUtf8(sqlite3_errmsg(db_))};
    const QString verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0)));
    if (verdict != QLatin1String("ok"))
        throw TUnreadable{verdict};
    check.reset();
    run(QByteArray("PRAGMA user_version = " + QByteArray::number(FormatVersion)).constData());
}

void TScanQueue::Add(TQueuedScan& scan)
{
    if (!db_)
        Fail(QStringLiteral("a leitura não pôde ser guardada"));
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "INSERT INTO LEITURA_PENDENTE (IDREQUISICAO, CDFILIAL, NRLANCTONF, CDIUMPROD, DTLEITURA, "
                           "NMUSUARIO, DSSITE) VALUES (?, ?, ?, ?, ?, ?, ?)",
                           -1, &raw, nullptr)
        != SQLITE_OK)
        Fail(QStringLiteral("a leitura não pôde ser guardada"));
    TStatement insert(raw);
    const QList<QByteArray> values = {scan.RequestId.toUtf8(), scan.Branch.toUtf8(),  scan.Invoice.toUtf8(),
                                      scan.Code.toUtf8(),      scan.Time.toUTC().toString(Qt::ISODateWithMs).toUtf8(),
                                      scan.User.toUtf8(),      scan.Site.toUtf8()};
    for (int i = 0; i < values.size(); ++i)
        sqlite3_bind_text(raw, i + 1, values[i].constData(), int(values[i].size()), SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_DONE)
        Fail(QStringLiteral("a leitura não pôde ser guardada"));
    scan.Id = sqlite3_last_insert_rowid(db_);
}

void TScanQueue::Remove(qint64 id)
{
    if (!db_)
        Fail(QStringLiteral("a leitura enviada não pôde ser retirada"));
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, "DELETE FROM LEITURA_PENDENTE WHERE ID = ?", -1, &raw, nullptr) != SQLITE_OK)
        Fail(QStringLiteral("a leitura enviada não pôde ser retirada"));
    TStatement remove(raw);
    sqlite3_bind_int64(raw, 1, id);
    if (sqlite3_step(raw) != SQLITE_DONE)
        Fail(QStringLiteral("a leitura enviada não pôde ser retirada"));
}

QList<TQueuedScan> TScanQueue::Pending(const QString& branch, const QString& invoice) const
{
    return Select(QStringLiteral("WHERE CDFILIAL = ? AND NRLANCTONF = ?"), {branch, invoice});
}

QList<TQueuedScan> TScanQueue::All() const { return Select(QString(), {}); }

QList<TQueuedScan> TScanQueue::Select(const QString& where, const QStringList& values) const
{
    QList<TQueuedScan> rows;
    if (!db_)
        return rows;
    const QByteArray sql = QByteArray("SELECT ") + Columns + " FROM LEITURA_PENDENTE " + where.toUtf8() + " ORDER BY ID";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        Fail(QStringLiteral("as leituras pendentes não puderam ser lidas"));
    TStatement select(raw);
    QList<QByteArray> bound;
    for (const QString& value : values)
        bound.append(value.toUtf8());
    for (int i = 0; i < bound.size(); ++i)
        sqlite3_bind_text(raw, i + 1, bound[i].constData(), int(bound[i].size()), SQLITE_STATIC);
    const auto text = [raw](int column) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(raw, column)),
                                 sqlite3_column_bytes(raw, column));
    };
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW)
        rows.append({sqlite3_column_int64(raw, 0), text(1), text(2), text(3), text(4),
                     QDateTime::fromString(text(5), Qt::ISODateWithMs), text(6), text(7)});
    if (step != SQLITE_DONE)
        Fail(QStringLiteral("as leituras pendentes não puderam ser lidas"));
    return rows;
}
