// The work list against the real application server on its demo data: the
// user leaves the filter for the invoice grid and walks through every
// invoice; the confirm button must agree with what the server accepts. And
// what another station changes meanwhile: counted in the host's status bar
// and marked in the rows, the data sets untouched until the user reloads.
#include "AppServerProcess.h"
#include "ScreenFixture.h"
#include "WaitFor.h"

#include "framework/Consiste.h"
#include "framework/StatusNote.h"
#include "rpc/Envelope.h"
#include "netconn/NoticeChannel.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QThread>
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
            if (suffix != QLatin1String("-shm") && QFile::exists(server_.DatabasePath() + suffix)) {
                EXPECT_TRUE(QFile::copy(server_.DatabasePath() + suffix, copy.DatabasePath() + suffix));
            }
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

// Whether the invoice grid draws the change mark in row `row`'s first cell.
bool Marked(TfrmConfSepExp* f, int row)
{
    QTableView* view = f->dbgNotaFiscal->View();
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    const QImage image = view->viewport()->grab().toImage();
    return image.pixelColor(cell.topLeft() + QPoint(1, 1)) == QColor(230, 120, 0);
}

TEST_F(WorkListEndToEnd, ChangesByAnotherStationAreCountedAndMarkedUntilTheReload)
{
    TNoticeChannel channel;
    channel.SetServer(server_.Host(), server_.Port(), {});
    channel.SetStation({QStringLiteral("ana"), QStringLiteral("EST-TELA")});
    SetNotices(&channel);
    const auto unset = qScopeGuard([] { SetNotices(nullptr); });
    TfrmConfSepExp* f = OpenFilled();
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    const auto wait = [](const std::function<bool()>& done) { return WaitFor(done, 10000); };
    ASSERT_TRUE(wait([&] { return channel.Open(); })) << channel.Status().toStdString();
    EXPECT_EQ(StatusNote::Text(), QString());

    // Another station confirms the first invoice the server accepts, then
    // this screen's own station the next one.
    const int rows = f->cdsNotaFiscal->RecordCount();
    const auto station = [&](const TNetConnection::TStation& who) {
        auto net = std::make_unique<TNetConnection>();
        net->SetHost(server_.Host());
        net->SetPort(server_.Port());
        net->SetServerName(Remote::ConfRastr);
        net->SetStation(who);
        return net;
    };
    const auto confirmNext = [&](TNetConnection& net, int from) {
        for (int row = from; row < f->cdsNotaFiscal->RecordCount(); ++row) {
            QString invoice;
            {
                TDisplayRowScope scope(f->cdsNotaFiscal, row);
                invoice = f->cdsNotaFiscalNRLANCTONF->AsString();
            }
            const QVariant result = net.AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0001"), invoice});
            if (Rpc::ParseEnvelope(result) && Rpc::ParseEnvelope(result)->Ok)
                return row;
        }
        return -1;
    };
    const auto other = station({QStringLiteral("bia"), QStringLiteral("EST-B")});
    const int row = confirmNext(*other, 0);
    ASSERT_GE(row, 0);
    ASSERT_TRUE(wait([] { return !StatusNote::Text().isEmpty(); }));
    EXPECT_EQ(StatusNote::Text(),
              QStringLiteral("1 nota fiscal da lista foi alterada por outro usuário desde a carga; Atualizar mostra a mudança."));
    Application->ProcessMessages();
    EXPECT_TRUE(Marked(f, row));
    EXPECT_FALSE(Marked(f, row == 0 ? 1 : 0));
    EXPECT_EQ(f->cdsNotaFiscal->RecordCount(), rows) << "the work list stays as loaded";

    const auto own = station(channel.Station());
    const int ownRow = confirmNext(*own, row + 1);
    ASSERT_GT(ownRow, row);
    QThread::msleep(300);
    Application->ProcessMessages();
    EXPECT_FALSE(Marked(f, ownRow)) << "this station's own change is not another's";
    EXPECT_TRUE(StatusNote::Text().startsWith(QStringLiteral("1 nota fiscal")));

    // Atualizar loads the list as it is now, and the count starts anew.
    f->sbtVerificar->Click();
    Application->ProcessMessages();
    EXPECT_EQ(StatusNote::Text(), QString());
    EXPECT_FALSE(Marked(f, row));

    // Entering the filter closes the list: its count goes with it, and what
    // another station changes meanwhile counts nothing.
    const int counted = confirmNext(*other, 0);
    ASSERT_GE(counted, 0);
    ASSERT_TRUE(wait([] { return !StatusNote::Text().isEmpty(); }));
    QStringList rest;
    for (int next = counted + 1; next < f->cdsNotaFiscal->RecordCount(); ++next) {
        TDisplayRowScope scope(f->cdsNotaFiscal, next);
        rest << f->cdsNotaFiscalNRLANCTONF->AsString();
    }
    f->medCdFilial->SetFocus();
    Application->ProcessMessages();
    ASSERT_FALSE(f->cdsNotaFiscal->Active());
    EXPECT_EQ(StatusNote::Text(), QString()) << "no count of a list that is closed";
    ASSERT_TRUE(std::any_of(rest.cbegin(), rest.cend(), [&](const QString& invoice) {
        const auto envelope =
            Rpc::ParseEnvelope(other->AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0001"), invoice}));
        return envelope && envelope->Ok;
    })) << "another station confirmed one more invoice";
    QThread::msleep(300);
    Application->ProcessMessages();
    EXPECT_EQ(StatusNote::Text(), QString()) << "a notice for a closed list counts nothing";
}

} // namespace
