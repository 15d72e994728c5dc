#pragma once
// The accounts of a running server: read from their file at start, read
// again when the server is told to (SIGHUP: Reload), every login checked
// against the accounts as they stand, and a stale account (Accounts.h)
// hashed again with the default rounds after its next successful login.
//
// The file must be private (PrivateFile.h) and hold at least one account;
// one that no longer loads on Reload leaves the accounts as they were.
//
// Re-hashing rewrites the file, keeping its other lines and comments, only
// when it holds what was last read or written (an administrator's edit in
// between is never overwritten): the new line replaces the old one at once
// (AccountsFile.h, Write). Whatever becomes of the file, the server keeps
// the new key in memory, so the account is not hashed again at each login;
// the log says what happened. Safe from any thread.
#include "Accounts.h"

#include <QMutex>
#include <QString>
#include <memory>
#include <optional>

class TAccountService {
public:
    // The accounts of `fileName`, or nothing with `error` set (Portuguese).
    static std::shared_ptr<TAccountService> Open(const QString& fileName, QString& error,
                                                 TAccounts::TDerive derive = TAccounts::Pbkdf2);

    // Whether `password` is `user`'s. Costs the same whatever the account
    // (Accounts.h); re-hashing a stale account adds one derivation.
    bool Login(const QString& user, const QString& password);
    // `user`'s principal as the accounts stand now: an account narrowed by a
    // reload loses what it lost on the calls that follow; one removed has
    // none (nothing).
    std::optional<TPrincipal> Principal(const QString& user) const;
    // Reads the file again. False, with the accounts unchanged, when it does
    // not load; `message` says what happened either way (Portuguese).
    bool Reload(QString& message);
    std::shared_ptr<const TAccounts> Current() const;

private:
    TAccountService(QString fileName, TAccounts::TDerive derive);
    // The file's accounts, and its bytes in `bytes`; nothing with `error` set.
    std::shared_ptr<const TAccounts> Load(QByteArray& bytes, QString& error) const;
    void Rehash(const TAccount& stale, const QString& password);

    const QString fileName_;
    const TAccounts::TDerive derive_;
    mutable QMutex mutex_;
    std::shared_ptr<const TAccounts> accounts_;
    QByteArray bytes_;  // the file as last read or written
};
