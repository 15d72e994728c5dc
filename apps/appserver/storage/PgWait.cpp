#include "PgWait.h"

#include <QDeadlineTimer>

#include <libpq-fe.h>

#include <poll.h>

namespace {

bool Failed(const PGresult* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY;
}

// Waits until the socket has something to read. False when the deadline
// passed first (`timedOut`) or polling failed.
bool Readable(PGconn* conn, const QDeadlineTimer& deadline, bool& timedOut)
{
    for (;;) {
        pollfd fd{PQsocket(conn), POLLIN, 0};
        const qint64 left = deadline.remainingTime();  // -1: forever
        const int ready = ::poll(&fd, 1, left < 0 ? -1 : int(std::min<qint64>(left, 1 << 30)));
        if (ready > 0)
            return true;
        if (ready == 0) {
            timedOut = true;
            return false;
        }
        if (errno != EINTR)
            return false;
    }
}

} // namespace

PGresult* PgExecBounded(PGconn* conn, const std::function<int(PGconn*)>& send, int timeoutMs, bool& timedOut)
{
    timedOut = false;
    const QDeadlineTimer deadline = timeoutMs > 0 ? QDeadlineTimer(timeoutMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    // A statement fits the socket's send buffer: in blocking mode the send
    // and its flush return once the kernel has it, whatever the peer does.
    if (send(conn) == 0)
        return nullptr;
    PGresult* kept = nullptr;
    for (;;) {
        while (PQisBusy(conn)) {
            if (!Readable(conn, deadline, timedOut) || PQconsumeInput(conn) == 0) {
                PQclear(kept);
                return nullptr;
            }
        }
        PGresult* result = PQgetResult(conn);
        if (!result)
            return kept;
        if (kept && Failed(kept)) {
            PQclear(result);
        } else {
            PQclear(kept);
            kept = result;
        }
    }
}
