// GetDados, GetNrLancamento and the stock questions against the real server
// with the demo data; nothing here changes data.
#include "ServerSession.h"
#include "netconn/Lib00200.h"

#include <QSqlRecord>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

class WorkList : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new TAppServerProcess(); }
    static void TearDownTestSuite() { delete server; }
    void SetUp() override
    {
        net = Connect(*server);
        db = std::make_unique<TDbView>(*server);
    }

    static TAppServerProcess* server;
    std::unique_ptr<TNetConnection> net;
    std::unique_ptr<TDbView> db;
};

TAppServerProcess* WorkList::server = nullptr;

QList<TFieldDesc> Fields(std::initializer_list<std::tuple<const char*, TFieldType, int>> list)
{
    QList<TFieldDesc> out;
    for (const auto& [name, type, size] : list)
        out.append({QString::fromLatin1(name), type, size});
    return out;
}

constexpr auto S = TFieldType::ftString;
constexpr auto F = TFieldType::ftFloat;
constexpr auto D = TFieldType::ftDateTime;

TEST_F(WorkList, PacketsCarryExactlyTheFieldsOfTheWorkListDataSets)
{
    const TWorkListReply reply = GetDados(*net, QStringLiteral("0001"));
    EXPECT_EQ(reply.Invoices.Fields(),
              Fields({{"CDFILIAL", S, 4}, {"NREXPEDICAO", S, 10}, {"NRLANCTONF", S, 10}, {"DTENTRSAID", D, 0},
                      {"CDCLIENTE", S, 21}, {"NMRAZSOCCLIE", S, 150}, {"NMFANTCLIE", S, 150}, {"NMFILIAL", S, 30},
                      {"NRINSJURCLIE", S, 20}, {"IDTPIJURCLIE", S, 1}, {"CDFILIEMIT", S, 4}, {"CDTIPOOPER", S, 2},
                      {"IDENTRSAIDOP", S, 1}, {"IDSITSEPNF", S, 1}, {"QTVOLNF", F, 0}}));
    EXPECT_EQ(reply.Items.Fields(),
              Fields({{"CDFILIAL", S, 4}, {"NREXPEDICAO", S, 10}, {"NRLANCTONF", S, 10}, {"CDPRODUTO", S, 10},
                      {"CDARVPROD", S, 20}, {"NMPRODUTO", S, 50}, {"SGUNIDADE", S, 10}, {"QTITEMPROD", F, 0},
                      {"QTRESPRODPED", F, 0}, {"IDSTATUSSEPSNCM", S, 1}, {"IDCOLETA", S, 1}, {"NRITEMPED", S, 1}}));
    EXPECT_EQ(reply.Readings.Fields(),
              Fields({{"CDFILIAL", S, 4}, {"NREXPEDICAO", S, 10}, {"NRLANCTONF", S, 10}, {"CDALMOXARIFE", S, 6},
                      {"CDLOCALESTOQ", S, 6}, {"NRLOTEESTQ", S, 20}, {"NRSUBLOTE", S, 4}, {"CDIUMPROD", S, 100},
                      {"DTVALILOTE", D, 0}, {"DSALMOXARIFE", S, 30}, {"DSLOCALESTOQ", S, 30}, {"CDPRODUTO", S, 10}}));
    EXPECT_GT(reply.Readings.RowCount(), 0);
}

