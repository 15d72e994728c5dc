#include "Accounts.h"

#include <QFile>
#include <QFileInfo>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QByteArray algorithm = QByteArrayLiteral("pbkdf2-sha256");
constexpr int SaltBytes = 16;
constexpr int KeyBytes = 32;
constexpr int MinIterations = 1000;
constexpr int MaxIterations = 10000000;

bool ValidName(const QString& name)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9._@-]{1,64}$"));
    return form.match(name).hasMatch();
}

QByteArray Derive(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              KeyBytes);
}

// Compares every byte whatever the first difference, so the time taken says
// nothing of how much of a key matched.
bool SameKey(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

QByteArray Base64(const QByteArray& text, qsizetype bytes)
{
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == bytes ? decoded.decoded : QByteArray();
}

// What is wrong with one line of the file, or "" when it is an account (or
// nothing); `name` and `account` receive it.
using TAccount = TAccounts::TAccount;

QString ParseLine(const QByteArray& raw, QString& name, std::optional<TAccount>& account)
{
    const QByteArray line = raw.trimmed();
    account.reset();
    if (line.isEmpty() || line.startsWith('#'))
        return QString();
    const QList<QByteArray> items = line.split(':');
    if (items.size() != 5)
        return QStringLiteral("esperava-se NOME:pbkdf2-sha256:ITERAÇÕES:SAL:CHAVE");
    name = QString::fromUtf8(items[0]);
    if (!ValidName(name))
        return QStringLiteral("nome de usuário inválido (de 1 a 64 letras sem acento, dígitos, '.', '_', '@' ou '-')");
    if (items[1] != algorithm)
        return QStringLiteral("algoritmo desconhecido (só pbkdf2-sha256)");
    bool ok = false;
    const int iterations = items[2].toInt(&ok);
    if (!ok || iterations < MinIterations || iterations > MaxIterations)
        return QStringLiteral("número de iterações inválido (de %1 a %2)").arg(MinIterations).arg(MaxIterations);
    TAccount parsed{iterations, Base64(items[3], SaltBytes), Base64(items[4], KeyBytes)};
    if (parsed.Salt.isEmpty())
        return QStringLiteral("sal inválido (%1 bytes em base64)").arg(SaltBytes);
    if (parsed.Key.isEmpty())
        return QStringLiteral("chave inválida (%1 bytes em base64)").arg(KeyBytes);
    account = parsed;
    return QString();
}

QString LineError(const QString& fileName, int number, const QString& what)
{
    return QStringLiteral("Arquivo de contas %1, linha %2: %3.").arg(fileName).arg(number).arg(what);
}

} // namespace

std::optional<TAccounts> TAccounts::Load(const QString& fileName, QString& error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler o arquivo de contas %1: %2.").arg(fileName, file.errorString());
        return std::nullopt;
    }
    // Whoever may change the file may give himself an account.
    if (file.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther)) {
        error = QStringLiteral("O arquivo de contas %1 pode ser alterado por outros usuários; deixe-o só para o seu "
                               "dono (chmod 600 %1).")
                    .arg(fileName);
        return std::nullopt;
    }
    TAccounts accounts;
    int number = 0;
    // An accounts file is a few lines; a line longer than this is no account.
    constexpr qint64 maxLine = 1024;
    while (!file.atEnd()) {
        ++number;
        const QByteArray line = file.readLine(maxLine);
        if (line.size() >= maxLine - 1 && !line.endsWith('\n')) {
            error = LineError(fileName, number, QStringLiteral("linha longa demais"));
            return std::nullopt;
        }
        QString name;
        std::optional<TAccount> account;
        const QString wrong = ParseLine(line, name, account);
        if (!wrong.isEmpty()) {
            error = LineError(fileName, number, wrong);
            return std::nullopt;
        }
        if (!account)
            continue;
        if (accounts.accounts_.contains(name)) {
            error = LineError(fileName, number, QStringLiteral("usuário %1 repetido").arg(name));
            return std::nullopt;
        }
        accounts.accounts_.insert(name, *account);
    }
    if (accounts.accounts_.isEmpty()) {
        error = QStringLiteral("O arquivo de contas %1 não tem nenhum usuário; acrescente um com "
                               "appserver --add-user NOME --accounts %1.")
                    .arg(fileName);
        return std::nullopt;
    }
    return accounts;
}

bool TAccounts::Check(const QString& user, const QString& password) const
{
    // An unknown name is checked against a key no password gives.
    static const TAccount nobody{Iterations, QByteArray(SaltBytes, '\0'), QByteArray()};
    const auto it = accounts_.constFind(user);
    const TAccount& account = it == accounts_.constEnd() ? nobody : it.value();
    return SameKey(Derive(password, account.Salt, account.Iterations), account.Key) && !account.Key.isEmpty();
}

bool TAccounts::AddUser(const QString& fileName, const QString& user, const QString& password, QString& error)
{
    if (!ValidName(user)) {
        error = QStringLiteral("Nome de usuário inválido: '%1' (de 1 a 64 letras sem acento, dígitos, '.', '_', '@' ou '-').")
                    .arg(user.left(100));
        return false;
    }
    if (password.size() < MinPasswordLength) {
        error = QStringLiteral("A senha deve ter pelo menos %1 caracteres.").arg(MinPasswordLength);
        return false;
    }
    QList<QByteArray> lines;
    const bool exists = QFileInfo::exists(fileName);
    if (exists) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Não foi possível ler o arquivo de contas %1: %2.").arg(fileName, file.errorString());
            return false;
        }
        lines = file.readAll().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QString name;
            std::optional<TAccount> account;
            if (const QString wrong = ParseLine(lines[i], name, account); !wrong.isEmpty()) {
                error = LineError(fileName, int(i + 1), wrong);
                return false;
            }
        }
    }

    QByteArray salt(SaltBytes, '\0');
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    const QByteArray entry = user.toUtf8() + ':' + algorithm + ':' + QByteArray::number(Iterations) + ':'
                             + salt.toBase64() + ':' + Derive(password, salt, Iterations).toBase64();
    bool replaced = false;
    for (QByteArray& line : lines) {
        QString name;
        std::optional<TAccount> account;
        ParseLine(line, name, account);
        if (account && name == user) {
            line = entry;
            replaced = true;
        }
    }
    if (!replaced)
        lines.append(entry);

    QSaveFile file(fileName);
    // A new file is its owner's alone; an existing one keeps its permissions.
    if (!file.open(QIODevice::WriteOnly)
        || (!exists && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))) {
        error = QStringLiteral("Não foi possível gravar o arquivo de contas %1: %2.").arg(fileName, file.errorString());
        return false;
    }
    for (const QByteArray& line : std::as_const(lines))
        file.write(line + '\n');
    if (!file.commit()) {
        error = QStringLiteral("Não foi possível gravar o arquivo de contas %1: %2.").arg(fileName, file.errorString());
        return false;
    }
    return true;
}
