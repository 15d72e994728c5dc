#include "PgListener.h"

#include "PgDriver.h"
#include "PgWait.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <libpq-fe.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

// What the owner and the listener's thread share. The thread holds it too,
// so a thread left behind at the owner's end still has it.
struct TPgListener::TShared {
    QString Conninfo;
    THandlers Handlers;
    int Wake[2] = {-1, -1};  // a byte in Wake[1] wakes the thread
    QString WakeError;       // why there is no pipe
    std::atomic<bool> Listening{false};

    std::mutex Mutex;  // guards what follows
    std::condition_variable Ended;
    TPgListener* Owner = nullptr;  // null once the owner is going
    bool Finished = false;
    std::deque<QByteArray> Waiting;

    ~TShared()
    {
        for (int fd : Wake)
            if (fd >= 0)
                ::close(fd);
    }

    bool Stopping()
    {
        std::lock_guard lock(Mutex);
        return !Owner;
    }
    void Poke() const
    {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(Wake[1], &byte, 1);  // full pipe: awake already
    }
    // Runs `what` on the owner's thread, unless the owner is going. The
    // owner's end takes the mutex first, so nothing is posted to it after.
    template <class What>
    void Post(What what)
    {
        std::lock_guard lock(Mutex);
        if (Owner)
            QMetaObject::invokeMethod(Owner, std::move(what), Qt::QueuedConnection);
    }
    void Log(const QString& line)
    {
        Post([log = Handlers.Log, line] { log(line); });
    }
};

namespace {

using TShared = std::shared_ptr<TPgListener::TShared>;

// Runs one statement within AnswerMs; false with `error` set otherwise.
bool Run(PGconn* conn, const char* sql, std::initializer_list<QByteArray> params, QString& error)
{
    std::vector<const char*> values;
    for (const QByteArray& p : params)
        values.push_back(p.constData());
    bool timedOut = false;
    PGresult* result = PgExecBounded(
        conn,
        [&](PGconn* c) { return PQsendQueryParams(c, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0); },
        TPgListener::AnswerMs, timedOut);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok)
        error = timedOut ? QStringLiteral("o banco de dados não respondeu em %1 s").arg(TPgListener::AnswerMs / 1000.0)
                         : QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(conn)).trimmed();
    PQclear(result);
    return ok;
}

// A listening link, or nullptr with `error` set.
PGconn* Connect(const QString& conninfo, QString& error)
{
    // Named, so that an operator tells it from the workers in pg_stat_activity.
    const QString uri = PgUriWith(PgBoundedUri(conninfo), {"application_name=appserver-avisos"});
    PGconn* conn = PQconnectdb(uri.toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        error = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        PQfinish(conn);
        return nullptr;
    }
    if (!Run(conn, "SET client_encoding = 'UTF8'", {}, error)
        || !Run(conn, (QByteArray("LISTEN ") + NoticeChannel).constData(), {}, error)) {
        PQfinish(conn);
        return nullptr;
    }
    return conn;
}

// Sleeps `ms`, or less when woken; false when the owner is going.
bool Pause(const TShared& s, int ms)
{
    pollfd fd{s->Wake[0], POLLIN, 0};
    ::poll(&fd, 1, ms);
    char drain[64];
    while (::read(s->Wake[0], drain, sizeof drain) > 0) {
    }
    return !s->Stopping();
}

// Hands every notice libpq has read to the owner, in order.
void Deliver(const TShared& s, PGconn* conn)
{
    while (PGnotify* notice = PQnotifies(conn)) {
        s->Post([heard = s->Handlers.Heard, payload = QByteArray(notice->extra)] { heard(payload); });
        PQfreemem(notice);
    }
}

// Sends what waits; false with `error` set when the link failed.
bool SendWaiting(const TShared& s, PGconn* conn, QString& error)
{
    std::deque<QByteArray> batch;
    {
        std::lock_guard lock(s->Mutex);
        batch.swap(s->Waiting);
    }
    for (const QByteArray& payload : batch)
        if (!Run(conn, "SELECT pg_notify($1, $2)", {QByteArray(NoticeChannel), payload}, error))
            return false;
    return true;
}

