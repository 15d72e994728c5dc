#pragma once
// The accounts a server checks logins against, as one reading of the
// accounts file (AccountsFile.h) holds them. Read-only once made, so Check
// may run on any thread.
//
// Passwords are PBKDF2-HMAC-SHA256 keys. A new or renewed key takes Rounds
// iterations (about 0.6 s of one core): guessing is slow. An account hashed
// with another count is stale, and the server hashes it again with Rounds
// at its next successful login (AccountService.h).
//
// Every check costs the same whatever the name and the password: it derives
// CheckRounds() iterations in all, Rounds or the highest count of the file
// if that is more. An account of fewer iterations pays the rest on a key no
// password gives, and an unknown name pays them all, so the time of a wrong
// password tells neither which names exist nor how they were hashed. (The
// file bounds the counts, MaxRounds, and so what one check can cost.)
// The passwords themselves are never stored nor logged.
#include "AccountsFile.h"
#include "Principal.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

class TAccounts {
public:
    static constexpr int Rounds = 600000;
    static constexpr int MinPasswordLength = 8;

    // A key derivation: the key of `password` with `salt` after `rounds`
    // iterations. A test may count the rounds through its own.
    using TDerive = std::function<QByteArray(const QByteArray& password, const QByteArray& salt, int rounds)>;
    static QByteArray Pbkdf2(const QByteArray& password, const QByteArray& salt, int rounds);

    explicit TAccounts(const TAccountsFile& file, TDerive derive = Pbkdf2);

    struct TCheck {
        bool Right = false;  // the user exists and that is its password
        bool Stale = false;  // right, and the account's key is not of Rounds iterations
    };
    TCheck Check(const QString& user, const QString& password) const;

    const TAccount* Find(const QString& user) const;
    // The principal of `user`; no branch at all when there is no such user.
    TPrincipal Principal(const QString& user) const;
    qsizetype Size() const { return accounts_.size(); }
    int CheckRounds() const { return checkRounds_; }

    // `name` with `password` under a new random salt and a key of Rounds
    // iterations, for `branches`.
    static TAccount Hashed(const QString& name, const QString& password, const TBranches& branches,
                           const TDerive& derive = Pbkdf2);
    // These accounts with `account` in place of the one of its name.
    TAccounts With(const TAccount& account) const;

private:
    QHash<QString, TAccount> accounts_;
    TDerive derive_;
    int checkRounds_ = Rounds;
};
