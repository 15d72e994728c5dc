#include "AccountsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray algorithm = QByteArrayLiteral("pbkdf2-sha256");
// An account line is about 120 bytes and its branches a few more.
constexpr qsizetype MaxLine = 4096;

QByteArray Base64(const QByteArray& text, qsizetype bytes)
{
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == bytes ? decoded.decoded : QByteArray();
}

// What is wrong with one line, or "" when it is an account (then in
// `account`) or a comment.
QString ParseLine(const QByteArray& raw, std::optional<TAccount>& account)
{
    account.reset();
    if (raw.size() > MaxLine)
        return QStringLiteral("linha longa demais");
    const QByteArray line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#'))
        return QString();
    const QList<QByteArray> items = line.split(':');
    if (items.size() != 5 && items.size() != 6)
        return QStringLiteral("esperava-se NOME:pbkdf2-sha256:ITERAÇÕES:SAL:CHAVE:FILIAIS");
    TAccount parsed;
    parsed.Name = QString::fromUtf8(items[0]);
    if (!TAccountsFile::ValidName(parsed.Name))
        return QStringLiteral("nome de usuário inválido (de 1 a 64 letras sem acento, dígitos, '.', '_', '@' ou '-')");
    if (items[1] != algorithm)
        return QStringLiteral("algoritmo desconhecido (só pbkdf2-sha256)");
    bool ok = false;
    parsed.Rounds = items[2].toInt(&ok);
    if (!ok || parsed.Rounds < TAccountsFile::MinRounds || parsed.Rounds > TAccountsFile::MaxRounds)
        return QStringLiteral("número de iterações inválido (de %1 a %2)")
            .arg(TAccountsFile::MinRounds)
            .arg(TAccountsFile::MaxRounds);
    parsed.Salt = Base64(items[3], TAccountsFile::SaltBytes);
    if (parsed.Salt.isEmpty())
        return QStringLiteral("sal inválido (%1 bytes em base64)").arg(TAccountsFile::SaltBytes);
    parsed.Key = Base64(items[4], TAccountsFile::KeyBytes);
    if (parsed.Key.isEmpty())
        return QStringLiteral("chave inválida (%1 bytes em base64)").arg(TAccountsFile::KeyBytes);
    if (items.size() == 6) {
        QString error;
        const auto branches = TBranches::Parse(QString::fromUtf8(items[5]), error);
        if (!branches)
            return error;
        parsed.Branches = *branches;
    }
    account = parsed;
    return QString();
}

QByteArray Line(const TAccount& account)
{
    return account.Name.toUtf8() + ':' + algorithm + ':' + QByteArray::number(account.Rounds) + ':'
           + account.Salt.toBase64() + ':' + account.Key.toBase64() + ':' + account.Branches.Text().toUtf8();
}

QString WriteError(const QString& fileName, const QString& why)
{
    return QStringLiteral("Não foi possível gravar o arquivo de contas %1: %2.").arg(fileName, why);
}

} // namespace

bool TAccountsFile::ValidName(const QString& name)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9._@-]{1,64}$"));
    return form.match(name).hasMatch();
}

std::optional<TAccountsFile> TAccountsFile::Parse(const QString& fileName, const QByteArray& bytes, QString& error)
{
    TAccountsFile file;
    file.fileName_ = fileName;
    file.lines_ = bytes.split('\n');
    if (file.lines_.last().isEmpty())
        file.lines_.removeLast();
    for (qsizetype i = 0; i < file.lines_.size(); ++i) {
        std::optional<TAccount> account;
        QString wrong = ParseLine(file.lines_[i], account);
        if (wrong.isEmpty() && account && file.Find(account->Name))
            wrong = QStringLiteral("usuário %1 repetido").arg(account->Name);
        if (!wrong.isEmpty()) {
            error = QStringLiteral("Arquivo de contas %1, linha %2: %3.").arg(fileName).arg(i + 1).arg(wrong);
            return std::nullopt;
        }
        if (account) {
            file.accounts_.append(*account);
            file.lineOf_.append(i);
        }
    }
    return file;
}

std::optional<TAccountsFile> TAccountsFile::Read(const QString& fileName, bool mayBeMissing, QString& error)
{
    if (mayBeMissing && !QFileInfo::exists(fileName))
        return Parse(fileName, QByteArray(), error);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler o arquivo de contas %1: %2.").arg(fileName, file.errorString());
        return std::nullopt;
    }
    if (file.size() > MaxBytes) {
        error = QStringLiteral("O arquivo de contas %1 é grande demais (mais de %2 bytes).").arg(fileName).arg(MaxBytes);
        return std::nullopt;
    }
    return Parse(fileName, file.readAll(), error);
}

const TAccount* TAccountsFile::Find(const QString& name) const
{
    for (const TAccount& account : accounts_)
        if (account.Name == name)
            return &account;
    return nullptr;
}

void TAccountsFile::Put(const TAccount& account)
{
    for (qsizetype i = 0; i < accounts_.size(); ++i) {
        if (accounts_[i].Name == account.Name) {
            accounts_[i] = account;
            lines_[lineOf_[i]] = Line(account);
            return;
        }
    }
    accounts_.append(account);
    lineOf_.append(lines_.size());
    lines_.append(Line(account));
}

QByteArray TAccountsFile::Bytes() const
{
    QByteArray bytes;
    for (const QByteArray& line : lines_)
        bytes += line + '\n';
    return bytes;
}

bool TAccountsFile::Write(QString& error) const
{
    struct stat before = {};
    const bool exists = ::stat(QFile::encodeName(fileName_).constData(), &before) == 0;
    QSaveFile file(fileName_);
    // QSaveFile gives the new file the old one's permissions; its owner is
    // whoever writes, so root (an administrator's command) hands it back.
    if (!file.open(QIODevice::WriteOnly)
        || (!exists && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))) {
        error = WriteError(fileName_, file.errorString());
        return false;
    }
    if (exists && ::geteuid() == 0 && ::fchown(file.handle(), before.st_uid, before.st_gid) != 0) {
        file.cancelWriting();
        error = WriteError(fileName_, QStringLiteral("não foi possível manter o dono do arquivo"));
        return false;
    }
    file.write(Bytes());
    if (!file.commit()) {
        error = WriteError(fileName_, file.errorString());
        return false;
    }
    return true;
}