// One link's life: listens until it fails or the owner goes. False when it
// failed (`error` says why).
bool Listen(const TShared& s, PGconn* conn, QString& error)
{
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        pollfd fds[2] = {{PQsocket(conn), POLLIN, 0}, {s->Wake[0], POLLIN, 0}};
        const int wait = int(std::max<qint64>(0, TPgListener::PingMs - quiet.elapsed()));
        const int ready = ::poll(fds, 2, wait);
        if (s->Stopping())
            return true;
        if (ready < 0 && errno != EINTR) {
            error = QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        if (fds[1].revents) {
            char drain[64];
            while (::read(s->Wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents) {
            if (PQconsumeInput(conn) == 0 || PQstatus(conn) != CONNECTION_OK) {
                error = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
                return false;
            }
            quiet.restart();
        }
        if (!SendWaiting(s, conn, error))
            return false;
        if (quiet.elapsed() >= TPgListener::PingMs) {
            if (!Run(conn, "SELECT 1", {}, error))
                return false;
            quiet.restart();
        }
        Deliver(s, conn);
    }
}

void Work(const TShared& s)
{
    bool failing = false;  // since the last time it listened
    bool listened = false;
    while (!s->Stopping()) {
        QString error;
        PGconn* conn = Connect(s->Conninfo, error);
        if (!conn) {
            if (!failing)
                s->Log(QStringLiteral("os avisos de mudança não podem ser ouvidos agora (%1); nova tentativa a cada %2 ms")
                           .arg(error)
                           .arg(TPgListener::RetryMs));
            failing = true;
            if (!Pause(s, TPgListener::RetryMs))
                break;
            continue;
        }
        s->Listening = true;
        if (failing || listened) {
            s->Log(QStringLiteral("avisos entre servidores retomados"));
            s->Post([resumed = s->Handlers.Resumed] {
                if (resumed)
                    resumed();
            });
        }
        failing = false;
        listened = true;
        const bool stopped = Listen(s, conn, error);
        s->Listening = false;
        PQfinish(conn);
        {
            std::lock_guard lock(s->Mutex);
            s->Waiting.clear();
        }
        if (stopped)
            break;
        s->Log(QStringLiteral("avisos entre servidores interrompidos (%1); nova tentativa a cada %2 ms")
                   .arg(error)
                   .arg(TPgListener::RetryMs));
        failing = true;
        if (!Pause(s, TPgListener::RetryMs))
            break;
    }
    std::lock_guard lock(s->Mutex);
    s->Finished = true;
    s->Ended.notify_all();
}

} // namespace

TPgListener::TPgListener(QString conninfo, THandlers handlers, QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<TShared>())
{
    shared_->Conninfo = std::move(conninfo);
    shared_->Handlers = std::move(handlers);
    shared_->Owner = this;
    if (::pipe2(shared_->Wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        shared_->WakeError = QString::fromLocal8Bit(strerror(errno));
        shared_->Wake[0] = shared_->Wake[1] = -1;
    }
}

TPgListener::~TPgListener()
{
    {
        std::lock_guard lock(shared_->Mutex);
        shared_->Owner = nullptr;
    }
    if (!thread_.joinable())
        return;
    shared_->Poke();
    std::unique_lock lock(shared_->Mutex);
    const bool ended = shared_->Ended.wait_for(lock, std::chrono::milliseconds(StopWaitMs), [this] { return shared_->Finished; });
    lock.unlock();
    if (ended)
        thread_.join();
    else
        thread_.detach();
}

void TPgListener::Start()
{
    if (shared_->Wake[0] < 0) {
        shared_->Handlers.Log(QStringLiteral("os avisos de mudança não podem ser ouvidos: %1").arg(shared_->WakeError));
        return;
    }
    thread_ = std::thread(Work, shared_);
}

bool TPgListener::Send(const QByteArray& payload)
{
    if (!Listening())
        return false;
    {
        std::lock_guard lock(shared_->Mutex);
        if (shared_->Waiting.size() >= size_t(MaxWaiting))
            return false;
        shared_->Waiting.push_back(payload);
    }
    shared_->Poke();
    return true;
}

bool TPgListener::Listening() const
{
    return shared_->Listening;
}
