#pragma once
// The outbox of traceability events: every confirmation's event written
// once into a folder, also across a crash or a failover.
//
// Promises:
//  1. A confirmation records its event as due in its own transaction
//     (RecordDueEvent, table EPCISSAIDA): no confirmation without its due
//     event, no due event without its confirmation.
//  2. A due event is written as one file, {branch}-{invoice}.jsonld (the
//     codes percent-encoded), through a temporary file renamed over it
//     (QSaveFile): a reader of the folder sees the whole document or none.
//  3. Each due event is claimed in the database by one writer at a time: its
//     row is locked (PostgreSQL: FOR UPDATE SKIP LOCKED, so another server
//     passes it by; SQLite: the write transaction) while the file is written
//     and marked written (DTGRAVACAO) in the same transaction. A writer that
//     dies before its commit leaves the event due and its lock gone; the next
//     writer writes the same file again, replacing it whole, so the folder
//     never holds an event twice (a file already taken away is handed on
//     again with the same eventID, which the receiver drops).
//  4. An event that cannot be written (a folder that cannot be written, an
//     event that cannot be formed) stays due; its reason is logged once
//     per change of reason and kept in EPCISSAIDA.DSERRO, and every turn
//     tries it again.
// The confirmation never waits for the file and never fails for it.
#include "ShippingEvents.h"

#include "storage/Database.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// In the caller's write transaction. Raises EDatabaseError.
void RecordDueEvent(TDatabase& db, const QString& branch, const QString& invoice);

// The name of an invoice's file in the outbox folder.
QString OutboxFileName(const QString& branch, const QString& invoice);

// Writes the due events of `config`'s database into `folder`, on a thread
// of its own: a turn every IntervalMs (and at once after Wake). Stop (or
// the destructor) ends the thread after the turn under way. `log` is called
// on that thread.
class TOutboxWriter {
public:
    static constexpr int IntervalMs = 500;

    TOutboxWriter(TDbConfig config, QString folder, TEventNaming naming, std::function<void(const QString&)> log);
    ~TOutboxWriter();
    TOutboxWriter(const TOutboxWriter&) = delete;
    TOutboxWriter& operator=(const TOutboxWriter&) = delete;

    void Wake();
    void Stop();

    // One turn on `db`: writes every due event it can claim; returns how
    // many it wrote. Raises EDatabaseError when the database fails.
    int WriteDue(TDatabase& db);

private:
    void Loop();
    // Writes the claimed event's file; "" on success, else why not.
    QString WriteFile(TDatabase& db, const QString& branch, const QString& invoice);
    void Failed(TDatabase& db, const QString& branch, const QString& invoice, const QString& why);

    TDbConfig config_;
    QString folder_;
    TEventNaming naming_;
    std::function<void(const QString&)> log_;
    QHash<QString, QString> reasons_;  // last reason logged, by file name
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool woken_ = false;
    std::thread thread_;
};
