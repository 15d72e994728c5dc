#include "LoginThrottle.h"

#include <algorithm>

int TLoginThrottle::Delay(int failures)
{
    return int(std::min<qint64>(qint64(BaseDelayMs) << std::min(failures - 1, 16), MaxDelayMs));
}

int TLoginThrottle::Admit(const QHostAddress& address, qint64 nowMs)
{
    const auto it = entries_.find(address);
    if (it == entries_.end() || nowMs - it->LastMs > ForgetAfterMs)
        return 0;
    const qint64 slot = std::max(it->NextCheckMs, nowMs);
    if (slot - nowMs > MaxDelayMs)
        return MaxDelayMs + 1;
    it->NextCheckMs = slot + Delay(it->Failures);
    return int(slot - nowMs);
}

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
    const int delay = Delay(it->Failures);
    it->NextCheckMs = std::max(it->NextCheckMs, nowMs + delay);
    return delay;
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
