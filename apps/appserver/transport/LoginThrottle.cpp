#include "LoginThrottle.h"

#include <algorithm>

int TLoginThrottle::Failed(const QHostAddress& address, qint64 nowMs)
{
    auto it = entries_.find(address);
    if (it != entries_.end() && nowMs - it->LastMs > ForgetAfterMs)
        it->Failures = 0;
    if (it == entries_.end()) {
        MakeRoom(nowMs);
        it = entries_.insert(address, TEntry{});
    }
    it->Failures = std::min(it->Failures + 1, 31);
    it->LastMs = nowMs;
    const qint64 delay = qint64(BaseDelayMs) << std::min(it->Failures - 1, 16);
    return int(std::min<qint64>(delay, MaxDelayMs));
}

void TLoginThrottle::Succeeded(const QHostAddress& address)
{
    entries_.remove(address);
}

void TLoginThrottle::MakeRoom(qint64 nowMs)
{
    if (entries_.size() < MaxAddresses)
        return;
    entries_.removeIf([nowMs](const auto& entry) { return nowMs - entry.value().LastMs > ForgetAfterMs; });
    if (entries_.size() < MaxAddresses)
        return;
    const auto oldest = std::min_element(entries_.cbegin(), entries_.cend(),
                                         [](const TEntry& a, const TEntry& b) { return a.LastMs < b.LastMs; });
    entries_.erase(oldest);
}
