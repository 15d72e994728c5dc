// Creation, activation, the Ctrl+Enter shortcut and close.
#include "ScreenFixture.h"

#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QKeyEvent>
#include <QTcpServer>

namespace {

class Lifecycle : public ScreenTest {};

TEST_F(Lifecycle, CreationOpensBothConnectionsWithTheHostsAddress)
{
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_TRUE(f->netConfRastr->Connected());
    EXPECT_TRUE(f->netEstoque->Connected());
    for (TNetConnection* c : {f->netConfRastr, f->netEstoque}) {
        EXPECT_EQ(c->Host(), "127.0.0.1");
        EXPECT_EQ(c->Port(), server.Port());
        EXPECT_FALSE(c->ThrowException());
    }
    EXPECT_EQ(f->netConfRastr->ServerName(), "exp13000.rdmConfRastr");
    EXPECT_EQ(f->netConfRastr->ServerGUID(), "{A6EFEC57-5263-4980-A6D9-9FC09FF4622A}");
    EXPECT_EQ(f->netEstoque->ServerName(), "Est00000.rdmEstoque");
    EXPECT_EQ(f->netEstoque->ServerGUID(), "");
    EXPECT_EQ(server.Events.mid(0, 2), (QStringList{"hello exp13000.rdmConfRastr", "hello Est00000.rdmEstoque"}));
    EXPECT_EQ(f->cdsItemProdutoCDARVPROD->EditMask(), "99.99.9999;0; ");
}

class StockQuestionsAtCreation : public ScreenTest, public testing::WithParamInterface<StockCase> {};

TEST_P(StockQuestionsAtCreation, SetColumnsAndFieldsForAnEmptyBranch)
{
    usesWarehouses = GetParam().warehouses;
    usesLocations = GetParam().locations;
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(StockQuestions(), (QStringList{"Utiliza_Almoxarifado()", "Utiliza_LocalEstoque()",
                                             "Utiliza_Almoxarifado()", "Utiliza_LocalEstoque()"}));
    EXPECT_EQ(f->dbgIUMProd->Columns().Items(0)->Visible(), usesWarehouses);
    EXPECT_EQ(f->dbgIUMProd->Columns().Items(1)->Visible(), usesLocations);
    EXPECT_EQ(f->cdsIUMProdCDALMOXARIFE->Visible(), usesWarehouses);
    EXPECT_EQ(f->cdsIUMProdCDLOCALESTOQ->Visible(), usesLocations);
    for (int i = 2; i < f->dbgIUMProd->Columns().Count(); ++i)
        EXPECT_TRUE(f->dbgIUMProd->Columns().Items(i)->Visible());
}

INSTANTIATE_TEST_SUITE_P(Table, StockQuestionsAtCreation, testing::ValuesIn(StockCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Lifecycle, FirstActivationFillsTheBranchThenTheName)
{
    auto* f = TForm::Create<TfrmConfSepExp>(Application);
    frmConfSepExp = f;
    boIdCriado = true;
    f->medNrExpedicao->SetText("0000000042");
    f->medNrPedido->SetText("0000000007");
    f->Show();
    Application->ProcessMessages();
    EXPECT_EQ(f->medCdFilial->Text(), "0001");
    EXPECT_EQ(f->edtNmFilial->Text(), "Matriz Porto Alegre") << "the name comes after the code's change handler";
    EXPECT_EQ(f->medNrExpedicao->Text(), "") << "a change of branch forgets the expedition";
    EXPECT_EQ(f->medNrPedido->Text(), "0000000007");
    EXPECT_TRUE(f->lblFilial->Enabled());
    EXPECT_TRUE(f->medCdFilial->Enabled());
    EXPECT_TRUE(f->btnFilial->Enabled());
    EXPECT_EQ(f->ActiveControl(), f->medCdFilial);
}

TEST_F(Lifecycle, FixedBranchLocksTheBranchAndStartsOnTheExpedition)
{
    Varneth::SetModuFili(true);
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(f->medCdFilial->Text(), "0001");
    EXPECT_FALSE(f->lblFilial->Enabled());
    EXPECT_FALSE(f->medCdFilial->Enabled());
    EXPECT_FALSE(f->btnFilial->Enabled());
    EXPECT_EQ(f->ActiveControl(), f->medNrExpedicao);
}

TEST_F(Lifecycle, LaterActivationsOnlyRepaint)
{
    TfrmConfSepExp* f = OpenScreen();
    f->medNrPedido->SetFocus();  // leaving the branch checks it: set it from here
    f->medCdFilial->SetText("0002");
    f->edtNmFilial->SetText("Filial Dois");

    auto* other = TForm::Create<TForm>(Application);
    other->SetFormStyle(TFormStyle::fsMDIChild);
    other->Show();
    Application->ProcessMessages();
    f->Show();  // back to the screen
    Application->ProcessMessages();

    EXPECT_EQ(f->medCdFilial->Text(), "0002");
    EXPECT_EQ(f->edtNmFilial->Text(), "Filial Dois");
    EXPECT_EQ(f->ActiveControl(), f->medNrPedido);
    delete other;
}

// Counts the Enter keys that reach a widget.
struct EnterCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return)
            ++count;
        return false;
    }
};

