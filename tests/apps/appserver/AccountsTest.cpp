// The accounts in process: the branch lists and the file's lines, the equal
// cost of every password check (counted in derivation rounds, never timed),
// the re-hashing of a stale account and the reload of the file, and the
// checks of a private file's mode and owner.
#include "transport/AccountAdmin.h"
#include "transport/AccountService.h"
#include "transport/PrivateFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QPasswordDigestor>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <atomic>
#include <unistd.h>

namespace {

struct TBranchCase {
    const char* name;
    const char* text;
    const char* written;  // nullptr: refused
};

class BranchList : public ::testing::TestWithParam<TBranchCase> {};

TEST_P(BranchList, IsReadAndWrittenInOneForm)
{
    QString error;
    const auto branches = TBranches::Parse(QString::fromUtf8(GetParam().text), error);
    if (!GetParam().written) {
        EXPECT_FALSE(branches.has_value());
        EXPECT_TRUE(error.startsWith(QStringLiteral("lista de filiais inválida"))) << error.toStdString();
        return;
    }
    ASSERT_TRUE(branches.has_value()) << error.toStdString();
    EXPECT_EQ(branches->Text(), QString::fromUtf8(GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BranchList,
    ::testing::Values(TBranchCase{"all", "*", "*"}, TBranchCase{"one", "0003", "0003"},
                      TBranchCase{"sortedOnce", "0003,0001, 0003 ", "0001,0003"}, TBranchCase{"empty", "", nullptr},
                      TBranchCase{"trailingComma", "0001,", nullptr}, TBranchCase{"short", "1", nullptr},
                      TBranchCase{"letters", "00a1", nullptr}, TBranchCase{"semicolon", "0001;0002", nullptr},
                      TBranchCase{"allAmongCodes", "0001,*", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BranchList, AllowsExactlyItsCodes)
{
    QString error;
    const TBranches some = *TBranches::Parse(QStringLiteral("0001,0003"), error);
    EXPECT_TRUE(some.Contains(QStringLiteral("0003")));
    EXPECT_FALSE(some.Contains(QStringLiteral("0002")));
    EXPECT_FALSE(some.Contains(QStringLiteral("3"))) << "a code is compared exactly";
    EXPECT_FALSE(some.Contains(QStringLiteral("0001 ")));
    EXPECT_TRUE(TBranches::All().Contains(QStringLiteral("9999")));
    EXPECT_FALSE(TBranches::None().Contains(QStringLiteral("0001")));
}

// A derivation that counts its rounds: a hash of what a key depends on,
// so that the counts, not the hours of real PBKDF2, are what a test pays.
struct TCountingDerive {
    std::shared_ptr<std::atomic<qint64>> rounds = std::make_shared<std::atomic<qint64>>(0);
    QByteArray operator()(const QByteArray& password, const QByteArray& salt, int count) const
    {
        *rounds += count;
        return QCryptographicHash::hash(password + '\0' + salt + QByteArray::number(count), QCryptographicHash::Sha256);
    }
};

// An account line of `rounds` iterations made with `derive`.
QByteArray AccountLine(const QString& name, const QString& password, int rounds, const TAccounts::TDerive& derive,
                       const char* branches = nullptr)
{
    const QByteArray salt = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5);
    QByteArray line = name.toUtf8() + ":pbkdf2-sha256:" + QByteArray::number(rounds) + ':' + salt.toBase64() + ':'
                      + derive(password.toUtf8(), salt, rounds).toBase64();
    if (branches)
        line += ':' + QByteArray(branches);
    return line + '\n';
}

const QString secret = QStringLiteral("senha-certa-1");
constexpr auto owner = QFile::ReadOwner | QFile::WriteOwner;

// Writes `text` as the whole of `path`, with `permissions`.
bool WriteFile(const QString& path, const QByteArray& text, QFile::Permissions permissions = owner)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()
           && file.setPermissions(permissions);
}

struct TCostCase {
    const char* name;
    const char* user;
    const char* password;
    bool right;
};

class CheckCost : public ::testing::TestWithParam<TCostCase> {};

// Whatever the account and however it was hashed, a check derives the same
// rounds: the most the file asks for, at least the default.
TEST_P(CheckCost, IsTheSameForEveryNameAndPassword)
{
    TCountingDerive derive;
    QString error;
    const auto file = TAccountsFile::Parse(
        QStringLiteral("contas"),
        AccountLine(QStringLiteral("velho"), secret, 1000, derive) + AccountLine(QStringLiteral("novo"), secret, TAccounts::Rounds, derive)
            + AccountLine(QStringLiteral("forte"), secret, 700000, derive),
        error);
    ASSERT_TRUE(file.has_value()) << error.toStdString();
    const TAccounts accounts(*file, derive);
    ASSERT_EQ(accounts.CheckRounds(), 700000);
    *derive.rounds = 0;
    const TAccounts::TCheck check = accounts.Check(QString::fromUtf8(GetParam().user), QString::fromUtf8(GetParam().password));
    EXPECT_EQ(check.Right, GetParam().right);
    EXPECT_EQ(derive.rounds->load(), 700000);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckCost,
    ::testing::Values(TCostCase{"unknownUser", "ninguem", "senha-certa-1", false},
                      TCostCase{"fewRoundsWrongPassword", "velho", "senha-errada", false},
                      TCostCase{"fewRoundsRightPassword", "velho", "senha-certa-1", true},
                      TCostCase{"defaultRoundsWrongPassword", "novo", "senha-errada", false},
                      TCostCase{"mostRoundsWrongPassword", "forte", "senha-errada", false},
                      TCostCase{"mostRoundsRightPassword", "forte", "senha-certa-1", true},
                      TCostCase{"emptyName", "", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckCost, IsTheDefaultWhenNoAccountAsksForMore)
{
    TCountingDerive derive;
    QString error;
    const auto file = TAccountsFile::Parse(QStringLiteral("contas"), AccountLine(QStringLiteral("velho"), secret, 1000, derive), error);
    const TAccounts accounts(*file, derive);
    *derive.rounds = 0;
    EXPECT_FALSE(accounts.Check(QStringLiteral("velho"), QStringLiteral("senha-errada")).Right);
    EXPECT_FALSE(accounts.Check(QStringLiteral("ninguem"), QStringLiteral("senha-errada")).Right);
    EXPECT_EQ(derive.rounds->load(), 2 * TAccounts::Rounds);
}

// The derivation is PBKDF2-HMAC-SHA256 as every file so far was written
// with: the published vectors, and Qt's own derivation for a salt and
// password of the file's sizes.
TEST(Pbkdf2, IsTheStandardDerivation)
{
    EXPECT_EQ(TAccounts::Pbkdf2("password", "salt", 1).toHex(),
              "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    EXPECT_EQ(TAccounts::Pbkdf2("password", "salt", 4096).toHex(),
              "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    const QByteArray salt = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    const QByteArray password = QStringLiteral("conferência-2026").toUtf8();
    EXPECT_EQ(TAccounts::Pbkdf2(password, salt, 1000),
              QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password, salt, 1000, 32));
}

// A file of the form before branches: its accounts work on every branch.
TEST(AccountsFile, LinesWithoutBranchesAreAccountsOfEveryBranch)
{
    TCountingDerive derive;
    QString error;
    const auto file = TAccountsFile::Parse(
        QStringLiteral("contas"),
        "# antes das filiais\n" + AccountLine(QStringLiteral("maria"), secret, 200000, derive)
            + AccountLine(QStringLiteral("ana"), secret, 200000, derive, "0003,0002"),
        error);
    ASSERT_TRUE(file.has_value()) << error.toStdString();
    const TAccounts accounts(*file, derive);
    EXPECT_TRUE(accounts.Principal(QStringLiteral("maria")).Branches.IsAll());
    EXPECT_EQ(accounts.Principal(QStringLiteral("ana")).Branches.Text(), QStringLiteral("0002,0003"));
    EXPECT_EQ(accounts.Principal(QStringLiteral("ninguem")).Branches, TBranches::None());

    EXPECT_FALSE(TAccountsFile::Parse(QStringLiteral("contas"),
                                      "# ok\n" + AccountLine(QStringLiteral("ana"), secret, 200000, derive, "0001;0002"),
                                      error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Arquivo de contas contas, linha 2: lista de filiais inválida")))
        << error.toStdString();
}

// A file of the server's, private to its owner, with `text`.
class AccountsOnDisk : public ::testing::Test {
protected:
    void Write(const QByteArray& text) const { ASSERT_TRUE(WriteFile(path, text)); }
    QByteArray Read() const
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
    std::shared_ptr<TAccountService> Open()
    {
        QString error;
        auto service = TAccountService::Open(path, error, derive);
        EXPECT_TRUE(service) << error.toStdString();
        return service;
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("accounts"));
    TCountingDerive derive;
    const QByteArray comment = "# contas da filial\n";
    const QByteArray other = AccountLine(QStringLiteral("joao"), secret, TAccounts::Rounds, derive, "0002");
};

// After a successful login a stale account is hashed again with the
// default rounds, in place of its line; every other line stays as it was.
TEST_F(AccountsOnDisk, StaleAccountIsRehashedInTheFileAtItsNextLogin)
{
    Write(comment + AccountLine(QStringLiteral("maria"), secret, 1000, derive, "0001,0003") + other);
    auto service = Open();
    ASSERT_TRUE(service);
    EXPECT_FALSE(service->Login(QStringLiteral("maria"), QStringLiteral("senha-errada")));
    EXPECT_EQ(Read(), comment + AccountLine(QStringLiteral("maria"), secret, 1000, derive, "0001,0003") + other)
        << "a wrong password changes nothing";

    ASSERT_TRUE(service->Login(QStringLiteral("maria"), secret));
    const QList<QByteArray> lines = Read().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0] + '\n', comment);
    EXPECT_TRUE(lines[1].startsWith("maria:pbkdf2-sha256:600000:")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(":0001,0003")) << lines[1].toStdString();
    EXPECT_EQ(lines[2] + '\n', other);
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    *derive.rounds = 0;
    EXPECT_TRUE(service->Login(QStringLiteral("maria"), secret));
    EXPECT_EQ(derive.rounds->load(), TAccounts::Rounds) << "hashed once: the next login only checks";
    QString error;
    EXPECT_TRUE(TAccountService::Open(path, error, derive)->Login(QStringLiteral("maria"), secret))
        << "the file's new line holds the same password";
}

// An administrator's edit since the file was read is never overwritten: the
// new key stays in memory only.
TEST_F(AccountsOnDisk, FileChangedUnderTheServerIsNotRewritten)
{
    Write(AccountLine(QStringLiteral("maria"), secret, 1000, derive) + other);
    auto service = Open();
    ASSERT_TRUE(service);
    const QByteArray edited = AccountLine(QStringLiteral("maria"), secret, 1000, derive) + other + comment;
    Write(edited);
    ASSERT_TRUE(service->Login(QStringLiteral("maria"), secret));
    EXPECT_EQ(Read(), edited);
    *derive.rounds = 0;
    EXPECT_TRUE(service->Login(QStringLiteral("maria"), secret));
    EXPECT_EQ(derive.rounds->load(), TAccounts::Rounds) << "not hashed again at each login";
}

// A reload takes the file as it is now, also for connections already in:
// their next call gets the principal the file gives. A file that no longer
// loads keeps the accounts as they were.
TEST_F(AccountsOnDisk, ReloadReplacesTheAccountsOrKeepsThemWhenTheFileIsBad)
{
    Write(AccountLine(QStringLiteral("maria"), secret, TAccounts::Rounds, derive, "*") + other);
    auto service = Open();
    ASSERT_TRUE(service);
    EXPECT_TRUE(service->Principal(QStringLiteral("maria"))->Branches.IsAll());

    QString error;
    ASSERT_TRUE(SetBranches(path, QStringLiteral("maria"), *TBranches::Parse(QStringLiteral("0002"), error), error))
        << error.toStdString();
    QString message;
    EXPECT_TRUE(service->Reload(message)) << message.toStdString();
    EXPECT_EQ(service->Principal(QStringLiteral("maria"))->Branches.Text(), QStringLiteral("0002"));
    EXPECT_TRUE(service->Login(QStringLiteral("maria"), secret)) << "the password did not change";

    Write(other + "maria:pbkdf2-sha256:quebrado\n");
    EXPECT_FALSE(service->Reload(message));
    EXPECT_TRUE(message.contains(QStringLiteral("continuam as de antes"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("linha 2"))) << message.toStdString();
    EXPECT_TRUE(service->Login(QStringLiteral("maria"), secret));

    Write(other);
    EXPECT_TRUE(service->Reload(message)) << message.toStdString();
    EXPECT_FALSE(service->Login(QStringLiteral("maria"), secret)) << "a removed account logs in no more";
    EXPECT_FALSE(service->Principal(QStringLiteral("maria"))) << "a removed account has no principal";
}

struct TModeCase {
    const char* name;
    QFile::Permissions permissions;
    bool accepted;
};

class PrivateFileMode : public ::testing::TestWithParam<TModeCase> {};

TEST_P(PrivateFileMode, GrantsNothingToGroupOrOthers)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("server.key"));
    ASSERT_TRUE(WriteFile(path, "chave", GetParam().permissions));
    QString error;
    const auto bytes = ReadPrivateFile(path, QStringLiteral("a chave privada"), 1024, error);
    EXPECT_EQ(bytes.has_value(), GetParam().accepted) << error.toStdString();
    if (!GetParam().accepted) {
        EXPECT_TRUE(error.startsWith(QStringLiteral("A chave privada %1 tem permissões 0").arg(path))) << error.toStdString();
        EXPECT_TRUE(error.endsWith(QStringLiteral("corrija com chmod 600 %1.").arg(path))) << error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrivateFileMode,
    ::testing::Values(TModeCase{"ownerOnly", owner, true}, TModeCase{"ownerReadOnly", QFile::ReadOwner, true},
                      TModeCase{"groupReads", owner | QFile::ReadGroup, false},
                      TModeCase{"groupWrites", owner | QFile::WriteGroup, false},
                      TModeCase{"groupExecutes", owner | QFile::ExeGroup, false},
                      TModeCase{"othersRead", owner | QFile::ReadOther, false},
                      TModeCase{"othersExecute", owner | QFile::ExeOther, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The owner must be the server's user or root. Run as root, the file is
// given to another user; run as another user, the server's user is said to
// be someone else.
TEST(PrivateFileOwner, MustBeTheServersUserOrRoot)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("accounts"));
    ASSERT_TRUE(WriteFile(path, "# nada\n"));
    QString error;
    const auto read = [&](uid_t server) {
        return ReadPrivateFile(path, QStringLiteral("o arquivo de contas"), 1024, error, server).has_value();
    };
    uid_t fileOwner = ::geteuid();
    if (fileOwner == 0) {
        EXPECT_TRUE(read(65534)) << "root's file serves any server: " << error.toStdString();
        fileOwner = 65534;
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), fileOwner, fileOwner), 0);
        EXPECT_FALSE(read(0)) << "another user's file is refused by a server run as root";
    }
    EXPECT_TRUE(read(fileOwner)) << error.toStdString();
    EXPECT_FALSE(read(fileOwner + 1));
    EXPECT_TRUE(error.startsWith(QStringLiteral("O arquivo de contas %1 pertence ao usuário ").arg(path)))
        << error.toStdString();
    EXPECT_TRUE(error.endsWith(QStringLiteral(" %1.").arg(path)) && error.contains(QStringLiteral("ou ao root: chown ")))
        << error.toStdString();
}

} // namespace
