#pragma once
// What the application server counts, for its operators (docs/appserver.md,
// "Metrics", lists every series with its meaning). Each part of the server
// adds to these where the event happens: the transport counts calls,
// connections and logins, the rules the business, storage the database.
//
// Labels, each from a bounded set: `module` and `method` as the dispatcher
// found them ("unknown" for a method it did not find), `outcome` of a call
// ("result", "refused" by a rule, "denied" a branch, or the fault's code),
// `cap` a connection was refused by, `engine` ("sqlite", "postgresql") and
// `kind` of a database failure.
#include "Registry.h"

namespace Metrics {

struct TServerMetrics {
    // Calls.
    TCounter Calls{"appserver_calls_total", "Remote calls answered, by module, method and outcome.",
                   {QStringLiteral("module"), QStringLiteral("method"), QStringLiteral("outcome")}};
    THistogram CallSeconds{"appserver_call_duration_seconds", "Time from a call's dispatch to its answer.",
                           {QStringLiteral("module"), QStringLiteral("method")}};
    TCounter PoolWaits{"appserver_pool_waits_total", "Calls that waited for a free worker thread."};
    // Connections and logins.
    TGauge ConnectionsOpen{"appserver_connections_open", "Client connections open now."};
    TCounter ConnectionsRefused{"appserver_connections_refused_total",
                                "Connections refused on arrival by a cap (connections, per_address, connect_rate) "
                                "and logins refused by theirs (logins).",
                                {QStringLiteral("cap")}};
    TCounter HelloTimeouts{"appserver_hello_timeouts_total", "Connections closed for saying no hello in time."};
    TCounter TlsFailures{"appserver_tls_handshake_failures_total", "TLS handshakes that failed."};
    TCounter Logins{"appserver_logins_total", "Logins checked, by outcome (succeeded, failed).",
                    {QStringLiteral("outcome")}};
    TCounter LoginsDelayed{"appserver_logins_delayed_total", "Logins held back by the wrong-password back-off."};
    // The business.
    TCounter ReadingsStored{"appserver_readings_stored_total", "IUM readings stored."};
    TCounter ReadingsRefused{"appserver_readings_refused_total", "IUM readings refused by a rule."};
    TCounter ReadingsDeleted{"appserver_readings_deleted_total", "IUM readings deleted."};
    TCounter Confirmations{"appserver_confirmations_total", "Invoices confirmed for traceability."};
    TCounter RequestsReplayed{"appserver_requests_replayed_total",
                              "Requests sent again and answered with their first outcome (lost replies recovered)."};
    // Change notices.
    TCounter NoticesPublished{"appserver_notices_published_total", "Change notices published by this server's changes."};
    TCounter NoticesDelivered{"appserver_notices_delivered_total", "Notices written to subscribed connections."};
    TCounter NoticesDropped{"appserver_notices_dropped_total", "Notices dropped for a subscriber that reads too slowly."};
    TCounter NoticesMissed{"appserver_notices_missed_total", "\"missed\" notices sent to subscribers that lost some."};
    TGauge StationsPresent{"appserver_stations_present", "Stations subscribed to notices on this server."};
    // The database.
    TCounter StatementFailures{"appserver_db_statement_failures_total",
                               "Database statements that failed, by engine and kind.",
                               {QStringLiteral("engine"), QStringLiteral("kind")}};
    TCounter Conflicts{"appserver_db_conflict_retries_total",
                       "Changes the database ended for a deadlock or serialization failure, run again or refused."};
    TCounter Reconnections{"appserver_db_reconnections_total", "Database links opened again after one was lost."};
    TCounter Failovers{"appserver_db_failovers_total",
                       "Reconnections that reached another PostgreSQL server than the one before."};
    TGauge LastCheckpoint{"appserver_sqlite_last_checkpoint_timestamp_seconds",
                          "When the SQLite checkpointer last copied the WAL back (Unix time); 0 never."};
};

// The process's metrics, made on first use; with them the process's own
// (resident memory, open descriptors).
TServerMetrics& Server();

// Shows the size of the SQLite database `path`'s WAL (appserver_sqlite_wal_bytes),
// read at each scrape. Called once, at start.
void WatchWal(const QString& path);

// Names for the `engine` and `kind` labels.
inline constexpr QStringView Sqlite = u"sqlite";
inline constexpr QStringView Postgres = u"postgresql";

} // namespace Metrics
