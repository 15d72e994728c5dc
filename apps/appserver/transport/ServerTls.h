#pragma once
// The server's side of TLS: its certificate (PEM; the site's own, or one a
// certificate authority signed, followed by any intermediate certificates)
// and its private key (PEM, RSA or EC, not protected by a passphrase).
// Clients need not present certificates; TLS 1.2 or later.
#include <QSslConfiguration>
#include <QString>
#include <optional>

// The configuration, or nothing with `error` set (Portuguese) when TLS is
// not available, a file is missing, unreadable or not of that form, the key
// is not the certificate's, or it is not private to the server's user
// (PrivateFile.h).
std::optional<QSslConfiguration> LoadServerTls(const QString& certificateFile, const QString& keyFile, QString& error);
