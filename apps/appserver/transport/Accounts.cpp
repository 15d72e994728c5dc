#include "Accounts.h"

#include <QRandomGenerator>
#include <algorithm>
#include <openssl/evp.h>

namespace {

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

// What a check derives beyond the account's own rounds, or an unknown name
// derives in all: a key that is never compared.
const QByteArray paddingSalt(TAccountsFile::SaltBytes, '\0');

} // namespace

// OpenSSL's derivation keeps the HMAC's inner and outer states across the
// rounds, about three times as fast as one keyed from scratch each round:
// the same cost to a guesser offline, a third of the server's time per login.
QByteArray TAccounts::Pbkdf2(const QByteArray& password, const QByteArray& salt, int rounds)
{
    QByteArray key(TAccountsFile::KeyBytes, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), reinterpret_cast<const unsigned char*>(salt.constData()),
                          int(salt.size()), rounds, EVP_sha256(), int(key.size()),
                          reinterpret_cast<unsigned char*>(key.data()))
        != 1)
        return QByteArray();  // never equal to a stored key
    return key;
}

TAccounts::TAccounts(const TAccountsFile& file, TDerive derive) : derive_(std::move(derive))
{
    for (const TAccount& account : file.Accounts()) {
        accounts_.insert(account.Name, account);
        checkRounds_ = std::max(checkRounds_, account.Rounds);
    }
}

TAccounts::TCheck TAccounts::Check(const QString& user, const QString& password) const
{
    const QByteArray secret = password.toUtf8();
    const TAccount* account = Find(user);
    const int own = account ? account->Rounds : 0;
    bool right = false;
    if (account)
        right = SameKey(derive_(secret, account->Salt, own), account->Key);
    if (own < checkRounds_)
        derive_(secret, paddingSalt, checkRounds_ - own);
    return TCheck{right, right && own != Rounds};
}

const TAccount* TAccounts::Find(const QString& user) const
{
    const auto it = accounts_.constFind(user);
    return it == accounts_.constEnd() ? nullptr : &it.value();
}

TPrincipal TAccounts::Principal(const QString& user) const
{
    const TAccount* account = Find(user);
    return TPrincipal{user, account ? account->Branches : TBranches::None()};
}

TAccount TAccounts::Hashed(const QString& name, const QString& password, const TBranches& branches,
                           const TDerive& derive)
{
    QByteArray salt(TAccountsFile::SaltBytes, '\0');
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    return TAccount{name, Rounds, salt, derive(password.toUtf8(), salt, Rounds), branches};
}

TAccounts TAccounts::With(const TAccount& account) const
{
    TAccounts accounts = *this;
    accounts.accounts_.insert(account.Name, account);
    accounts.checkRounds_ = Rounds;
    for (const TAccount& each : std::as_const(accounts.accounts_))
        accounts.checkRounds_ = std::max(accounts.checkRounds_, each.Rounds);
    return accounts;
}
