#pragma once
// The outcomes of the changes clients asked for with a request identifier
// (docs/protocol.md, "Request identifiers"), in the table REQUISICAO.
//
// A request is claimed inside the write transaction of its change, before
// the change runs, and its outcome recorded in the same transaction: so the
// outcome is in the database exactly when the change is. A claim of an
// identifier that another transaction holds waits for it to end (the
// primary key), and then finds its outcome: the same request sent twice at
// once, to two servers, runs once. Identifiers are the user's own: another
// user's request of the same identifier is another request.
//
// Outcomes are kept RetentionHours after their request and then removed
// (Prune, run now and then by the changes themselves): a client retries
// within seconds. Every function raises EDatabaseError.
#include "storage/Database.h"

#include <QString>
#include <QVariant>

#include <optional>

struct TRequest {
    QString User;    // "" on a server without accounts
    QString Id;      // the client's identifier; "" none
    QString Method;  // as the module names it
};

namespace RequestLog {

inline constexpr int RetentionHours = 24;
// Identified requests of one user a server takes at once, and one more every
// AdmitIntervalMs after that: a user cannot grow the log faster (each
// record is kept RetentionHours).
inline constexpr int AdmitBurst = 200;
inline constexpr int AdmitIntervalMs = 100;

// Whether `request`, identified, may be claimed now; false when its user
// passed the rate above (the request then runs nothing and is not recorded,
// so the client may send it again later). Requests without a user (a server
// without accounts, whose callers are trusted) always may. Any thread.
bool Admit(const TRequest& request);

// Claims `request` for the open write transaction: nothing when it is new
// (the change is to run, and Record its outcome before the commit), or the
// first outcome recorded for it. An identifier used before for another
// method gets a refusal saying so.
std::optional<QVariant> Claim(TDatabase& db, const TRequest& request);
// Records the outcome of a claimed request (a reply's value: a result
// envelope).
void Record(TDatabase& db, const TRequest& request, const QVariant& outcome);
// Removes the outcomes older than RetentionHours; returns how many.
qint64 Prune(TDatabase& db);

} // namespace RequestLog
