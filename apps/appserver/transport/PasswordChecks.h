#pragma once
// The password checks of logins, run on threads of their own (a check costs
// a fraction of a second of a core by design), never on the event loop's.
//
// Fairness: checks wait in one queue per address group and the queues take
// turns, so the checks one address queues cannot delay another address's
// login by more than one check per other address with checks waiting, after
// the checks already running. With the server's bound on logins in flight
// per address, a flood from one address costs any other login at most two
// checks' time.
//
// Enqueue and Cancel are called on the owner's thread (the event loop's), and
// the outcome comes back there, through the event loop; `check` runs on the
// pool's threads and must be thread-safe.
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>

class TPasswordChecks : public QObject {
public:
    using TCheck = std::function<bool()>;
    using TDone = std::function<void(bool right)>;

    TPasswordChecks(int threads, QObject* parent = nullptr);
    ~TPasswordChecks() override;

    // Queues `check` for the connection `id` from `group`; `done` receives
    // its outcome on this object's thread, unless the check is cancelled
    // before it starts.
    void Enqueue(quint64 id, const QString& group, TCheck check, TDone done);
    // Drops the connection's check if it has not started (a client that hung
    // up costs no check): true when it was dropped; a check already running
    // still reports.
    bool Cancel(quint64 id);
    // Waits for the checks running; the queued ones are dropped.
    void Stop();

private:
    struct TJob {
        quint64 Id = 0;
        TCheck Check;
        TDone Done;
    };
    void StartNext();

    QThreadPool pool_;
    int threads_;
    int running_ = 0;
    bool stopped_ = false;
    QHash<QString, QQueue<TJob>> queues_;
    QStringList turns_;  // groups with checks waiting, the next one first
};
