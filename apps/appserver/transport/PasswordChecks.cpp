#include "PasswordChecks.h"

TPasswordChecks::TPasswordChecks(int threads, QObject* parent)
    : QObject(parent)
    , threads_(std::max(1, threads))
{
    pool_.setMaxThreadCount(threads_);
}

TPasswordChecks::~TPasswordChecks()
{
    Stop();
}

void TPasswordChecks::Enqueue(quint64 id, const QString& group, TCheck check, TDone done)
{
    if (stopped_)
        return;
    QQueue<TJob>& queue = queues_[group];
    if (queue.isEmpty())
        turns_.append(group);
    queue.enqueue(TJob{id, std::move(check), std::move(done)});
    StartNext();
}

bool TPasswordChecks::Cancel(quint64 id)
{
    for (auto it = queues_.begin(); it != queues_.end(); ++it) {
        if (it->removeIf([id](const TJob& job) { return job.Id == id; }) == 0)
            continue;
        if (it->isEmpty()) {
            turns_.removeOne(it.key());
            queues_.erase(it);
        }
        return true;
    }
    return false;
}

void TPasswordChecks::Stop()
{
    stopped_ = true;
    queues_.clear();
    turns_.clear();
    pool_.waitForDone();
}

void TPasswordChecks::StartNext()
{
    while (running_ < threads_ && !turns_.isEmpty()) {
        const QString group = turns_.takeFirst();
        QQueue<TJob>& queue = queues_[group];
        TJob job = queue.dequeue();
        if (queue.isEmpty())
            queues_.remove(group);
        else
            turns_.append(group);
        ++running_;
        pool_.start([this, job = std::move(job)]() mutable {
            const bool right = job.Check();
            QMetaObject::invokeMethod(
                this,
                [this, done = std::move(job.Done), right] {
                    --running_;
                    if (!stopped_)
                        done(right);
                    StartNext();
                },
                Qt::QueuedConnection);
        });
    }
}
