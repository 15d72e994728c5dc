#pragma once
// The accounts file: a text file, one account a line,
//
//   NAME:pbkdf2-sha256:ROUNDS:SALT:KEY:BRANCHES
//
// where SALT (16 random bytes, one per account) and KEY (32 bytes) are in
// base64, KEY is PBKDF2-HMAC-SHA256 of the password (UTF-8) with that salt
// and ROUNDS iterations (MinRounds to MaxRounds), and BRANCHES is "*" (every
// branch) or the codes of the branches the user may work on ("0001,0003").
// A line of the first five fields alone, the form written before accounts
// had branches, stands for an account of every branch: a site keeps working
// as it did until it narrows its users (appserver --set-branches). Blank
// lines and lines starting with '#' are comments. A name is 1 to 64 of the
// characters A-Z a-z 0-9 . _ @ - and appears once.
//
// The file is outside input: Parse refuses it whole, with a Portuguese
// message naming the file and the line, when any line is not of that form.
// Editing (Put, Write) keeps every other line, comments included, as it is.
#include "Principal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct TAccount {
    QString Name;
    int Rounds = 0;
    QByteArray Salt;  // SaltBytes
    QByteArray Key;   // KeyBytes
    TBranches Branches = TBranches::All();
};

class TAccountsFile {
public:
    static constexpr int SaltBytes = 16;
    static constexpr int KeyBytes = 32;
    static constexpr int MinRounds = 1000;
    // Every check pays the file's highest count (Accounts.h), so one line
    // sets the cost of every login: at most this, a few times the default.
    static constexpr int MaxRounds = 2000000;
    // An accounts file is a few kilobytes; one beyond this is no such file.
    static constexpr qint64 MaxBytes = 16 << 20;

    static bool ValidName(const QString& name);

    // `bytes` as the contents of `fileName` (named in messages), or nothing
    // with `error` set.
    static std::optional<TAccountsFile> Parse(const QString& fileName, const QByteArray& bytes, QString& error);
    // Reads and parses `fileName`. A file that does not exist is read as an
    // empty one when `mayBeMissing`, else refused.
    static std::optional<TAccountsFile> Read(const QString& fileName, bool mayBeMissing, QString& error);

    const QString& FileName() const { return fileName_; }
    // The accounts in the order of their lines.
    const QList<TAccount>& Accounts() const { return accounts_; }
    const TAccount* Find(const QString& name) const;
    // Replaces the line of the account of that name, or appends one.
    void Put(const TAccount& account);
    // The file's contents as Write writes them: every line and a newline.
    QByteArray Bytes() const;
    // Writes Bytes() at once (a reader sees the old file or the new one,
    // whole), keeping the file's permissions and, when run as root, its owner;
    // a new file is readable and writable by its owner only. False with
    // `error` set.
    bool Write(QString& error) const;

private:
    QString fileName_;
    QList<QByteArray> lines_;     // without their newlines
    QList<TAccount> accounts_;
    QList<qsizetype> lineOf_;     // accounts_[i] is lines_[lineOf_[i]]
};
