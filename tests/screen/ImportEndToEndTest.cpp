// The example import folder on the screen: imported into the new database of
// a real server, its invoices come in the work list of their branch as a
// user filters for them.
#include "AppServerProcess.h"
#include "ScreenFixture.h"

#include "ui/Application.h"

namespace {

class ImportEndToEnd : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        QString output;
        ASSERT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--import"), QStringLiteral(EXP_IMPORT_EXAMPLE),
                                              QStringLiteral("--database"), server_.DatabasePath()},
                                             &output),
                  0)
            << output.toStdString();
        Varneth::SetWebPort(server_.Port());
        // The host reads the branches from the database the server uses.
        database.reset();
        Varneth::SetDatabasePath(server_.DatabasePath());
        database = std::make_unique<TdtmDBGeral>();
        database->Open();
        // The example's orders and outgoing dates, early March 2026.
        orderFrom = QDate(2026, 2, 1);
        orderTo = outFrom = QDate(2026, 3, 1);
        outTo = QDate(2026, 3, 31);
    }

    static TAppServerProcess::TOptions Empty()
    {
        TAppServerProcess::TOptions options;
        options.Demo = false;
        return options;
    }

    TAppServerProcess server_{Empty()};
};

TEST_F(ImportEndToEnd, TheExamplesInvoicesComeInTheWorkListOfTheirBranch)
{
    TfrmConfSepExp* f = OpenFilled();
    f->medCdFilial->SetText(QString());
    QTest::keyClicks(f->medCdFilial->Widget(), "101");
    QTest::keyClick(f->medCdFilial->Widget(), Qt::Key_Tab);
    EXPECT_EQ(f->medCdFilial->Text(), QStringLiteral("0101"));
    EXPECT_EQ(f->edtNmFilial->Text(), QStringLiteral("Centro de Distribuição Recife"));
    f->dbgNotaFiscal->SetFocus();  // leaving the filter loads the work list
    Application->ProcessMessages();
    ASSERT_EQ(f->cdsNotaFiscal->RecordCount(), 2);
    EXPECT_EQ(f->cdsNotaFiscalNRLANCTONF->AsString(), QStringLiteral("NF000101"));
    EXPECT_EQ(f->cdsItemProduto->RecordCount(), 3);
    EXPECT_TRUE(dialogs.Log().isEmpty());
}

} // namespace
