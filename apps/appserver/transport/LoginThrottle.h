#pragma once
// Slows down password guessing, counted twice: by the address a login comes
// from (its AddressGroup) and by the user it names. A failed login is
// answered only after a delay that doubles with each failure of its address
// or of its user, whichever has more (BaseDelayMs, twice that, ... up to
// MaxDelayMs). Logins sent at once by an address or for a user with failures
// are checked one per delay (Admit), so guessing over many connections is no
// faster than over one; one that would wait more than MaxDelayMs is refused
// unchecked.
//
// A user's count is cleared by that user's next success, so the user is not
// kept waiting once in. An address's count is not cleared by any success
// (a station that guesses others' passwords between its own logins would
// otherwise guess at hash speed): it is forgotten ForgetAfterMs after its
// last failure. Both tables hold at most MaxEntries keys each: when one is
// full, the key whose last failure is oldest makes room, so a flood of
// addresses or of made-up user names costs bounded memory and cannot push
// an address's count out by naming users.
//
// Times are milliseconds on one monotonic clock, given by the caller.
// Not thread-safe: the server uses it on its event loop's thread.
#include <QHash>
#include <QString>

class TLoginThrottle {
public:
    static constexpr int BaseDelayMs = 1000;
    static constexpr int MaxDelayMs = 30000;
    static constexpr qint64 ForgetAfterMs = 15 * 60 * 1000;
    static constexpr qsizetype MaxEntries = 4096;

    struct TLogin {
        QString Address;  // AddressGroup of the peer
        QString User;
    };

    // How long `login` arriving at `nowMs` waits before its check (0 when
    // neither its address nor its user has failures); a wait beyond
    // MaxDelayMs means "refuse it", and reserves nothing.
    int Admit(const TLogin& login, qint64 nowMs);
    // The login admitted for `slotMs` (nowMs + Admit's wait) ended unchecked
    // (its client hung up): its slot is free again, when no later login has
    // booked the one after it meanwhile. Otherwise a hello that hangs up at
    // once would push its user's next check a delay further each time, and
    // keep the user's own logins refused at no cost.
    void GiveBack(const TLogin& login, qint64 slotMs);
    // Records a failure of `login` at `nowMs`, whether or not its client is
    // still there to be answered; how long to wait before answering it.
    int Failed(const TLogin& login, qint64 nowMs);
    void Succeeded(const TLogin& login);
    qsizetype Size() const { return addresses_.Size() + users_.Size(); }

private:
    // Failures by key, in a table of bounded size.
    class TCounts {
    public:
        // The earliest start of the key's next check (nowMs when it has no
        // failures on record).
        qint64 Slot(const QString& key, qint64 nowMs) const;
        // Takes the slot `slotMs`: the next check of the key comes one delay later.
        void Reserve(const QString& key, qint64 slotMs);
        void Unreserve(const QString& key, qint64 slotMs);
        int Fail(const QString& key, qint64 nowMs);
        void Clear(const QString& key) { entries_.remove(key); }
        qsizetype Size() const { return entries_.size(); }

    private:
        struct TEntry {
            int Failures = 0;
            qint64 LastMs = 0;
            qint64 NextCheckMs = 0;
        };
        void MakeRoom(qint64 nowMs);
        QHash<QString, TEntry> entries_;
    };
    static int Delay(int failures);

    TCounts addresses_;
    TCounts users_;
};
