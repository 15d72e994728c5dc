// Which links to PostgreSQL the server warns of at start (storage/PgDriver.h,
// PgLinkTrusted): one that leaves this machine without verifying the server.
// The decision is by the address reached, never by the host's name.
#include "storage/PgDriver.h"

#include <gtest/gtest.h>

namespace {

struct TLinkCase {
    const char* name;
    TPgLink link;
    bool trusted;
};

class PgLink : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(PgLink, IsTrustedOnlyWhenLocalOrVerified)
{
    EXPECT_EQ(PgLinkTrusted(GetParam().link), GetParam().trusted);
}

TPgLink Link(const char* host, const char* address, const char* sslMode)
{
    return {QString::fromLatin1(host), QString::fromLatin1(address), QString::fromLatin1(sslMode)};
}

INSTANTIATE_TEST_SUITE_P(
    Links, PgLink,
    ::testing::Values(TLinkCase{"unixSocket", Link("/var/run/postgresql", "", "prefer"), true},
                      TLinkCase{"abstractSocket", Link("@pg", "", "disable"), true},
                      TLinkCase{"localhostV4", Link("localhost", "127.0.0.1", "prefer"), true},
                      TLinkCase{"anyLoopbackV4", Link("banco", "127.0.1.1", "disable"), true},
                      TLinkCase{"loopbackV6", Link("localhost", "::1", "prefer"), true},
                      TLinkCase{"mappedLoopback", Link("banco", "::ffff:127.0.0.1", "allow"), true},
                      TLinkCase{"remotePrefer", Link("banco.filial", "10.0.0.5", "prefer"), false},
                      TLinkCase{"remoteRequireEncryptsButTrustsAnyone", Link("banco.filial", "10.0.0.5", "require"), false},
                      TLinkCase{"remoteV6Disable", Link("banco.filial", "2001:db8::5", "disable"), false},
                      TLinkCase{"nameLooksLocalAddressIsNot", Link("127.0.0.1.exemplo", "203.0.113.9", "prefer"), false},
                      TLinkCase{"mappedRemote", Link("banco", "::ffff:10.0.0.5", "prefer"), false},
                      TLinkCase{"noAddress", Link("banco.filial", "", "prefer"), false},
                      TLinkCase{"remoteVerifyCa", Link("banco.filial", "10.0.0.5", "verify-ca"), true},
                      TLinkCase{"remoteVerifyFull", Link("banco.filial", "10.0.0.5", "verify-full"), true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
