#pragma once
// Slows down password guessing. A failed login is answered only after a
// delay that doubles with each failure from the same address (BaseDelayMs,
// twice that, ... up to MaxDelayMs); an address's count is forgotten at its
// next success, or ForgetAfterMs after its last failure. Logins an address
// with failures sends at once are checked one per delay (Admit), so guessing
// over many connections is no faster than over one; one that would wait more
// than MaxDelayMs is refused unchecked. The table holds at
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

    // How long a login from `address` arriving at `nowMs` waits before its
    // check (0 for an address without failures); a wait beyond MaxDelayMs
    // means "refuse it", and reserves nothing.
    int Admit(const QHostAddress& address, qint64 nowMs);
    // Records a failure from `address` at `nowMs`; how long to wait before
    // answering it.
    int Failed(const QHostAddress& address, qint64 nowMs);
    void Succeeded(const QHostAddress& address);
    qsizetype Size() const { return entries_.size(); }

private:
    struct TEntry {
        int Failures = 0;
        qint64 LastMs = 0;
        qint64 NextCheckMs = 0;  // the earliest start of the address's next check
    };
    static int Delay(int failures);
    void MakeRoom(qint64 nowMs);

    QHash<QHostAddress, TEntry> entries_;
};
