#pragma once
// A site's security made at test time, as docs/appserver.md sets one up: a
// self-signed certificate for 127.0.0.1 (the openssl command line) with its
// key (its owner's only), and an accounts file with the users "maria" and
// "joao", both with Password and every branch. ServerArguments() makes a TAppServerProcess serve with TLS and
// these accounts (TSiteServer: a site and its server, demo data at scale 1);
// the certificate is the authority a station trusts.
//
// Failures (openssl or appserver --add-user failing) raise
// std::runtime_error with their output.
#include "AppServerProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TServerSite {
public:
    static inline const QString Password = QStringLiteral("conferencia-2026");

    TServerSite();
    QString Certificate() const { return File(QStringLiteral("server.crt")); }
    QString Key() const { return File(QStringLiteral("server.key")); }
    QString Accounts() const { return File(QStringLiteral("accounts")); }
    QString File(const QString& name) const { return dir_.filePath(name); }
    QString Folder() const { return dir_.path(); }
    QStringList ServerArguments() const;

    // Writes a new self-signed certificate for 127.0.0.1 and its key (RSA,
    // its owner's only) over `certificate` and `key`.
    static void MakeCertificate(const QString& certificate, const QString& key);

    // Runs `appserver --add-user NAME --branches BRANCHES --accounts FILE`
    // with `password` on stdin (no --branches when `branches` is empty); its
    // exit code, with its output in `output`.
    static int AddUser(const QString& accounts, const QString& name, const QString& password, QString* output = nullptr,
                       const QString& branches = QStringLiteral("*"));

private:
    QTemporaryDir dir_;
};

struct TSiteServer {
    TServerSite Site;
    TAppServerProcess Server{TAppServerProcess::TOptions{1, true, 4, Site.ServerArguments(), QString()}};
};
