// The back-off of failed logins: per address, doubling to a cap, forgotten
// after a success or a quiet spell, in a table of bounded size.
#include "transport/LoginThrottle.h"

#include <gtest/gtest.h>

namespace {

const QHostAddress station(QStringLiteral("192.0.2.10"));
const QHostAddress other(QStringLiteral("192.0.2.11"));

TEST(LoginThrottle, DoublesPerAddressUpToTheCap)
{
    TLoginThrottle throttle;
    std::vector<int> delays;
    for (int i = 0; i < 8; ++i)
        delays.push_back(throttle.Failed(station, i));
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    EXPECT_EQ(throttle.Failed(other, 9), TLoginThrottle::BaseDelayMs) << "another address has its own count";
}

TEST(LoginThrottle, ForgetsAfterASuccessOrAQuietSpell)
{
    TLoginThrottle throttle;
    throttle.Failed(station, 0);
    throttle.Failed(station, 1);
    throttle.Succeeded(station);
    EXPECT_EQ(throttle.Failed(station, 2), TLoginThrottle::BaseDelayMs);
    EXPECT_EQ(throttle.Failed(station, 3), 2 * TLoginThrottle::BaseDelayMs);
    EXPECT_EQ(throttle.Failed(station, 3 + TLoginThrottle::ForgetAfterMs + 1), TLoginThrottle::BaseDelayMs);
}

// Logins sent at once from an address with failures are checked one per
// delay; one that would wait beyond the cap is refused and takes no slot.
// An address without failures, or whose answer it waited for, waits not.
TEST(LoginThrottle, ChecksParallelLoginsOnePerDelay)
{
    TLoginThrottle throttle;
    EXPECT_EQ(throttle.Admit(station, 0), 0);
    throttle.Failed(station, 0);
    EXPECT_EQ(throttle.Admit(station, 1000), 0) << "a login sent after the answer";
    throttle.Failed(station, 1000);  // two failures: 2 s apart
    std::vector<int> waits;
    for (int i = 0; i < 17; ++i)
        waits.push_back(throttle.Admit(station, 1000));
    std::vector<int> expected;
    for (int i = 1; i <= 15; ++i)
        expected.push_back(2000 * i);
    expected.push_back(TLoginThrottle::MaxDelayMs + 1);
    expected.push_back(TLoginThrottle::MaxDelayMs + 1);
    EXPECT_EQ(waits, expected);
    EXPECT_EQ(throttle.Admit(other, 1000), 0);
    throttle.Succeeded(station);
    EXPECT_EQ(throttle.Admit(station, 1000), 0);
}

TEST(LoginThrottle, TableStaysBoundedAndDropsTheOldest)
{
    TLoginThrottle throttle;
    throttle.Failed(station, 0);
    throttle.Failed(station, 1);
    for (quint32 i = 0; i < quint32(TLoginThrottle::MaxAddresses) * 2; ++i)
        throttle.Failed(QHostAddress(0x0A000000u + i), 2 + i);
    EXPECT_EQ(throttle.Size(), TLoginThrottle::MaxAddresses);
    EXPECT_EQ(throttle.Failed(station, 1000000), TLoginThrottle::BaseDelayMs) << "the oldest address made room";
}

} // namespace
