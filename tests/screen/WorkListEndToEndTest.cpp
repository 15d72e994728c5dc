// The work list against the real application server on its demo data: the
// user leaves the filter for the invoice grid and walks through every
// invoice; the confirm button must agree with what the server accepts.
#include "AppServerProcess.h"
#include "ScreenFixture.h"

#include "framework/Consiste.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QFile>
#include <QTableView>

namespace {

class WorkListEndToEnd : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        Varneth::SetWebPort(server_.Port());
        // The host reads the branches from the database the server uses.
        database.reset();
        Varneth::SetDatabasePath(server_.DatabasePath());
        database = std::make_unique<TdtmDBGeral>();
        database->Open();
        // The demo invoices go out over the last four weeks.
        const QDate today = QDate::currentDate();
        orderFrom = outFrom = today.addDays(-60);
        orderTo = outTo = today.addDays(10);
    }

    // Whether a server on a copy of the demo database confirms each invoice.
    std::vector<bool> ServerAccepts(const QStringList& invoices)
    {
        TAppServerProcess::TOptions options;
        options.Demo = false;
        TAppServerProcess copy(options);
        copy.Stop();
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            QFile::remove(copy.DatabasePath() + suffix);
            if (suffix != QLatin1String("-shm") && QFile::exists(server_.DatabasePath() + suffix))
                EXPECT_TRUE(QFile::copy(server_.DatabasePath() + suffix, copy.DatabasePath() + suffix));
        }
        copy.Start();
        TNetConnection net;
        net.SetHost(copy.Host());
        net.SetPort(copy.Port());
        net.SetServerName(Remote::ConfRastr);
        std::vector<bool> accepted;
        for (const QString& invoice : invoices) {
            const QVariant result = net.AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0001"), invoice});
            try {
                Consiste::CheckResultServ(result, true, 0);
                accepted.push_back(true);
            } catch (const EServerError&) {
                accepted.push_back(false);
            }
        }
        return accepted;
    }

    TAppServerProcess server_;
};

TEST_F(WorkListEndToEnd, TheConfirmButtonAgreesWithTheServerForEveryInvoiceOfTheBranch)
{
    TfrmConfSepExp* f = OpenFilled();
    f->dbgNotaFiscal->SetFocus();  // leaving the filter loads the work list
    Application->ProcessMessages();
    const int count = f->cdsNotaFiscal->RecordCount();
    ASSERT_GT(count, 10);
    EXPECT_EQ(f->cdsNotaFiscal->RecNo(), 1);
    EXPECT_EQ(EnabledToolButtons(f), (QStringList{"sbtProcurar", "sbtVerificar"}));

    QStringList invoices;
    std::vector<bool> enabled;
    for (int row = 0; row < count; ++row) {
        if (row > 0)
            QTest::keyClick(f->dbgNotaFiscal->View(), Qt::Key_Down);
        ASSERT_EQ(f->cdsNotaFiscal->RecNo(), row + 1);
        const QString invoice = f->cdsNotaFiscalNRLANCTONF->AsString();
        ASSERT_FALSE(f->cdsItemProduto->IsEmpty()) << invoice.toStdString();
        for (int i = 0; i < f->cdsItemProduto->RecordCount(); ++i) {
            TDisplayRowScope item(f->cdsItemProduto, i);
            ASSERT_EQ(f->cdsItemProdutoNRLANCTONF->AsString(), invoice);
        }
        EXPECT_EQ(f->cdsIUMProd->Filter(),
                  QStringLiteral("(CDFILIAL = '0001' AND NRLANCTONF = '%1' AND CDPRODUTO = '%2')")
                      .arg(invoice, f->cdsItemProdutoCDPRODUTO->AsString()));
        invoices << invoice;
        enabled.push_back(f->sbtConfirma->Enabled());
    }
    ASSERT_NE(std::count(enabled.begin(), enabled.end(), true), 0) << "the demo has ready invoices";
    ASSERT_NE(std::count(enabled.begin(), enabled.end(), false), 0) << "and invoices that are not";

    const std::vector<bool> accepted = ServerAccepts(invoices);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(accepted[i], enabled[i]) << invoices[i].toStdString();
}

} // namespace
