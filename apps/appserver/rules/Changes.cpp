#include "Changes.h"

#include "metrics/ServerMetrics.h"
#include "rpc/Envelope.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <atomic>
#include <optional>

namespace {

std::atomic<bool> stopping{false};
std::atomic<quint64> changesRun{0};

// Outcomes are pruned once every this many changes a server runs.
constexpr quint64 PruneEvery = 1000;

bool Refused(const QVariant& outcome)
{
    const auto envelope = Rpc::ParseEnvelope(outcome);
    return envelope && !envelope->Ok;
}

// Waits until the connection opens again; false when the window is over or
// the server stops.
bool Reconnected(TDatabase& db, const QDeadlineTimer& window)
{
    while (!stopping && !window.hasExpired()) {
        try {
            db.DropBroken();
            db.Connection();
            return true;
        } catch (const EDatabaseLost&) {
            QThread::msleep(200);
        }
    }
    return false;
}

QVariant RunOnce(TDatabase& db, const TRequest& request, const std::function<QVariant()>& rule)
{
    const bool identified = !request.Id.isEmpty();
    QVariant outcome;
    {
        TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
        if (identified) {
            if (auto first = RequestLog::Claim(db, request))
                return *first;
        }
        outcome = rule();
        if (!Refused(outcome)) {
            if (identified)
                RequestLog::Record(db, request, outcome);
            transaction.Commit();
            FaultInjection::ChangeCommitted();
            return outcome;
        }
    }
    if (!identified)
        return outcome;
    // The refusal changed nothing and was rolled back; its answer is kept.
    TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
    if (auto first = RequestLog::Claim(db, request))
        return *first;  // the same request, run meanwhile elsewhere
    RequestLog::Record(db, request, outcome);
    transaction.Commit();
    FaultInjection::ChangeCommitted();
    return outcome;
}

// The lost link handled as the header says, around `attempt`.
template <class Attempt>
QVariant Reconnecting(TDatabase& db, bool mayRepeatCommit, Attempt attempt)
{
    std::optional<QDeadlineTimer> window;  // from the first loss
    for (;;) {
        try {
            return attempt();
        } catch (const EDatabaseLost& e) {
            if (e.AtCommit && !mayRepeatCommit)
                throw;
            if (!window)
                window.emplace(ReconnectWindowSeconds * 1000);
            if (!Reconnected(db, *window))
                throw;
        }
    }
}

} // namespace

QVariant RunChange(TDatabase& db, const TRequest& request, const std::function<QVariant()>& rule)
{
    if (!request.Id.isEmpty() && !RequestLog::Admit(request))
        return Rpc::Failure(QStringLiteral("O usuário %1 enviou requisições demais em pouco tempo; a operação não foi "
                                           "executada. Aguarde alguns instantes e tente de novo.")
                                .arg(request.User));
    constexpr int attempts = 3;
    int conflicts = 0;
    const QVariant outcome = Reconnecting(db, !request.Id.isEmpty(), [&]() -> QVariant {
        for (;;) {
            try {
                return RunOnce(db, request, rule);
            } catch (const EDatabaseConflict&) {
                Metrics::Server().Conflicts.Add();
                if (++conflicts == attempts)
                    return Rpc::Failure(QStringLiteral("A operação coincidiu com outra alteração dos mesmos dados e não "
                                                       "foi concluída; tente novamente."));
            }
            // A moment's wait, longer each time and at random, so that the
            // rival takes the rows it was waiting for instead of meeting this
            // change again.
            QThread::msleep(QRandomGenerator::global()->bounded(50, 150) * unsigned(conflicts));
        }
    });
    if (++changesRun % PruneEvery == 0) {
        try {
            RequestLog::Prune(db);
        } catch (const EDatabaseError&) {
            // The change is done; the old outcomes go at the next turn.
        }
    }
    return outcome;
}

QVariant RunRead(TDatabase& db, const std::function<QVariant()>& read)
{
    return Reconnecting(db, true, read);
}

void StopWaiting()
{
    stopping = true;
}
