#pragma once
// How the methods run on the worker's database connection, whatever happens
// to the database meanwhile.
//
// A change (RunChange) runs in one write transaction. An identified one of a
// user past RequestLog::Admit's rate is refused at once, unrecorded. When the request
// carries the client's identifier, the transaction first claims it
// (RequestLog.h): a request seen before is answered with its first outcome
// and runs nothing; a new one records its outcome with the change. A refusal
// changes nothing (the transaction is rolled back), and its outcome is then
// recorded alone, so a repeat is refused the same way.
//
// What is run again, on the same connection or a new one:
//   - a change the database ended for a conflict with another one (a
//     deadlock, a serialization failure): after a short random pause, three
//     runs in all, then the client is refused with "tente novamente";
//   - a change or a read whose link to the database was lost (the database
//     restarted, or failed over to its standby): nothing of it can have been
//     recorded, so it runs again as soon as a new connection opens (a
//     multi-host URI with target_session_attrs=read-write reaching the new
//     primary), waiting up to ReconnectWindowSeconds for one;
//   - a change whose link was lost while its COMMIT was on the way, which may
//     or may not have been recorded: only when it carries an identifier, whose
//     claim then finds the first outcome if it was. Without one it fails with
//     the lost connection, as it always has.
// While the server stops (StopWaiting) nobody waits for the database any
// more: what is waiting fails at once with the lost connection.
#include "RequestLog.h"

#include "storage/Database.h"

#include <QVariant>

#include <functional>

inline constexpr int ReconnectWindowSeconds = 30;

// `rule` runs inside the open write transaction and returns a result
// envelope; a refusal leaves the transaction to be rolled back here.
// Raises EDatabaseError (EDatabaseLost when the database stayed away).
QVariant RunChange(TDatabase& db, const TRequest& request, const std::function<QVariant()>& rule);

// Runs `read` (which opens any transaction it needs) again after a lost link,
// as above. Raises EDatabaseError.
QVariant RunRead(TDatabase& db, const std::function<QVariant()>& read);

// Called once the server stops: no call waits for the database any more.
void StopWaiting();
