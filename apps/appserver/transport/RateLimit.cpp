#include "RateLimit.h"

#include <algorithm>

TRateLimit::TRateLimit(int burst, qint64 intervalMs)
    : burst_(burst)
    , intervalMs_(std::max<qint64>(1, intervalMs))
{
}

bool TRateLimit::Take(const QString& key, qint64 nowMs)
{
    auto it = buckets_.find(key);
    if (it == buckets_.end()) {
        if (buckets_.size() >= MaxKeys) {
            // A bucket refilled to the full is the same as none.
            const qint64 refill = burst_ * intervalMs_;
            buckets_.removeIf([nowMs, refill](const auto& entry) { return nowMs - entry.value().LastMs >= refill; });
            if (buckets_.size() >= MaxKeys)
                return false;
        }
        it = buckets_.insert(key, TBucket{double(burst_), nowMs});
    }
    it->Tokens = std::min(double(burst_), it->Tokens + double(nowMs - it->LastMs) / double(intervalMs_));
    it->LastMs = nowMs;
    if (it->Tokens < 1)
        return false;
    it->Tokens -= 1;
    return true;
}
