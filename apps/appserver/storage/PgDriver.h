#pragma once
// The PostgreSQL driver of the statement interface, on libpq.
//
// `conninfo` is a libpq connection string or URI (postgresql://user@host:port/
// dbname); what it leaves out comes from the PG environment variables
// (PGHOST, PGPORT, PGUSER, PGDATABASE, PGPASSWORD). The session talks UTF-8
// and shows dates in ISO form, as the SQLite file stores them. A result is
// read whole by libpq before its first row is stepped. A multi-host URI with
// target_session_attrs=read-write reaches whichever host takes writes.
//
// Waiting is bounded (PgBoundedUri) and, with `statementTimeoutMs` above 0,
// so is every statement's answer (PgWait.h): past it the statement raises
// EDatabaseLost and the connection is broken for good, so a database that
// stops answering without closing the link (frozen processes, a host gone
// behind a network that still completes TCP) costs a caller that long and
// no more. 0: a statement waits as long as the link stays up (a bulk load).
#include "Statement.h"

#include <initializer_list>

std::unique_ptr<TConnection> OpenPostgres(const QString& conninfo, int statementTimeoutMs = 0);

// `uri` with bounds on waiting for a database that is gone, unless it sets
// them itself: a connection attempt gives up after 3 s (each host of a
// multi-host URI in turn, so a silent first host delays the next by that
// much), and a link whose peer stops acknowledging is found broken within
// about 15 s (TCP keepalives, and unacknowledged data) instead of the
// system's quarter of an hour. A Unix socket needs none of them.
QString PgBoundedUri(const QString& uri);
// `uri` with each `key=value` of `options` that it does not set itself.
QString PgUriWith(const QString& uri, std::initializer_list<const char*> options);

// Where an open PostgreSQL connection leads and how it was checked: the host
// it reached (a socket's folder for a Unix socket), that host's address, and
// the effective sslmode (the URI's, else PGSSLMODE, else libpq's "prefer").
struct TPgLink {
    QString Host;
    QString Address;
    QString SslMode;
    QString Port;
};
// Raises EDatabaseError when `connection` is not a PostgreSQL one.
TPgLink PgLinkOf(TConnection& connection);

// Whether a link needs no certificate check: it stays on this machine (a
// Unix socket, a loopback address) or verifies the server (verify-ca,
// verify-full). Any other may be read or answered by whoever sits between.
bool PgLinkTrusted(const TPgLink& link);

// The password verifier of `role` for CREATE ROLE / ALTER ROLE ... PASSWORD,
// computed by libpq on this side with the server's password_encryption
// (SCRAM-SHA-256 by default), so that the clear password never reaches the
// database or its statement log. Raises EDatabaseError.
QByteArray PgPasswordVerifier(TConnection& connection, const QByteArray& role, const QByteArray& password);
