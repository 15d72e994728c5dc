#include "AccountAdmin.h"

#include "Accounts.h"
#include "AccountsFile.h"

bool AddUser(const QString& fileName, const QString& user, const QString& password,
             const std::optional<TBranches>& branches, QString& error)
{
    if (!TAccountsFile::ValidName(user)) {
        error = QStringLiteral("Nome de usuário inválido: '%1' (de 1 a 64 letras sem acento, dígitos, '.', '_', '@' ou '-').")
                    .arg(user.left(100));
        return false;
    }
    if (password.size() < TAccounts::MinPasswordLength) {
        error = QStringLiteral("A senha deve ter pelo menos %1 caracteres.").arg(TAccounts::MinPasswordLength);
        return false;
    }
    auto file = TAccountsFile::Read(fileName, true, error);
    if (!file)
        return false;
    const TAccount* existing = file->Find(user);
    if (!existing && !branches) {
        error = QStringLiteral("Informe as filiais em que %1 pode trabalhar: --branches 0001,0003 (ou --branches '*' "
                               "para todas).")
                    .arg(user);
        return false;
    }
    file->Put(TAccounts::Hashed(user, password, branches ? *branches : existing->Branches));
    return file->Write(error);
}

bool SetBranches(const QString& fileName, const QString& user, const TBranches& branches, QString& error)
{
    auto file = TAccountsFile::Read(fileName, false, error);
    if (!file)
        return false;
    const TAccount* existing = file->Find(user);
    if (!existing) {
        error = QStringLiteral("O arquivo de contas %1 não tem o usuário %2.").arg(fileName, user.left(100));
        return false;
    }
    TAccount changed = *existing;
    changed.Branches = branches;
    file->Put(changed);
    return file->Write(error);
}

std::optional<QStringList> ListUsers(const QString& fileName, QString& error)
{
    const auto file = TAccountsFile::Read(fileName, false, error);
    if (!file)
        return std::nullopt;
    QStringList lines;
    for (const TAccount& account : file->Accounts())
        lines.append(account.Name + u' '
                     + (account.Branches.IsAll() ? QStringLiteral("todas") : account.Branches.Text()));
    return lines;
}
