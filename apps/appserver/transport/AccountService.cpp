#include "AccountService.h"

#include "PrivateFile.h"
#include "ServerLog.h"

#include <QMutexLocker>

namespace {

const QString what = QStringLiteral("o arquivo de contas");

} // namespace

TAccountService::TAccountService(QString fileName, TAccounts::TDerive derive)
    : fileName_(std::move(fileName))
    , derive_(std::move(derive))
{
}

std::shared_ptr<TAccountService> TAccountService::Open(const QString& fileName, QString& error,
                                                       TAccounts::TDerive derive)
{
    std::shared_ptr<TAccountService> service(new TAccountService(fileName, std::move(derive)));
    service->accounts_ = service->Load(service->bytes_, error);
    if (!service->accounts_)
        return nullptr;
    return service;
}

std::shared_ptr<const TAccounts> TAccountService::Load(QByteArray& bytes, QString& error) const
{
    const auto read = ReadPrivateFile(fileName_, what, TAccountsFile::MaxBytes, error);
    if (!read)
        return nullptr;
    const auto file = TAccountsFile::Parse(fileName_, *read, error);
    if (!file)
        return nullptr;
    if (file->Accounts().isEmpty()) {
        error = QStringLiteral("O arquivo de contas %1 não tem nenhum usuário; acrescente um com "
                               "appserver --add-user NOME --branches FILIAIS --accounts %1.")
                    .arg(fileName_);
        return nullptr;
    }
    bytes = *read;
    return std::make_shared<const TAccounts>(*file, derive_);
}

std::shared_ptr<const TAccounts> TAccountService::Current() const
{
    QMutexLocker lock(&mutex_);
    return accounts_;
}

bool TAccountService::Login(const QString& user, const QString& password)
{
    const std::shared_ptr<const TAccounts> accounts = Current();
    const TAccounts::TCheck check = accounts->Check(user, password);
    if (check.Stale)
        Rehash(*accounts->Find(user), password);
    return check.Right;
}

void TAccountService::Rehash(const TAccount& stale, const QString& password)
{
    const TAccount renewed = TAccounts::Hashed(stale.Name, password, stale.Branches, derive_);
    QMutexLocker lock(&mutex_);
    // A reload since the check may have changed or removed the account.
    const TAccount* current = accounts_->Find(stale.Name);
    if (!current || current->Key != stale.Key)
        return;
    accounts_ = std::make_shared<const TAccounts>(accounts_->With(renewed));
    const QString renewing = QStringLiteral("a senha de %1 (%2 iterações) passa a %3 iterações")
                                 .arg(stale.Name)
                                 .arg(stale.Rounds)
                                 .arg(TAccounts::Rounds);
    QString error;
    const auto read = ReadPrivateFile(fileName_, what, TAccountsFile::MaxBytes, error);
    if (read && *read != bytes_) {
        LogLine(QStringLiteral("contas: %1 só na memória: o arquivo %2 mudou desde a última leitura e não foi "
                               "regravado (releia-o com SIGHUP)")
                    .arg(renewing, fileName_));
        return;
    }
    auto file = read ? TAccountsFile::Parse(fileName_, *read, error) : std::nullopt;
    if (file)
        file->Put(renewed);
    if (!file || !file->Write(error)) {
        LogLine(QStringLiteral("contas: %1 só na memória: %2").arg(renewing, error));
        return;
    }
    bytes_ = file->Bytes();
    LogLine(QStringLiteral("contas: %1 no arquivo %2").arg(renewing, fileName_));
}

std::optional<TPrincipal> TAccountService::Principal(const QString& user) const
{
    const std::shared_ptr<const TAccounts> accounts = Current();
    if (!accounts->Find(user))
        return std::nullopt;
    return accounts->Principal(user);
}

bool TAccountService::Reload(QString& message)
{
    QByteArray bytes;
    QString error;
    const auto loaded = Load(bytes, error);
    QMutexLocker lock(&mutex_);
    if (!loaded) {
        message = QStringLiteral("as contas não foram relidas e continuam as de antes: %1").arg(error);
        return false;
    }
    accounts_ = loaded;
    bytes_ = bytes;
    message = QStringLiteral("contas relidas de %1: %2 usuário(s)").arg(fileName_).arg(loaded->Size());
    return true;
}
