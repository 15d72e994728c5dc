#include "RateLimit.h"

#include <algorithm>

TRateLimit::TRateLimit(int burst, qint64 intervalMs)
    : burst_(burst)
    , intervalMs_(std::max<qint64>(1, intervalMs))
{
}

bool TRateLimit::Take(const QString& key, qint64 nowMs)
{
    TBucket* bucket = buckets_.object(key);  // now the most recently used
    if (!bucket) {
        bucket = new TBucket{double(burst_), nowMs};
        buckets_.insert(key, bucket);  // the least recently used key makes room
    }
    bucket->Tokens = std::min(double(burst_), bucket->Tokens + double(nowMs - bucket->LastMs) / double(intervalMs_));
    bucket->LastMs = nowMs;
    if (bucket->Tokens < 1)
        return false;
    bucket->Tokens -= 1;
    return true;
}
