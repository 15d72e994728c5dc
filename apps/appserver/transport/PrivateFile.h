#pragma once
// Reading a file the server trusts with a secret (its TLS key, its accounts):
// whoever may read it learns the secret, whoever may change it gives himself
// an account. Such a file must belong to the server's user or to root and
// grant no permission at all to its group or to others.
//
// The check is made on the opened file (fstat), so the bytes read are those
// of the file that was checked.
#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

// The contents of `fileName`, or nothing with `error` set (Portuguese, naming
// `what` and the file, and saying how to fix it: chmod 600, chown) when it
// cannot be read, is larger than `maxBytes`, or is not private as above.
// `serverUser` is the user the server runs as (the process's effective user;
// a test names another).
std::optional<QByteArray> ReadPrivateFile(const QString& fileName, const QString& what, qint64 maxBytes,
                                          QString& error, uid_t serverUser);
std::optional<QByteArray> ReadPrivateFile(const QString& fileName, const QString& what, qint64 maxBytes,
                                          QString& error);
