#include "ServerSite.h"

#include "AppServerProcess.h"

#include <QFile>
#include <QProcess>
#include <stdexcept>

TServerSite::TServerSite()
{
    MakeCertificate(Certificate(), Key());
    for (const QString& name : {QStringLiteral("maria"), QStringLiteral("joao")}) {
        QString output;
        if (AddUser(Accounts(), name, Password, &output) != 0)
            throw std::runtime_error("appserver --add-user failed: " + output.toStdString());
    }
}

void TServerSite::MakeCertificate(const QString& certificate, const QString& key)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        throw std::runtime_error("openssl req failed: " + openssl.errorString().toStdString() + ' '
                                 + openssl.readAll().toStdString());
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
}

QStringList TServerSite::ServerArguments() const
{
    return {QStringLiteral("--tls-cert"), Certificate(), QStringLiteral("--tls-key"), Key(), QStringLiteral("--accounts"),
            Accounts()};
}

int TServerSite::AddUser(const QString& accounts, const QString& name, const QString& password, QString* output,
                         const QString& branches)
{
    QStringList arguments = {QStringLiteral("--add-user"), name, QStringLiteral("--accounts"), accounts};
    if (!branches.isEmpty())
        arguments += {QStringLiteral("--branches"), branches};
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TAppServerProcess::Executable(), arguments);
    process.write((password + u'\n').toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
