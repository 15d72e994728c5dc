#pragma once
// Slows down password guessing. A failed login is answered only after a
// delay that doubles with each failure from the same address (BaseDelayMs,
// twice that, ... up to MaxDelayMs); an address's count is forgotten at its
// next success, or ForgetAfterMs after its last failure. The table holds at
// most MaxAddresses addresses: when it is full, the address whose last
// failure is oldest makes room, so a flood of addresses costs bounded memory.
//
// Times are milliseconds on one monotonic clock, given by the caller.
// Not thread-safe: the server uses it on its event loop's thread.
#include <QHash>
#include <QHostAddress>

class TLoginThrottle {
public:
    static constexpr int BaseDelayMs = 1000;
    static constexpr int MaxDelayMs = 30000;
    static constexpr qint64 ForgetAfterMs = 15 * 60 * 1000;
    static constexpr qsizetype MaxAddresses = 4096;

    // Records a failure from `address` at `nowMs`; how long to wait before
    // answering it.
    int Failed(const QHostAddress& address, qint64 nowMs);
    void Succeeded(const QHostAddress& address);
    qsizetype Size() const { return entries_.size(); }

private:
    struct TEntry {
        int Failures = 0;
        qint64 LastMs = 0;
    };
    void MakeRoom(qint64 nowMs);

    QHash<QHostAddress, TEntry> entries_;
};
