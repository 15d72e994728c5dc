#pragma once
// The server's database access: one connection per worker thread with its
// prepared statements, a scoped transaction for every change, and a statement
// wrapper with named parameters that raises instead of returning flags.
// Every value reaches SQL as a bound parameter.
//
// Two engines behind the statement interface (Statement.h): a SQLite file,
// the embedded default, or a PostgreSQL server, for a site whose several
// stateless application servers share one database. On SQLite a write
// transaction takes the database's one write lock at once (BEGIN IMMEDIATE),
// so two writers queue instead of failing. On PostgreSQL it is READ COMMITTED
// and holds no lock of its own: each rule locks the rows it decides on
// (ForUpdate), and each statement after the lock sees what the previous
// holder committed. A read transaction sees one snapshot (SQLite's read
// transaction; PostgreSQL's REPEATABLE READ).
#include "Statement.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

struct TWalActivity;

// The PostgreSQL channel that carries change notices between the servers
// of one database (NOTIFY once the change has committed, LISTEN in PgListener).
inline constexpr char NoticeChannel[] = "exp13000_avisos";

struct TDbConfig {
    // A SQLite file, or a PostgreSQL URI (postgresql://user@host:port/dbname;
    // "postgresql://" alone takes everything from the PG environment variables).
    QString Database;
    int BusyTimeoutMs = 10000;  // SQLite: how long a writer waits for another
    // PostgreSQL: how long a statement's answer is awaited before its link is
    // taken for lost (PgDriver.h); 0, as long as the link stays up.
    int StatementTimeoutMs = 0;
    // SQLite: set, connections leave checkpoints to the TCheckpointer whose
    // Activity it is (Checkpointer.h); unset, SQLite checkpoints by itself.
    std::shared_ptr<TWalActivity> BackgroundCheckpoints = nullptr;
    // SQLite: who hears the notices a transaction published, once it has
    // committed (called on the committing thread). Unset: they are dropped.
    // PostgreSQL delivers them through NOTIFY instead.
    std::function<void(const QByteArray&)> Notices = nullptr;
    // PostgreSQL: a committed change's NOTIFY failed (the notice and the
    // reason given), so the other servers will not hear it; called on the
    // committing thread. The change stands.
    std::function<void(const QByteArray&, const QString&)> NoticesLost = nullptr;
};

// What the application server's workers give a PostgreSQL statement to
// answer. Every statement of a call is short (a work list of a large site
// reads in well under a second), so a longer silence means a database that
// stopped answering without closing the link, and the bound is what a
// failover to a standby costs beyond connecting to it.
inline constexpr int ServerStatementTimeoutMs = 4000;

// Whether `database` names a PostgreSQL server rather than a SQLite file.
bool IsPostgresDatabase(const QString& database);

// One connection and the statements prepared on it, each kept for the
// connection's life. Raises EDatabaseError when it cannot be opened; made
// with TOpen::Later it is opened by its first statement instead, which then
// raises EDatabaseLost while the database cannot be reached.
class TDatabase {
public:
    enum class TOpen { Now, Later };
    explicit TDatabase(const TDbConfig& config, TOpen open = TOpen::Now);
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    TEngine Engine() const;
    // The clause that ends a SELECT to lock its rows until the transaction
    // ends (" FOR UPDATE" on PostgreSQL); empty on SQLite, whose write
    // transaction already holds the whole database.
    QString ForUpdate() const;
    // No link to the database: never opened, or lost.
    bool Broken() const { return !connection_ || connection_->Broken(); }
    // The engine's connection, for what one engine alone offers (PgDriver.h);
    // opened when there is none, replaced when a broken link is opened again
    // (Begin).
    TConnection& Connection();
    // Lets go of a lost link and its statements; the next statement opens a
    // new one.
    void DropBroken();
    // Runs statements without parameters or rows.
    void Execute(const QString& sql);
    // Runs a transaction's first statements. When they fail because the link
    // to the database is gone (a restarted server), the connection is opened
    // again, its statements dropped, and they run once more: nothing of the
    // transaction has reached the database yet. Raises when that fails too
    // (EDatabaseLost when the database cannot be reached).
    void Begin(const QString& sql);
    // Whom the changes are made for, as the audit records it: the caller's
    // authenticated user ("" on a server without accounts).
    const QString& User() const { return user_; }
    void SetUser(const QString& user) { user_ = user; }
    // The station the caller named for itself and the user it said it works
    // for there (both "" when it named none), for the change notices only:
    // unlike User, nothing vouches for them.
    struct TStation {
        QString User;
        QString Name;
    };
    const TStation& Station() const { return station_; }
    void SetStation(TStation station) { station_ = std::move(station); }
    // Publishes a change notice (an opaque ASCII text of at most a few
    // thousand bytes) with the open write transaction: it is held until that
    // transaction commits, and dropped if it does not. Once committed,
    // PostgreSQL: NOTIFY on NoticeChannel in a statement of its own, heard
    // by every server's listener, this one's included; SQLite: handed to
    // TDbConfig::Notices. The commit never depends on the notice: a NOTIFY
    // that fails (PostgreSQL's queue of notices full, say) is told to
    // TDbConfig::NoticesLost, and the change stands.
    void Publish(const QByteArray& payload);

private:
    friend class TSql;
    struct TPrepared {
        std::unique_ptr<TStatement> Statement;
        QHash<QByteArray, int> Numbers;  // by name, with its colon
        int Count = 0;
        bool Busy = false;
    };
    std::unique_ptr<TPrepared> Prepare(const QString& sql);
    // The kept statement for `sql`, or nullptr when it is in use already.
    TPrepared* Kept(const QString& sql);
    // A new connection in place of the lost one (or of none), its statements
    // dropped. Raises EDatabaseLost, keeping what it had, when the database
    // cannot be reached.
    void Reopen();
    // Drops the statements kept, before their connection goes.
    void ForgetStatements();
    // Notes the server the new link reached, for the metrics: a link opened
    // again is a reconnection, and one to another PostgreSQL server a
    // failover seen.
    void Reached();

