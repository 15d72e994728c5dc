// Expedition and order numbers: padding on exit, the checks with the server,
// the two lookups and the separation status shown in the expedition list.
#include "FilterFixture.h"

#include "framework/Consiste.h"

namespace {

class Numbers : public FilterTest {
protected:
    // The screen with the order range 01/05/2024 to 31/05/2024, the outgoing
    // range starting 02/05/2024 and left open, and the cursor on the last
    // date (inside the filter, away from both numbers).
    TfrmConfSepExp* OpenWithDates()
    {
        TfrmConfSepExp* f = OpenScreen();
        f->depInicial->SetDate(EncodeDate(2024, 5, 1));
        f->depFinal->SetDate(EncodeDate(2024, 5, 31));
        f->depSaidaInicial->SetDate(EncodeDate(2024, 5, 2));
        f->depSaidaFim->SetFocus();
        return f;
    }
    static QVariantMap Expedition(const QString& number, const QVariant& status)
    {
        return {{"CDFILIAL", "0001"}, {"NREXPEDICAO", number}, {"DTEXPEDICAO", QDate(2024, 5, 3)}, {"IDSTATUSSEP", status}};
    }
    static QVariantMap Order(const QString& number) { return {{"NRPEDIDO", number}, {"CDFILIAL", "0001"}}; }
};

// One number: its edit, its check, its button and its list.
struct NumberCase {
    const char* name;
    const char* edit;
    void (*check)(TfrmConfSepExp*);
    const char* button;
    const char* list;
    QStringList checkArgs;   // for the typed "42" and the branch text "12"
    QStringList lookupArgs;  // for the branch text "12"
    const char* notFound;
};
void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }


const NumberCase numberCases[] = {
    {"expedition", "medNrExpedicao", &TFilterChecks::Vd_NrExpedicao, "btnNrExpedicao", "cdsNrExpedicao",
     {"12", "0000000042", "PEDIDO", "01/05/2024", "31/05/2024", "02/05/2024", "0", "", "EXP"},
     {"12", "EXPEDICAO", "PEDIDO", "01/05/2024", "31/05/2024", "02/05/2024", "0", "T", "EXP"},
     "Nr Expedição não cadastrado."},
    {"order", "medNrPedido", &TFilterChecks::Vd_NrPedido, "btnNrPedido", "cdsNrPedido",
     {"12", "EXPEDICAO", "0000000042", "01/05/2024", "31/05/2024", "02/05/2024", "0", "", "PED"},
     {"12", "EXPEDICAO", "PEDIDO", "01/05/2024", "31/05/2024", "02/05/2024", "0", "T", "PED"},
     "Numero de pedido não cadastrado"},
};

class NumberCheck : public Numbers, public testing::WithParamInterface<NumberCase> {
protected:
    TMaskEdit* Edit(TfrmConfSepExp* f) const { return dynamic_cast<TMaskEdit*>(f->FindComponent(GetParam().edit)); }
    TClientDataSet* List(TfrmConfSepExp* f) const
    {
        return dynamic_cast<TClientDataSet*>(f->FindComponent(GetParam().list));
    }
    TBtnPesquisa* Button(TfrmConfSepExp* f) const
    {
        return dynamic_cast<TBtnPesquisa*>(f->FindComponent(GetParam().button));
    }
    void SetRows(int count)
    {
        expeditionRows.clear();
        orderRows.clear();
        for (int i = 0; i < count; ++i) {
            expeditionRows << Expedition("0000000042", "P");
            orderRows << Order("0000000042");
        }
    }
};

TEST_P(NumberCheck, AnUnknownNumberIsSentPaddedAndRefusedOnItsEdit)
{
    TfrmConfSepExp* f = OpenWithDates();
    f->medCdFilial->SetText("12");  // sent as it stands, not padded again
    Edit(f)->SetText("42");
    SetRows(0);
    dialogs.ExpectError();

    EXPECT_THROW(GetParam().check(f), Consiste::EShownError);

    EXPECT_EQ(NumberListCalls(), QList<QStringList>{GetParam().checkArgs});
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{GetParam().notFound});
    EXPECT_EQ(Focused(f), GetParam().edit);
    EXPECT_EQ(Edit(f)->Text(), "0000000042");
    EXPECT_TRUE(List(f)->Active());
    EXPECT_TRUE(List(f)->IsEmpty());
}

TEST_P(NumberCheck, AKnownNumberPassesAndIsAllTheListHolds)
{
    TfrmConfSepExp* f = OpenWithDates();
    Edit(f)->SetText("42");
    SetRows(1);

    GetParam().check(f);

    EXPECT_EQ(NumberListCalls().size(), 1);
    EXPECT_EQ(List(f)->RecordCount(), 1);
    EXPECT_EQ(Focused(f), "depSaidaFim");
    EXPECT_EQ(Edit(f)->Text(), "0000000042");
}

TEST_P(NumberCheck, AnEmptyOrBlankNumberIsNotSent)
{
    TfrmConfSepExp* f = OpenWithDates();
    for (const char* text : {"", "   "}) {
        Edit(f)->SetText(text);
        GetParam().check(f);
    }
    EXPECT_TRUE(NumberListCalls().isEmpty());
    EXPECT_FALSE(List(f)->Active());
    EXPECT_EQ(Focused(f), "depSaidaFim");
}

