// The back-off of failed logins, by address and by user: doubling to a cap,
// a user's count cleared by that user's success and an address's only by a
// quiet spell, tables of bounded size; and the other pieces the transport
// keeps per address: the grouping of addresses, the rate of new connections
// and of pre-login log lines, and the caps lowered to the descriptor limit.
#include "transport/AddressGroup.h"
#include "transport/LoginThrottle.h"
#include "transport/RateLimit.h"
#include "transport/RpcServer.h"
#include "transport/ServerLog.h"

#include <gtest/gtest.h>

namespace {

using TLogin = TLoginThrottle::TLogin;
const QString station = QStringLiteral("192.0.2.10");
const QString other = QStringLiteral("192.0.2.11");
const TLogin maria{station, QStringLiteral("maria")};

TEST(LoginThrottle, DoublesUpToTheCap)
{
    TLoginThrottle throttle;
    std::vector<int> delays;
    for (int i = 0; i < 8; ++i)
        delays.push_back(throttle.Failed(maria, i));
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    EXPECT_EQ(throttle.Failed({other, QStringLiteral("joao")}, 9), TLoginThrottle::BaseDelayMs)
        << "another address and another user have counts of their own";
}

// A user guessed from many addresses, and many users guessed from one
// address, are slowed alike.
TEST(LoginThrottle, CountsByAddressAndByUser)
{
    TLoginThrottle throttle;
    for (int i = 0; i < 3; ++i)
        throttle.Failed({QStringLiteral("192.0.2.%1").arg(20 + i), QStringLiteral("maria")}, i);
    EXPECT_EQ(throttle.Failed({other, QStringLiteral("maria")}, 3), 8000) << "the user's fourth failure";
    TLoginThrottle spray;
    for (int i = 0; i < 3; ++i)
        spray.Failed({station, QStringLiteral("user%1").arg(i)}, i);
    EXPECT_EQ(spray.Failed({station, QStringLiteral("joao")}, 3), 8000) << "the address's fourth failure";
}

// A station's own success does not make its guesses at others' passwords
// cheap again; the user's success clears the user's count.
TEST(LoginThrottle, SuccessClearsTheUserNotTheAddress)
{
    TLoginThrottle throttle;
    const TLogin joao{station, QStringLiteral("joao")};
    throttle.Failed(joao, 0);
    throttle.Failed(joao, 1);
    throttle.Succeeded(maria);
    EXPECT_EQ(throttle.Failed(joao, 2), 4000);
    throttle.Succeeded(joao);
    EXPECT_EQ(throttle.Failed({other, QStringLiteral("joao")}, 3), TLoginThrottle::BaseDelayMs);
    EXPECT_EQ(throttle.Failed(joao, 4 + TLoginThrottle::ForgetAfterMs + 1), TLoginThrottle::BaseDelayMs)
        << "a quiet spell forgets the address";
}

// Logins sent at once from an address with failures are checked one per
// delay; one that would wait beyond the cap is refused and takes no slot.
TEST(LoginThrottle, ChecksParallelLoginsOnePerDelay)
{
    TLoginThrottle throttle;
    EXPECT_EQ(throttle.Admit(maria, 0), 0);
    throttle.Failed(maria, 0);
    EXPECT_EQ(throttle.Admit(maria, 1000), 0) << "a login sent after the answer";
    throttle.Failed(maria, 1000);  // two failures: 2 s apart
    std::vector<int> waits;
    for (int i = 0; i < 17; ++i)
        waits.push_back(throttle.Admit({station, QStringLiteral("u%1").arg(i)}, 1000));
    std::vector<int> expected;
    for (int i = 1; i <= 15; ++i)
        expected.push_back(2000 * i);
    expected.push_back(TLoginThrottle::MaxDelayMs + 1);
    expected.push_back(TLoginThrottle::MaxDelayMs + 1);
    EXPECT_EQ(waits, expected) << "whatever user each names";
    EXPECT_EQ(throttle.Admit({other, QStringLiteral("joao")}, 1000), 0);
    EXPECT_GT(throttle.Admit({other, QStringLiteral("maria")}, 1000), 0) << "the user's turn, from anywhere";
}

// A login that ends unchecked (its client hung up while it waited for its
// turn) gives its turn back, unless a later login booked the one after it.
TEST(LoginThrottle, AHangUpBeforeTheCheckGivesItsTurnBack)
{
    TLoginThrottle throttle;
    throttle.Failed(maria, 0);
    throttle.Failed(maria, 1);  // the next check 2 s apart, from 2001 on
    const TLogin stranger{other, QStringLiteral("maria")};
    for (int i = 0; i < 20; ++i) {
        const qint64 now = 10 + i;
        const int wait = throttle.Admit(stranger, now);
        ASSERT_EQ(wait, 2001 - now) << "hello " << i;
        throttle.GiveBack(stranger, now + wait);
    }
    EXPECT_EQ(throttle.Admit(stranger, 30), 1971) << "the user's own login, after twenty hang-ups";
    EXPECT_EQ(throttle.Admit(stranger, 31), 3970);
    throttle.GiveBack(stranger, 2001);
    EXPECT_EQ(throttle.Admit(stranger, 32), 5969) << "a turn with a later one booked is not given back";
}

TEST(LoginThrottle, TablesStayBoundedAndMadeUpNamesCannotPushAnAddressOut)
{
    TLoginThrottle throttle;
    throttle.Failed(maria, 0);
    throttle.Failed(maria, 1);
    for (int i = 0; i < int(TLoginThrottle::MaxEntries) * 2; ++i)
        throttle.Failed({station, QStringLiteral("nome%1").arg(i)}, 2);
    EXPECT_EQ(throttle.Size(), 1 + TLoginThrottle::MaxEntries);
    EXPECT_EQ(throttle.Failed({station, QStringLiteral("joao")}, 3), TLoginThrottle::MaxDelayMs)
        << "the address kept its count";
    for (quint32 i = 0; i < quint32(TLoginThrottle::MaxEntries) * 2; ++i)
        throttle.Failed({QHostAddress(0x0A000000u + i).toString(), QStringLiteral("maria")}, 10 + i);
    EXPECT_EQ(throttle.Failed({station, QStringLiteral("ana")}, 20000), TLoginThrottle::BaseDelayMs)
        << "the oldest address made room";
}

TEST(AddressGroup, IsTheAddressForIPv4AndTheNetworkFor_IPv6)
{
    EXPECT_EQ(AddressGroup(QHostAddress(QStringLiteral("192.0.2.7"))), QStringLiteral("192.0.2.7"));
    EXPECT_EQ(AddressGroup(QHostAddress(QStringLiteral("::ffff:192.0.2.7"))), QStringLiteral("192.0.2.7"));
    EXPECT_EQ(AddressGroup(QHostAddress(QStringLiteral("2001:db8:1:2:aaaa::1"))),
              AddressGroup(QHostAddress(QStringLiteral("2001:db8:1:2:ffff:1:2:3"))));
    EXPECT_NE(AddressGroup(QHostAddress(QStringLiteral("2001:db8:1:2::1"))),
              AddressGroup(QHostAddress(QStringLiteral("2001:db8:1:3::1"))));
}

TEST(RateLimit, BurstThenOneAnIntervalPerKey)
{
    TRateLimit rate(3, 100);
    std::vector<bool> taken;
    for (qint64 now : {0, 0, 0, 0, 50, 100, 100, 350})
        taken.push_back(rate.Take(station, now));
    EXPECT_EQ(taken, (std::vector<bool>{true, true, true, false, false, true, false, true}));
    EXPECT_TRUE(rate.Take(other, 100)) << "another key has its own bucket";
}

// A full table never refuses a key it has not seen: the key used least
// recently makes room, and a key in use keeps its bucket.
TEST(RateLimit, AFullTableForgetsTheKeyUsedLeastRecently)
{
    TRateLimit rate(2, 1000);
    ASSERT_TRUE(rate.Take(station, 0));
    ASSERT_TRUE(rate.Take(station, 0));
    for (int i = 0; i < int(TRateLimit::MaxKeys) - 1; ++i)
        ASSERT_TRUE(rate.Take(QString::number(i), 1));
    EXPECT_FALSE(rate.Take(station, 2)) << "the station's bucket was kept, empty";
    EXPECT_TRUE(rate.Take(other, 3)) << "a new key in a full table";
    EXPECT_TRUE(rate.Take(QStringLiteral("0"), 4)) << "the least recently used key came back with a full bucket";
    EXPECT_TRUE(rate.Take(QStringLiteral("0"), 4));
    EXPECT_FALSE(rate.Take(station, 5)) << "a key used since stays";
}

TEST(ServerLog, EscapesFormatCharactersLikeControlOnes)
{
    // U+202E turns the rest of a line around when displayed; U+200B and
    // U+FEFF hide.
    const QString line = QStringLiteral("usuário ") + QChar(0x202E) + QStringLiteral("airam") + QChar(0x200B)
                         + QChar(0xFEFF) + QChar(0x2066) + QStringLiteral(" ação");
    EXPECT_EQ(LogSafe(line), QStringLiteral("usuário \\u202eairam\\u200b\\ufeff\\u2066 ação"));
}

TEST(ServerLog, PreLoginLinesAreRateLimitedPerAddress)
{
    testing::internal::CaptureStderr();
    TPreLoginLog log;
    for (int i = 0; i < 100; ++i)
        log.Write(station, QStringLiteral("linha %1").arg(i), 0);
    log.Write(other, QStringLiteral("outro endereço"), 0);
    log.Write(station, QStringLiteral("mais tarde"), TPreLoginLog::RefillMs);
    const QStringList lines = QString::fromUtf8(testing::internal::GetCapturedStderr()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), TPreLoginLog::BurstLines + 3);
    EXPECT_EQ(lines[TPreLoginLog::BurstLines - 1], QStringLiteral("linha %1").arg(TPreLoginLog::BurstLines - 1));
    EXPECT_EQ(lines[TPreLoginLog::BurstLines], QStringLiteral("outro endereço"));
    EXPECT_EQ(lines[TPreLoginLog::BurstLines + 1],
              QStringLiteral("(%1 linha(s) de 192.0.2.10 omitidas)").arg(100 - TPreLoginLog::BurstLines));
    EXPECT_EQ(lines.last(), QStringLiteral("mais tarde"));
}

TEST(EffectiveConnections, FitTheDescriptorLimit)
{
    TServerConfig config;
    QString note;
    EffectiveConnections(config, 1 << 20, note);
    EXPECT_EQ(config.MaxConnections, 256);
    EXPECT_TRUE(note.isEmpty());
    EffectiveConnections(config, 128, note);
    const int own = 32 + 4 * config.Threads;
    EXPECT_LE(config.MaxConnections + config.MaxLoginsInFlight + config.MaxRefusing + own, 128);
    EXPECT_GT(config.MaxConnections, 0);
    EXPECT_GT(config.MaxLoginsInFlight, 0);
    EXPECT_EQ(config.MaxConnectionsPerAddress, config.MaxConnections / AddressShare)
        << "the per-address cap shrinks with the global one";
    EXPECT_LE(config.MaxLoginsPerAddress, AddressPart(config.MaxLoginsInFlight));
    EXPECT_EQ(AddressPart(3), 3) << "caps set very low leave a station its few connections";
    EXPECT_TRUE(note.contains(QStringLiteral("ulimit -n"))) << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("por endereço"))) << note.toStdString();
}

} // namespace
