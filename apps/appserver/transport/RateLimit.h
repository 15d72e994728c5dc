#pragma once
// Token buckets by key (an address group, say): each key may do Burst things
// at once and one more every IntervalMs after that. At most MaxKeys keys are
// followed; when the table is full, a new key takes the place of the one used
// least recently (QCache's order), so keys that keep coming, a site's
// stations among them, stay while a flood of other keys costs bounded memory
// and can never refuse a key it has not seen. A key forgotten this way comes
// back with a full bucket, as after a quiet spell.
//
// Times are milliseconds on one monotonic clock, given by the caller.
// Not thread-safe.
#include <QCache>
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
    QCache<QString, TBucket> buckets_{MaxKeys};
};
