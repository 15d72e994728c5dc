#include "PrivateFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString UserName(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// `what` ("o arquivo de contas") opens a sentence.
QString Sentence(const QString& what, const QString& rest)
{
    return what.left(1).toUpper() + what.mid(1) + u' ' + rest;
}

} // namespace

std::optional<QByteArray> ReadPrivateFile(const QString& fileName, const QString& what, qint64 maxBytes,
                                          QString& error, uid_t serverUser)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler %1 %2: %3.").arg(what, fileName, file.errorString());
        return std::nullopt;
    }
    struct stat status = {};
    if (::fstat(file.handle(), &status) != 0) {
        error = QStringLiteral("Não foi possível ler %1 %2: %3.")
                    .arg(what, fileName, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    if (status.st_uid != serverUser && status.st_uid != 0) {
        error = Sentence(what, QStringLiteral("%1 pertence ao usuário %2; deve pertencer ao usuário do servidor (%3) "
                                              "ou ao root: chown %3 %1.")
                                   .arg(fileName, UserName(status.st_uid), UserName(serverUser)));
        return std::nullopt;
    }
    if (status.st_mode & (S_IRWXG | S_IRWXO)) {
        error = Sentence(what, QStringLiteral("%1 tem permissões %2, que dão acesso a outros usuários além do dono; "
                                              "corrija com chmod 600 %1.")
                                   .arg(fileName, QString::number(status.st_mode & 07777, 8).rightJustified(4, u'0')));
        return std::nullopt;
    }
    if (file.size() > maxBytes) {
        error = Sentence(what, QStringLiteral("%1 é grande demais (mais de %2 bytes).").arg(fileName).arg(maxBytes));
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QByteArray> ReadPrivateFile(const QString& fileName, const QString& what, qint64 maxBytes,
                                          QString& error)
{
    return ReadPrivateFile(fileName, what, maxBytes, error, ::geteuid());
}