TEST_F(Lifecycle, CtrlEnterIsSwallowedAndPressesConfirmarWhileEnterReachesTheEdit)
{
    TfrmConfSepExp* f = OpenFilled();  // leaving the filter loads the work list
    int confirmarClicks = 0;
    f->sbtConfirmar->OnClick = TNotifyEvent::Of([&](TObject*) { ++confirmarClicks; });
    for (TWinControl* c : {static_cast<TWinControl*>(f->medNrPedido), static_cast<TWinControl*>(f->depInicial),
                           static_cast<TWinControl*>(f->dbgNotaFiscal)}) {
        c->SetFocus();
        Application->ProcessMessages();
        EnterCounter counter;
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        target->installEventFilter(&counter);
        QTest::keyClick(target, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(counter.count, 0) << c->Name().toStdString();
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_EQ(counter.count, 1) << c->Name().toStdString();
        target->removeEventFilter(&counter);
    }
    EXPECT_EQ(confirmarClicks, 3);
}

TEST_F(Lifecycle, CloseResetsTheFlagFirstThenClosesStockBeforeConfRastr)
{
    TfrmConfSepExp* f = OpenScreen();
    QStringList order;
    f->netEstoque->AfterDisconnect = TNotifyEvent::Of([&](TObject*) {
        order << QStringLiteral("estoque boIdCriado=%1").arg(boIdCriado);
    });
    f->netConfRastr->AfterDisconnect = TNotifyEvent::Of([&](TObject*) {
        order << QStringLiteral("confrastr boIdCriado=%1").arg(boIdCriado);
    });
    f->Close();
    EXPECT_EQ(order, (QStringList{"estoque boIdCriado=0", "confrastr boIdCriado=0"}));
    Application->ProcessMessages();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The next entry builds a fresh instance.
    TfrmConfSepExp* again = OpenScreen();
    EXPECT_TRUE(boIdCriado);
    EXPECT_TRUE(again->netConfRastr->Connected());
}

TEST_F(Lifecycle, ServerDownShowsTheErrorOnceAndTheScreenStillOpens)
{
    QTcpServer probe;  // a port nobody listens on
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 deadPort = probe.serverPort();
    probe.close();
    Varneth::SetWebPort(deadPort);

    dialogs.ExpectError();
    TfrmConfSepExp* f = OpenScreen();
    ASSERT_TRUE(boIdCriado);
    EXPECT_TRUE(f->Showing());
    ASSERT_EQ(dialogs.Log().size(), 1);
    EXPECT_TRUE(dialogs.Log()[0].Text.contains(QString::number(deadPort))) << dialogs.Log()[0].Text.toStdString();
    EXPECT_FALSE(f->netConfRastr->Connected());
    EXPECT_FALSE(f->netEstoque->Connected()) << "the steps after the failing one are skipped";
    EXPECT_EQ(f->medCdFilial->Text(), "") << "no first-activation fill without the connections";
    EXPECT_TRUE(f->medCdFilial->Enabled());
}

} // namespace
