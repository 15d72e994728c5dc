#pragma once
// The server's user accounts: a text file, one account a line,
//
//   NAME:pbkdf2-sha256:ITERATIONS:SALT:KEY
//
// where SALT (16 random bytes, one per account) and KEY (32 bytes) are in
// base64, and KEY is PBKDF2-HMAC-SHA256 of the password (UTF-8) with that
// salt and iteration count. Blank lines and lines starting with '#' are
// skipped. A name is 1 to 64 of the characters A-Z a-z 0-9 . _ @ - and
// appears once. New accounts get Iterations (about 0.2 s of one core per
// check, so guessing is slow); an account keeps the count it was made with.
//
// The file is outside input: Load refuses it whole, with a Portuguese
// message naming the file and the line, when any line is not of that form;
// and it refuses a file that others than its owner may change.
// The passwords themselves are never stored nor logged.
//
// A TAccounts is read-only once loaded, so Check may run on any thread.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

class TAccounts {
public:
    static constexpr int Iterations = 200000;
    static constexpr int MinPasswordLength = 8;

    // The accounts of `fileName`, or nothing with `error` set.
    static std::optional<TAccounts> Load(const QString& fileName, QString& error);

    // True when `user` exists and `password` is its password. An unknown
    // user costs as much time as a known one, so the time taken does not
    // tell which names exist.
    bool Check(const QString& user, const QString& password) const;
    qsizetype Size() const { return accounts_.size(); }

    // Adds `user` with `password` to `fileName` (created, readable by its
    // owner only, when missing), or replaces that user's password; the other
    // lines are kept as they are. False with `error` set (Portuguese) for a
    // bad name, a password shorter than MinPasswordLength, a file that is
    // not a valid accounts file, or one that cannot be written.
    static bool AddUser(const QString& fileName, const QString& user, const QString& password, QString& error);

    struct TAccount {
        int Iterations = 0;
        QByteArray Salt;
        QByteArray Key;
    };

private:
    QHash<QString, TAccount> accounts_;
};