TEST_P(NumberCheck, ServerAndConnectionErrorsGoOnWithTheFocusOnTheNumber)
{
    TfrmConfSepExp* f = OpenWithDates();
    SetRows(2);
    dialogs.ExpectLookupList([](const TLookupListRequest&) { return false; });
    Button(f)->Click();  // the list as it was before the failures
    ASSERT_EQ(List(f)->RecordCount(), 2);

    fault = "Falha de teste no servidor.";
    Edit(f)->SetText("42");
    try {
        GetParam().check(f);
        ADD_FAILURE() << "no error";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), fault);
    }
    EXPECT_EQ(Focused(f), GetParam().edit);
    EXPECT_EQ(List(f)->RecordCount(), 2);

    f->depSaidaFim->SetFocus();
    server.CloseOnCall = true;
    EXPECT_THROW(GetParam().check(f), EConnectionError);
    EXPECT_EQ(Focused(f), GetParam().edit);
    EXPECT_EQ(List(f)->RecordCount(), 2);
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Error).isEmpty()) << "the caller shows these errors";
}

TEST_P(NumberCheck, ALookupFailureLeavesTheFocusAndTheList)
{
    TfrmConfSepExp* f = OpenWithDates();
    fault = "Falha de teste no servidor.";
    EXPECT_THROW(Button(f)->Click(), EServerError);
    EXPECT_EQ(Focused(f), "depSaidaFim");
    EXPECT_FALSE(List(f)->Active());
}

TEST_P(NumberCheck, ALookupWithNoRowsSaysSoThroughTheButton)
{
    TfrmConfSepExp* f = OpenWithDates();
    SetRows(0);
    dialogs.ExpectMessage(mrOk);
    Button(f)->Click();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Message), QStringList{Button(f)->EmptyError()});
}

INSTANTIATE_TEST_SUITE_P(Table, NumberCheck, testing::ValuesIn(numberCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Numbers, TheExpeditionLookupIgnoresTheTypedNumberAndListsEveryStatus)
{
    TfrmConfSepExp* f = OpenWithDates();
    f->medCdFilial->SetText("12");
    f->medNrExpedicao->SetText("0000000099");
    expeditionRows = {Expedition("0000000070", "P"), Expedition("77", "A"), Expedition("0000000078", "C"),
                      Expedition("0000000079", ""), Expedition("0000000080", "p"), Expedition("0000000081", QVariant())};
    QString title;
    QStringList listed;
    dialogs.ExpectLookupList([&](const TLookupListRequest& r) {
        title = r.Title;
        listed = ListedRows(r.Source->DataSet());
        return r.Source->DataSet()->Locate("NREXPEDICAO", "77", {});
    });

    f->btnNrExpedicao->Click();

    EXPECT_EQ(NumberListCalls(), QList<QStringList>{numberCases[0].lookupArgs});
    EXPECT_EQ(title, "Expedição");
    EXPECT_EQ(listed, (QStringList{"0000000070 | 03/05/2024 | Pendente", "77 | 03/05/2024 | Em Andamento",
                                   "0000000078 | 03/05/2024 | Concluída", "0000000079 | 03/05/2024 | Concluída",
                                   "0000000080 | 03/05/2024 | Concluída", "0000000081 | 03/05/2024 | Concluída"}));
    EXPECT_EQ(f->medNrExpedicao->Text(), "77") << "copied as listed";
    EXPECT_EQ(Focused(f), "medNrExpedicao");
    Tab(f->medNrExpedicao);
    EXPECT_EQ(f->medNrExpedicao->Text(), "0000000077") << "padded on leaving the edit";
}

TEST_F(Numbers, TheOrderLookupIgnoresTheTypedNumberAndCopiesThePick)
{
    TfrmConfSepExp* f = OpenWithDates();
    f->medCdFilial->SetText("12");
    f->medNrPedido->SetText("0000000099");
    orderRows = {Order("0000500001"), Order("7"), Order("0000500003")};
    QStringList listed;
    dialogs.ExpectLookupList([&](const TLookupListRequest& r) {
        listed = ListedRows(r.Source->DataSet());
        return r.Source->DataSet()->Locate("NRPEDIDO", "7", {});
    });

    f->btnNrPedido->Click();

    EXPECT_EQ(NumberListCalls(), QList<QStringList>{numberCases[1].lookupArgs});
    EXPECT_EQ(listed, (QStringList{"0000500001", "7", "0000500003"}));
    EXPECT_EQ(f->medNrPedido->Text(), "7");
    EXPECT_EQ(Focused(f), "medNrPedido");
    BackTab(f->medNrPedido);
    EXPECT_EQ(f->medNrPedido->Text(), "0000000007");
}

TEST_F(Numbers, LeavingANumberPadsItAndLeavesAnEmptyOneEmpty)
{
    TfrmConfSepExp* f = OpenWithDates();
    for (TMaskEdit* edit : {f->medNrExpedicao, f->medNrPedido}) {
        Enter(edit, "305");
        BackTab(edit);
        EXPECT_EQ(edit->Text(), "0000000305") << edit->Name().toStdString();
        Enter(edit, "");
        BackTab(edit);
        EXPECT_EQ(edit->Text(), "") << edit->Name().toStdString();
    }
    EXPECT_TRUE(NumberListCalls().isEmpty()) << "leaving a number checks nothing";
}

} // namespace
