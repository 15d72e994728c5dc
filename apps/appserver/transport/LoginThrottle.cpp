#include "LoginThrottle.h"

#include <algorithm>

int TLoginThrottle::Delay(int failures)
{
    return int(std::min<qint64>(qint64(BaseDelayMs) << std::min(failures - 1, 16), MaxDelayMs));
}

qint64 TLoginThrottle::TCounts::Slot(const QString& key, qint64 nowMs) const
{
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd() || nowMs - it->LastMs > ForgetAfterMs)
        return nowMs;
    return std::max(it->NextCheckMs, nowMs);
}

void TLoginThrottle::TCounts::Reserve(const QString& key, qint64 slotMs)
{
    const auto it = entries_.find(key);
    if (it != entries_.end() && slotMs - it->LastMs <= ForgetAfterMs)
        it->NextCheckMs = slotMs + Delay(it->Failures);
}

void TLoginThrottle::TCounts::Unreserve(const QString& key, qint64 slotMs)
{
    const auto it = entries_.find(key);
    if (it != entries_.end() && it->NextCheckMs == slotMs + Delay(it->Failures))
        it->NextCheckMs = slotMs;
}

int TLoginThrottle::TCounts::Fail(const QString& key, qint64 nowMs)
{
    auto it = entries_.find(key);
    if (it != entries_.end() && nowMs - it->LastMs > ForgetAfterMs)
        it->Failures = 0;
    if (it == entries_.end()) {
        MakeRoom(nowMs);
        it = entries_.insert(key, TEntry{});
    }
    it->Failures = std::min(it->Failures + 1, 31);
    it->LastMs = nowMs;
    const int delay = Delay(it->Failures);
    it->NextCheckMs = std::max(it->NextCheckMs, nowMs + delay);
    return delay;
}

void TLoginThrottle::TCounts::MakeRoom(qint64 nowMs)
{
    if (entries_.size() < MaxEntries)
        return;
    entries_.removeIf([nowMs](const auto& entry) { return nowMs - entry.value().LastMs > ForgetAfterMs; });
    if (entries_.size() < MaxEntries)
        return;
    const auto oldest = std::min_element(entries_.cbegin(), entries_.cend(),
                                         [](const TEntry& a, const TEntry& b) { return a.LastMs < b.LastMs; });
    entries_.erase(oldest);
}

int TLoginThrottle::Admit(const TLogin& login, qint64 nowMs)
{
    const qint64 slot = std::max(addresses_.Slot(login.Address, nowMs), users_.Slot(login.User, nowMs));
    if (slot - nowMs > MaxDelayMs)
        return MaxDelayMs + 1;
    addresses_.Reserve(login.Address, slot);
    users_.Reserve(login.User, slot);
    return int(slot - nowMs);
}

void TLoginThrottle::GiveBack(const TLogin& login, qint64 slotMs)
{
    addresses_.Unreserve(login.Address, slotMs);
    users_.Unreserve(login.User, slotMs);
}

int TLoginThrottle::Failed(const TLogin& login, qint64 nowMs)
{
    return std::max(addresses_.Fail(login.Address, nowMs), users_.Fail(login.User, nowMs));
}

void TLoginThrottle::Succeeded(const TLogin& login)
{
    users_.Clear(login.User);
}
