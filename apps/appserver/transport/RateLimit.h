#pragma once
// Token buckets by key (an address group, say): each key may do Burst things
// at once and one more every IntervalMs after that. At most MaxKeys keys are
// followed; a key whose bucket has been full long enough is forgotten first,
// and when none is, a new key is refused (a flood of keys costs bounded
// memory and buys nothing).
//
// Times are milliseconds on one monotonic clock, given by the caller.
// Not thread-safe.
#include <QHash>
#include <QString>

class TRateLimit {
public:
    static constexpr qsizetype MaxKeys = 4096;

    TRateLimit(int burst, qint64 intervalMs);

    // Whether `key` may do one more thing at `nowMs`; true takes it.
    bool Take(const QString& key, qint64 nowMs);

private:
    struct TBucket {
        double Tokens = 0;
        qint64 LastMs = 0;
    };
    int burst_;
    qint64 intervalMs_;
    QHash<QString, TBucket> buckets_;
};
