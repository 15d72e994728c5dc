// The branch query with its generic text as stored, on the host's connection
// to the application server's own database: the demo data's branches, by a
// null parameter (every branch) or a code (that branch only). The cases run
// on the server's SQLite file (label framework) and on a PostgreSQL database
// of the test cluster (label pg), whose schema provides the NVL the text calls.
#include "AppServerProcess.h"
#include "BranchQueryText.h"
#include "framework/Varneth.h"

#include <gtest/gtest.h>

namespace {

struct TBranchCase {
    const char* name;
    const char* parameter;  // nullptr: null
    QStringList codes;
    QStringList names;
};

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

TEST_P(BranchQueryOnServerDatabase, ListsTheBranchesAsked)
{
    if (GetParam().parameter)
        qryFilial.ParamByName("P_CDFILIAL")->SetAsString(QString::fromUtf8(GetParam().parameter));
    else
        qryFilial.ParamByName("P_CDFILIAL")->Clear();
    qryFilial.Open();
    QStringList codes, names;
    for (qryFilial.First(); !qryFilial.Eof(); qryFilial.Next()) {
        codes << qryFilial.FieldByName("CDFILIAL")->AsString();
        names << qryFilial.FieldByName("NMFILIAL")->AsString();
    }
    EXPECT_EQ(codes, GetParam().codes);
    EXPECT_EQ(names, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, BranchQueryOnServerDatabase,
    ::testing::Values(
        TBranchCase{"null", nullptr, {"0001", "0002", "0003"},
                    {"Matriz São Paulo", "Filial Campinas", "Filial Curitiba"}},
        TBranchCase{"code", "0002", {"0002"}, {"Filial Campinas"}},
        TBranchCase{"unknownCode", "9999", {}, {}},
        TBranchCase{"quotedText", "0001' OR '1'='1", {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
