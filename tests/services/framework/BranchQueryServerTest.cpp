// The branch query with its generic text as stored, on the host's connection
// to the application server's own database: the demo data's branches, by a
// null parameter (every branch) or a code (that branch only). The cases run
// on the server's SQLite file (label framework) and on a PostgreSQL database
// of the test cluster (label pg), whose schema provides the NVL the text calls.
// The same cases again through the application server, as a networked
// station runs them ("appserver:", no database login), and another text
// refused there.
#include "AppServerProcess.h"
#include "BranchQueryText.h"
#include "framework/Varneth.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

namespace {

struct TBranchCase {
    const char* name;
    const char* parameter;  // nullptr: null
    QStringList codes;
    QStringList names;
};

// The data module on the server's database itself.
class BranchQueryOnServerDatabase : public ::testing::TestWithParam<TBranchCase> {
public:
    static void SetUpTestSuite()
    {
        server = new TAppServerProcess();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        saved = Varneth::Settings();
        Varneth::SetDatabasePath(server->DatabasePath());
        module.Open();
        composeBranchQuery(qryFilial);
    }
    void TearDown() override { Varneth::SetSettings(saved); }

    static inline TAppServerProcess* server = nullptr;
    Varneth::THostSettings saved;
    TdtmDBGeral module;
    TADOIBQuery qryFilial;
};

// The data module of a networked station, on the application server.
class BranchQueryThroughTheAppServer : public BranchQueryOnServerDatabase {
public:
    void SetUp() override
    {
        saved = Varneth::Settings();
        Varneth::SetDatabasePath(QStringLiteral("appserver:"));
        Varneth::SetWebURL(QStringLiteral("127.0.0.1"));
        Varneth::SetWebPort(server->Port());
        module.Open();
        composeBranchQuery(qryFilial);
    }
};

void ExpectBranches(TADOIBQuery& qryFilial, const TBranchCase& asked)
{
    if (asked.parameter)
        qryFilial.ParamByName("P_CDFILIAL")->SetAsString(QString::fromUtf8(asked.parameter));
    else
        qryFilial.ParamByName("P_CDFILIAL")->Clear();
    qryFilial.Open();
    QStringList codes, names;
    for (qryFilial.First(); !qryFilial.Eof(); qryFilial.Next()) {
        codes << qryFilial.FieldByName("CDFILIAL")->AsString();
        names << qryFilial.FieldByName("NMFILIAL")->AsString();
    }
    EXPECT_EQ(codes, asked.codes);
    EXPECT_EQ(names, asked.names);
}

TEST_P(BranchQueryThroughTheAppServer, ListsTheBranchesAsked)
{
    ASSERT_TRUE(module.Remote());
    ExpectBranches(qryFilial, GetParam());
}

TEST_F(BranchQueryThroughTheAppServer, RunsNoTextItDoesNotKnow)
{
    TADOIBQuery other;
    other.SetName("qryOutra");
    other.SetConnection(module.adcGeral());
    other.SQL = QStringList{"SELECT NRLANCTONF FROM NOTAFISCAL"};
    EXPECT_THROW(other.Open(), EServerError);
    qryFilial.SQL[5] = "   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL) OR 1 = 1";
    EXPECT_THROW(qryFilial.Open(), EServerError) << "a known text changed is another text";
}

TEST_P(BranchQueryOnServerDatabase, ListsTheBranchesAsked)
{
    ExpectBranches(qryFilial, GetParam());
}

const auto cases = ::testing::Values(
        TBranchCase{"null", nullptr, {"0001", "0002", "0003"},
                    {"Matriz São Paulo", "Filial Campinas", "Filial Curitiba"}},
        TBranchCase{"code", "0002", {"0002"}, {"Filial Campinas"}},
        TBranchCase{"unknownCode", "9999", {}, {}},
        TBranchCase{"quotedText", "0001' OR '1'='1", {}, {}});
const auto caseName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Parameters, BranchQueryOnServerDatabase, cases, caseName);
INSTANTIATE_TEST_SUITE_P(Parameters, BranchQueryThroughTheAppServer, cases, caseName);

} // namespace
