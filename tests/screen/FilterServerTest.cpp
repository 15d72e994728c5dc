// The expedition and order lookups and checks against the real application
// server on the demo data, the branch query on the same database.
#include "AppServerProcess.h"
#include "FilterFixture.h"

#include "framework/Consiste.h"

#include <QSqlQuery>

namespace {

class FilterOnRealServer : public FilterTest {
protected:
    // One server for the suite: the tests only read.
    static void SetUpTestSuite() { appServer = std::make_unique<TAppServerProcess>(); }
    static void TearDownTestSuite() { appServer.reset(); }

    void SetUp() override
    {
        FilterTest::SetUp();
        database.reset();
        Varneth::SetDatabasePath(appServer->DatabasePath());
        database = std::make_unique<TdtmDBGeral>();
        database->Open();
        Varneth::SetWebPort(appServer->Port());
    }

    // What the database holds for branch 0001 in the screen's date ranges:
    // `sql` with :FROM1, :TO1 (order dates) and :FROM2, :TO2 (outgoing dates).
    QStringList Expected(const QString& sql) const
    {
        QSqlQuery q(database->adcGeral());
        EXPECT_TRUE(q.prepare(sql));
        q.bindValue(":FROM1", orderFrom.toString(Qt::ISODate));
        q.bindValue(":TO1", orderTo.toString(Qt::ISODate));
        q.bindValue(":FROM2", outFrom.toString(Qt::ISODate));
        q.bindValue(":TO2", outTo.toString(Qt::ISODate));
        EXPECT_TRUE(q.exec());
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString();
        return rows;
    }

    TfrmConfSepExp* OpenWithDates()
    {
        TfrmConfSepExp* f = OpenScreen();
        Tab(f->medCdFilial);
        f->depInicial->SetText(orderFrom.toString("dd/MM/yyyy"));
        f->depFinal->SetText(orderTo.toString("dd/MM/yyyy"));
        f->depSaidaInicial->SetText(outFrom.toString("dd/MM/yyyy"));
        f->depSaidaFim->SetText(outTo.toString("dd/MM/yyyy"));
        f->depSaidaFim->SetFocus();
        return f;
    }

    // Opens the lookup of `button`, reads the list and picks its second row;
    // returns the rows as listed.
    QStringList PickSecond(TBtnPesquisa* button)
    {
        QStringList listed;
        dialogs.ExpectLookupList([&](const TLookupListRequest& r) {
            listed = ListedRows(r.Source->DataSet());
            r.Source->DataSet()->SetRecNo(2);
            return true;
        });
        button->Click();
        return listed;
    }

    static inline std::unique_ptr<TAppServerProcess> appServer;
    const QDate today = QDate::currentDate();
    const QDate orderFrom = today.addDays(-20), orderTo = today;
    const QDate outFrom = today.addDays(-14), outTo = today.addDays(3);
};

// An invoice of the row's branch and number in both date ranges.
const QString inRanges = " AND substr(NF.DTPEDIDO, 1, 10) BETWEEN :FROM1 AND :TO1"
                         " AND substr(NF.DTENTRSAID, 1, 10) BETWEEN :FROM2 AND :TO2)";

TEST_F(FilterOnRealServer, TheExpeditionListShowsTheDatabasesRowsAndAPickedOnePassesItsCheck)
{
    TfrmConfSepExp* f = OpenWithDates();
    ASSERT_EQ(f->edtNmFilial->Text(), "Matriz São Paulo");
    const QStringList expected = Expected(
        "SELECT EX.NREXPEDICAO || ' | ' || strftime('%d/%m/%Y %H:%M:%S', EX.DTEXPEDICAO) || ' | ' ||"
        "       CASE EX.IDSTATUSSEP WHEN 'P' THEN 'Pendente' WHEN 'A' THEN 'Em Andamento' ELSE 'Concluída' END"
        "  FROM EXPEDICAO EX WHERE EX.CDFILIAL = '0001' AND EXISTS (SELECT 1 FROM NOTAFISCAL NF"
        "   WHERE NF.CDFILIAL = EX.CDFILIAL AND NF.NREXPEDICAO = EX.NREXPEDICAO" + inRanges +
        " ORDER BY EX.NREXPEDICAO");
    ASSERT_GE(expected.size(), 3);

    const QStringList listed = PickSecond(f->btnNrExpedicao);

    EXPECT_EQ(listed, expected);
    const QString picked = expected[1].section(" | ", 0, 0);
    EXPECT_EQ(f->medNrExpedicao->Text(), picked);
    TFilterChecks::Vd_NrExpedicao(f);
    EXPECT_EQ(f->cdsNrExpedicao->RecordCount(), 1);
    EXPECT_EQ(f->cdsNrExpedicaoNREXPEDICAO->AsString(), picked);
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Error).isEmpty());
}

TEST_F(FilterOnRealServer, TheOrderListShowsTheDatabasesRowsAndAPickedOnePassesItsCheck)
{
    TfrmConfSepExp* f = OpenWithDates();
    const QStringList expected = Expected(
        "SELECT PE.NRPEDIDO FROM PEDIDO PE WHERE PE.CDFILIAL = '0001' AND EXISTS (SELECT 1 FROM NOTAFISCAL NF"
        "   WHERE NF.CDFILIAL = PE.CDFILIAL AND NF.NRPEDIDO = PE.NRPEDIDO" + inRanges +
        " ORDER BY PE.NRPEDIDO");
    ASSERT_GE(expected.size(), 3);

    EXPECT_EQ(PickSecond(f->btnNrPedido), expected);
    EXPECT_EQ(f->medNrPedido->Text(), expected[1]);
    TFilterChecks::Vd_NrPedido(f);
    EXPECT_EQ(f->cdsNrPedido->RecordCount(), 1);
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Error).isEmpty());
}

TEST_F(FilterOnRealServer, AnExpeditionOutsideTheDatesIsNotFound)
{
    TfrmConfSepExp* f = OpenWithDates();
    f->depSaidaInicial->SetText(today.addDays(10).toString("dd/MM/yyyy"));
    f->depSaidaFim->SetText(today.addDays(11).toString("dd/MM/yyyy"));
    f->medNrExpedicao->SetText("1");
    dialogs.ExpectError();
    EXPECT_THROW(TFilterChecks::Vd_NrExpedicao(f), Consiste::EShownError);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Nr Expedição não cadastrado."});
    EXPECT_EQ(f->medNrExpedicao->Text(), "0000000001");
    EXPECT_EQ(Focused(f), "medNrExpedicao");
}

} // namespace