TEST_F(WorkList, ListsTheBranchsUnconfirmedInvoicesByNumber)
{
    const TWorkListReply reply = GetDados(*net, QStringLiteral("0001"));
    const TDataPacket& nf = reply.Invoices;
    EXPECT_EQ(nf.RowCount(), db->Value(QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND IDCONFRASTR = 'N'")).toInt());
    EXPECT_GT(db->Value(QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND IDCONFRASTR = 'S'")).toInt(), 0);
    for (int r = 0; r < nf.RowCount(); ++r) {
        EXPECT_EQ(nf.String(r, Col(nf, "CDFILIAL")), QStringLiteral("0001"));
        if (r > 0) {
            EXPECT_LT(nf.String(r - 1, Col(nf, "NRLANCTONF")), nf.String(r, Col(nf, "NRLANCTONF")));
        }
        const QVariant confirmed = db->Value(QStringLiteral("SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"),
                                             {nf.String(r, Col(nf, "NRLANCTONF"))});
        EXPECT_EQ(confirmed, QVariant(QStringLiteral("N")));
    }
    // Both person types reach the client with their registration numbers.
    QSet<QString> types;
    for (int r = 0; r < nf.RowCount(); ++r)
        types.insert(nf.String(r, Col(nf, "IDTPIJURCLIE")));
    EXPECT_EQ(types, (QSet<QString>{QStringLiteral("F"), QStringLiteral("J")}));
}

// QTRESPRODPED counts the readings of the item's product on its invoice;
// the status is blank without IUM control, "S" when complete, "N" otherwise.
TEST_F(WorkList, ItemsCarryTheirReadingCountAndStatus)
{
    const TWorkListReply reply = GetDados(*net, QStringLiteral("0001"));
    const TDataPacket& it = reply.Items;
    const TDataPacket& li = reply.Readings;
    QHash<QString, int> readings;
    for (int r = 0; r < li.RowCount(); ++r)
        ++readings[li.String(r, Col(li, "NRLANCTONF")) + u'/' + li.String(r, Col(li, "CDPRODUTO"))];

    QSet<QString> statuses;
    for (int r = 0; r < it.RowCount(); ++r) {
        const QString key = it.String(r, Col(it, "NRLANCTONF")) + u'/' + it.String(r, Col(it, "CDPRODUTO"));
        const double read = it.Number(r, Col(it, "QTRESPRODPED"));
        EXPECT_EQ(read, readings.value(key)) << key.toStdString();
        const bool controlled = db->Value(QStringLiteral("SELECT IDCONTROLAIUM FROM PRODUTO WHERE CDPRODUTO = ?"),
                                          {it.String(r, Col(it, "CDPRODUTO"))}) == QVariant(QStringLiteral("S"));
        const QString expected = !controlled ? QString()
                                 : read == it.Number(r, Col(it, "QTITEMPROD")) ? QStringLiteral("S")
                                                                                : QStringLiteral("N");
        EXPECT_EQ(it.String(r, Col(it, "IDSTATUSSEPSNCM")), expected) << key.toStdString();
        statuses.insert(expected);
        if (r > 0) {
            EXPECT_LE(it.String(r - 1, Col(it, "NRLANCTONF")), it.String(r, Col(it, "NRLANCTONF")));
        }
    }
    EXPECT_EQ(statuses.size(), 3) << "the demo data has items of every status";

    // Readings by invoice, then product.
    for (int r = 1; r < li.RowCount(); ++r) {
        const QString prev = li.String(r - 1, Col(li, "NRLANCTONF")) + li.String(r - 1, Col(li, "CDPRODUTO"));
        EXPECT_LE(prev, li.String(r, Col(li, "NRLANCTONF")) + li.String(r, Col(li, "CDPRODUTO")));
    }
}

TEST_F(WorkList, WarehouseAndLocationDescriptionsComeWithTheReadings)
{
    const TDataPacket li = GetDados(*net, QStringLiteral("0001")).Readings;
    ASSERT_GT(li.RowCount(), 0);
    EXPECT_FALSE(li.String(0, Col(li, "DSALMOXARIFE")).isEmpty());
    EXPECT_TRUE(li.String(0, Col(li, "DSLOCALESTOQ")).startsWith(QStringLiteral("Corredor")));
    const TDataPacket plain = GetDados(*net, QStringLiteral("0002")).Readings;
    ASSERT_GT(plain.RowCount(), 0);
    EXPECT_TRUE(plain.IsNull(0, Col(plain, "CDALMOXARIFE")));
}

TEST_F(WorkList, ExpeditionAndOrderFiltersLimitTheInvoicesAndComeBackUnchanged)
{
    const TDataPacket all = GetDados(*net, QStringLiteral("0001")).Invoices;
    ASSERT_GT(all.RowCount(), 6);
    const QString expedition = all.String(5, Col(all, "NREXPEDICAO"));
    const QString invoice = all.String(5, Col(all, "NRLANCTONF"));
    const QString order = db->Value(QStringLiteral("SELECT NRPEDIDO FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"),
                                    {invoice}).toString();

    QString expeditionFilter = expedition;
    QString orderFilter = QStringLiteral("T");
    const QVariant payload = Consiste::CheckResultServ(
        net->AppServer().Call(Remote::GetDados, {QStringLiteral("0001"), ByRef(expeditionFilter), ByRef(orderFilter),
                                                 TDateTime(), TDateTime(), TDateTime(), TDateTime()}),
        true, 0);
    EXPECT_EQ(expeditionFilter, expedition);
    EXPECT_EQ(orderFilter, QStringLiteral("T"));
    const TDataPacket byExpedition = payload.toList().at(0).value<TDataPacket>();
    ASSERT_GT(byExpedition.RowCount(), 0);
    EXPECT_LT(byExpedition.RowCount(), all.RowCount());
    for (int r = 0; r < byExpedition.RowCount(); ++r)
        EXPECT_EQ(byExpedition.String(r, Col(byExpedition, "NREXPEDICAO")), expedition);

    const TWorkListReply byOrder = GetDados(*net, QStringLiteral("0001"), QStringLiteral("T"), order);
    ASSERT_EQ(byOrder.Invoices.RowCount(), 1);
    EXPECT_EQ(byOrder.Invoices.String(0, Col(byOrder.Invoices, "NRLANCTONF")), invoice);
    for (int r = 0; r < byOrder.Items.RowCount(); ++r)
        EXPECT_EQ(byOrder.Items.String(r, Col(byOrder.Items, "NRLANCTONF")), invoice);
    for (int r = 0; r < byOrder.Readings.RowCount(); ++r)
        EXPECT_EQ(byOrder.Readings.String(r, Col(byOrder.Readings, "NRLANCTONF")), invoice);

    EXPECT_EQ(GetDados(*net, QStringLiteral("0001"), QStringLiteral("0000000000")).Invoices.RowCount(), 0);
}

// Date parts only, bounds included, 0 an open bound.
TEST_F(WorkList, DateRangesCompareDatePartsWithBoundsIncluded)
{
    const TDataPacket all = GetDados(*net, QStringLiteral("0001")).Invoices;
    const int col = Col(all, "DTENTRSAID");
    const TDateTime day = DateOf(TDateTime(all.Number(all.RowCount() / 2, col)));
    int sameDay = 0, fromDay = 0, toDay = 0;
    for (int r = 0; r < all.RowCount(); ++r) {
        const double d = DateOf(TDateTime(all.Number(r, col)));
        sameDay += d == day;
        fromDay += d >= day;
        toDay += d <= day;
    }
    ASSERT_GT(sameDay, 0);
    ASSERT_NE(TDateTime(all.Number(all.RowCount() / 2, col)).Val, day.Val) << "the outgoing time is not midnight";
    const QString b = QStringLiteral("0001"), t = QStringLiteral("T");
    EXPECT_EQ(GetDados(*net, b, t, t, {}, {}, day, day).Invoices.RowCount(), sameDay);
    EXPECT_EQ(GetDados(*net, b, t, t, {}, {}, day, {}).Invoices.RowCount(), fromDay);
    EXPECT_EQ(GetDados(*net, b, t, t, {}, {}, {}, day).Invoices.RowCount(), toDay);

    // Order dates: the invoice's own order date selects it.
    const QString invoice = all.String(0, Col(all, "NRLANCTONF"));
    const QDate orderDate = QDate::fromString(
        db->Value(QStringLiteral("SELECT DTPEDIDO FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"), {invoice}).toString(),
        Qt::ISODate);
    const TDataPacket byOrderDate =
        GetDados(*net, b, t, t, DateTimeFromQDate(orderDate), DateTimeFromQDate(orderDate)).Invoices;
    bool found = false;
    for (int r = 0; r < byOrderDate.RowCount(); ++r)
        found |= byOrderDate.String(r, Col(byOrderDate, "NRLANCTONF")) == invoice;
    EXPECT_TRUE(found);
    EXPECT_LT(byOrderDate.RowCount(), all.RowCount());
}

// A number filter that is empty or blank means any number, as "T" does; a
// number is compared without the blanks around it.
TEST_F(WorkList, EmptyOrBlankFilterMeansAnyNumberAndBlanksAroundANumberDoNotCount)
{
    const QString b = QStringLiteral("0001"), t = QStringLiteral("T");
    const TDataPacket all = GetDados(*net, b).Invoices;
    ASSERT_GT(all.RowCount(), 0);
    for (const QString& none : {QString(), QStringLiteral("   "), QStringLiteral(" T ")}) {
        EXPECT_EQ(GetDados(*net, b, none, t).Invoices.RowCount(), all.RowCount()) << "expedition '" << none.toStdString() << "'";
        EXPECT_EQ(GetDados(*net, b, t, none).Invoices.RowCount(), all.RowCount()) << "order '" << none.toStdString() << "'";
    }
    const QString expedition = all.String(0, Col(all, "NREXPEDICAO"));
    const TDataPacket exact = GetDados(*net, b, expedition).Invoices;
    ASSERT_GT(exact.RowCount(), 0);
    EXPECT_EQ(GetDados(*net, b, u' ' + expedition + u' ').Invoices.RowCount(), exact.RowCount());
}

// A date argument outside the calendar is an argument fault, not a bound of
// null that silently lists nothing; the calendar's first and last days are
// dates like any other.
struct TOutOfCalendar {
    const char* name;
    double value;
};

class DateArguments : public WorkList, public ::testing::WithParamInterface<TOutOfCalendar> {};

TEST_P(DateArguments, OutsideTheCalendarAreRefused)
{
    const QString b = QStringLiteral("0001"), t = QStringLiteral("T");
    const TDateTime date(GetParam().value);
    const std::function<void()> calls[] = {
        [&] { GetDados(*net, b, t, t, date); },
        [&] { GetDados(*net, b, t, t, {}, {}, {}, date); },
        [&] {
            net->AppServer().Call(Remote::GetNrLancamento,
                                  {b, t, t, TDateTime(), date, TDateTime(), TDateTime(), t, QStringLiteral("EXP")});
        },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "a date outside the calendar was taken";
        } catch (const EServerError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("data fora do calendário (de 01/01/0001 a 31/12/9999)")))
                << e.Message().toStdString();
        }
    }
    EXPECT_GT(GetDados(*net, b).Invoices.RowCount(), 0) << "the connection serves on";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DateArguments,
    ::testing::Values(TOutOfCalendar{"year10000", DateTimeFromQDate(QDate(10000, 1, 1))},
                      TOutOfCalendar{"beforeYear1", DateTimeFromQDate(QDate(-1, 12, 31))},
                      TOutOfCalendar{"beyondEveryDate", 1e300}, TOutOfCalendar{"notANumber", std::nan("")},
                      TOutOfCalendar{"infinite", -std::numeric_limits<double>::infinity()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkList, TheCalendarsFirstAndLastDaysAreDates)
{
    const QString b = QStringLiteral("0001"), t = QStringLiteral("T");
    const TDateTime first = DateTimeFromQDate(QDate(1, 1, 1));
    const TDateTime last = DateTimeFromQDate(QDate(9999, 12, 31));
    const int all = GetDados(*net, b).Invoices.RowCount();
    EXPECT_EQ(GetDados(*net, b, t, t, first, last, first, last).Invoices.RowCount(), all);
    EXPECT_EQ(GetDados(*net, b, t, t, last, last).Invoices.RowCount(), 0);
}

QVariant NumberList(TNetConnection& net, const QString& expedition, const QString& order, const QString& status,
                    const QString& kind, const QString& branch = QStringLiteral("0001"))
{
    return net.AppServer().Call(Remote::GetNrLancamento, {branch, expedition, order, TDateTime(), TDateTime(),
                                                          TDateTime(), TDateTime(), status, kind});
}

TEST_F(WorkList, ExpeditionListHonoursNumberAndStatus)
{
    const auto expeditions = [&](const QString& number, const QString& status) {
        return Consiste::CheckResultServ(NumberList(*net, number, QStringLiteral("PEDIDO"), status, QStringLiteral("EXP")),
                                         true, 0)
            .value<TDataPacket>();
    };
    const TDataPacket all = expeditions(QStringLiteral("EXPEDICAO"), QStringLiteral("T"));
    EXPECT_EQ(all.Fields(), Fields({{"CDFILIAL", S, 4}, {"NREXPEDICAO", S, 10}, {"DTEXPEDICAO", D, 0}, {"IDSTATUSSEP", S, 2}}));
    EXPECT_EQ(all.RowCount(), db->Value(QStringLiteral("SELECT COUNT(*) FROM EXPEDICAO WHERE CDFILIAL = '0001'")).toInt());
    EXPECT_EQ(expeditions(QStringLiteral("EXPEDICAO"), QString()).RowCount(), all.RowCount());
    int pending = 0;
    for (int r = 0; r < all.RowCount(); ++r)
        pending += all.String(r, Col(all, "IDSTATUSSEP")) == QLatin1String("P");
    ASSERT_GT(pending, 0);
    ASSERT_LT(pending, all.RowCount());
    EXPECT_EQ(expeditions(QStringLiteral("EXPEDICAO"), QStringLiteral("P")).RowCount(), pending);

    const QString number = all.String(1, Col(all, "NREXPEDICAO"));
    const TDataPacket one = expeditions(number, QString());
    ASSERT_EQ(one.RowCount(), 1);
    EXPECT_EQ(one.String(0, Col(one, "NREXPEDICAO")), number);
    EXPECT_EQ(expeditions(QStringLiteral("  ") + number + u' ', QString()).RowCount(), 1)
        << "blanks around a number decide nothing and compare as nothing";
    EXPECT_EQ(expeditions(QStringLiteral("  "), QString()).RowCount(), all.RowCount());
    EXPECT_EQ(expeditions(QStringLiteral("9999999999"), QString()).RowCount(), 0);
    EXPECT_EQ(Refusal(NumberList(*net, QStringLiteral("EXPEDICAO"), QStringLiteral("PEDIDO"), QStringLiteral("X"),
                                 QStringLiteral("EXP"))),
              QStringLiteral("Situação de separação inválida: X"));
}

TEST_F(WorkList, OrderListAndUnknownKind)
{
    const TDataPacket all = Consiste::CheckResultServ(NumberList(*net, QStringLiteral("EXPEDICAO"), QStringLiteral("PEDIDO"),
                                                                 QStringLiteral("T"), QStringLiteral("PED")),
                                                      true, 0)
                                .value<TDataPacket>();
    EXPECT_EQ(all.Fields(), Fields({{"NRPEDIDO", S, 20}, {"CDFILIAL", S, 4}}));
    ASSERT_GT(all.RowCount(), 1);
    const QString order = all.String(1, 0);
    const TDataPacket one = Consiste::CheckResultServ(
                                NumberList(*net, QStringLiteral("EXPEDICAO"), order, QString(), QStringLiteral("PED")), true, 0)
                                .value<TDataPacket>();
    ASSERT_EQ(one.RowCount(), 1);
    EXPECT_EQ(one.String(0, 0), order);
    EXPECT_EQ(Consiste::CheckResultServ(NumberList(*net, QStringLiteral("EXPEDICAO"), u' ' + order + QStringLiteral("  "),
                                                   QString(), QStringLiteral("PED")),
                                        true, 0)
                  .value<TDataPacket>()
                  .RowCount(),
              1);
    EXPECT_EQ(Refusal(NumberList(*net, QStringLiteral("EXPEDICAO"), QStringLiteral("PEDIDO"), QStringLiteral("T"),
                                 QStringLiteral("NFX"))),
              QStringLiteral("Tipo de lista inválido: NFX"));
}

struct TStockCase {
    const char* branch;
    bool warehouses;
    bool locations;
};

class Stock : public WorkList, public ::testing::WithParamInterface<TStockCase> {};

TEST_P(Stock, AnswersTheBranchsSettings)
{
    auto stock = Connect(*server, Remote::Estoque);
    const QString branch = QString::fromUtf8(GetParam().branch);
    EXPECT_EQ(Lib00200::Utiliza_Almoxarifado(stock.get(), branch), GetParam().warehouses);
    EXPECT_EQ(Lib00200::Utiliza_LocalEstoque(stock.get(), branch), GetParam().locations);
}

INSTANTIATE_TEST_SUITE_P(Branches, Stock,
                         ::testing::Values(TStockCase{"0001", true, true}, TStockCase{"0002", false, false},
                                           TStockCase{"0003", true, false}, TStockCase{"", false, false},
                                           TStockCase{"9999", false, false},
                                           TStockCase{"0001' OR '1'='1", false, false}));

// Every string argument is data: quotes and SQL in them select nothing and
// change nothing.
TEST_F(WorkList, SqlInjectionInEveryStringArgumentIsPlainData)
{
    const QString attack = QStringLiteral("0001' OR '1'='1");
    const QString dropper = QStringLiteral("x'); DELETE FROM LEITURAIUM; --");
    const qint64 readings = db->Count(QStringLiteral("LEITURAIUM"));
    const qint64 invoices = db->Count(QStringLiteral("NOTAFISCAL"));
    const QString confirmedSql = QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE IDCONFRASTR = 'S'");
    const QVariant confirmed = db->Value(confirmedSql);
    const QString b = QStringLiteral("0001"), t = QStringLiteral("T");

    EXPECT_EQ(GetDados(*net, attack).Invoices.RowCount(), 0);
    EXPECT_EQ(GetDados(*net, dropper).Invoices.RowCount(), 0);
    EXPECT_EQ(GetDados(*net, b, QStringLiteral("T' OR '1'='1")).Invoices.RowCount(), 0);
    EXPECT_EQ(GetDados(*net, b, t, dropper).Invoices.RowCount(), 0);
    for (const QString& kind : {QStringLiteral("EXP"), QStringLiteral("PED")}) {
        EXPECT_EQ(Consiste::CheckResultServ(NumberList(*net, attack, attack, t, kind, attack), true, 0)
                      .value<TDataPacket>().RowCount(), 0);
        EXPECT_EQ(Consiste::CheckResultServ(NumberList(*net, dropper, dropper, QString(), kind), true, 0)
                      .value<TDataPacket>().RowCount(), 0);
    }
    EXPECT_FALSE(Refusal(NumberList(*net, t, t, dropper, QStringLiteral("EXP"))).isEmpty());
    EXPECT_FALSE(Refusal(NumberList(*net, t, t, t, dropper)).isEmpty());
    EXPECT_FALSE(Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {b, QStringLiteral("0000000001' OR '1'='1")})).isEmpty());
    EXPECT_FALSE(Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {dropper, dropper})).isEmpty());
    EXPECT_FALSE(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {attack, dropper, dropper})).isEmpty());
    EXPECT_FALSE(Refusal(net->AppServer().Call(Remote::GetItensIUM, {attack, attack})).isEmpty());

    TDataPacketBuilder delta({{QStringLiteral("CDFILIAL"), S, 4}, {QStringLiteral("NRLANCTONF"), S, 10},
                              {QStringLiteral("CDIUMPROD"), S, 100}});
    delta.AddString(attack);
    delta.AddString(QStringLiteral("' OR '1'='1"));
    delta.AddString(dropper);
    delta.EndRow();
    EXPECT_FALSE(Refusal(net->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(delta.Build())})).isEmpty());

    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), readings);
    EXPECT_EQ(db->Count(QStringLiteral("NOTAFISCAL")), invoices);
    EXPECT_EQ(db->Value(confirmedSql), confirmed);
}

} // namespace
