#pragma once
// Waiting for PostgreSQL's answer with a bound kept on this side. libpq's
// blocking calls wait for as long as the link stays up, and a database whose
// processes are frozen, or a host gone behind a network that still completes
// TCP (the kernel keeps acknowledging), keeps it up for ever: neither TCP
// keepalives nor tcp_user_timeout notice, and a server-side statement_timeout
// cannot run in a process that does not run. So the statement is sent
// without waiting and its answer awaited on the socket until a deadline.
//
// libpq is not thread-safe per connection: one thread at a time per PGconn.
#include <functional>

struct pg_conn;
struct pg_result;

// Sends through `send` (PQsendQuery, PQsendQueryPrepared, ...: it returns
// libpq's 1 or 0; never a COPY) and collects every result until the last, waiting at most
// `timeoutMs` in all (0: no bound). Returns the first failed result, or else
// the last one; the caller clears it. nullptr when no answer came: then
// `timedOut` is true when the deadline passed, false when the link broke
// (PQerrorMessage says why). Either way the link is no longer fit for use.
pg_result* PgExecBounded(pg_conn* conn, const std::function<int(pg_conn*)>& send, int timeoutMs, bool& timedOut);