    TDbConfig config_;
    std::unique_ptr<TConnection> connection_;
    friend class TScopedTransaction;
    QHash<QString, TPrepared*> kept_;  // owned
    QString user_;
    TStation station_;
    QList<QByteArray> published_;  // the open transaction's notices
    QString reached_;  // the server of the last link ("" none yet)
    // The notices of a change just committed, as Publish says.
    void Announce(const QList<QByteArray>& published);
};

// Test seam, in the manner of SQLite's fault tests: FailStatement(n) makes
// the n-th database statement run from now on in this process fail once,
// raising EDatabaseError instead of running. Statements are counted at
// TSql::Exec, at a transaction's BEGIN and at its COMMIT; a ROLLBACK is never
// failed (it is how a failure is undone). FailStatement(0) disarms; Fired
// tells whether the armed failure happened. Only tests arm it; unarmed it
// costs one atomic read per statement.
//
// KillAfterCommit(n): the process kills itself (SIGKILL) right after the
// n-th change a client asked for has committed, before its reply is written:
// a reply lost after the commit. Changes report their commits through
// ChangeCommitted. The server arms it from the environment variable
// EXP13000_TEST_KILL_AFTER_COMMIT (ArmFromEnvironment), which only tests set.
namespace FaultInjection {
void FailStatement(int n);
bool Fired();
void KillAfterCommit(int n);
void ArmFromEnvironment();
void ChangeCommitted();
} // namespace FaultInjection

// The calling thread's connection to the configured database, made on first
// use and opened by its first statement (a lost link let go of here, and
// opened again by the next statement), closed when the thread ends. Raises
// nothing itself.
TDatabase& ThreadDatabase(const TDbConfig& config);

// One transaction: begun by the constructor, committed by Commit, rolled back
// by the destructor when not committed. Raises EDatabaseError.
class TScopedTransaction {
public:
    enum class TKind { Read, Write };
    TScopedTransaction(TDatabase& db, TKind kind);
    ~TScopedTransaction();
    TScopedTransaction(const TScopedTransaction&) = delete;
    TScopedTransaction& operator=(const TScopedTransaction&) = delete;
    void Commit();

private:
    TDatabase& db_;
    bool open_ = false;
};

// A statement with named parameters (:NAME; a name may appear more than
// once), prepared once per connection and text. Every parameter starts null;
// Bind sets one (text, QDate, QDateTime, a number or null) and raises for a
// name the text does not have. Rows are read once, in order; a column's text
// is valid until the next row.
class TSql {
public:
    TSql(TDatabase& db, const QString& text);
    ~TSql();
    TSql(const TSql&) = delete;
    TSql& operator=(const TSql&) = delete;

    TSql& Bind(const QString& name, const QVariant& value);
    TSql& Exec();
    bool Next() { return statement_->Step(); }
    bool IsNull(int column) const { return statement_->IsNull(column); }
    QByteArrayView Utf8(int column) const { return statement_->Utf8(column); }
    QString Text(int column) const;  // null stays null
    double Number(int column) const { return statement_->Number(column); }
    qint64 RowsAffected() const { return statement_->RowsAffected(); }

private:
    std::unique_ptr<TDatabase::TPrepared> own_;  // when the kept one is busy
    TDatabase::TPrepared* prepared_;
    TStatement* statement_;
};
