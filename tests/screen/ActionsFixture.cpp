#include "ActionsFixture.h"

#include "PacketRows.h"
#include "rpc/Envelope.h"
#include "server/PacketLayouts.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"
#include "ui/Dispatch.h"

#include <QTableView>

namespace {

const QString Branch = QStringLiteral("0001");

bool Matches(const QVariantMap& row, const QString& invoice)
{
    return row.value("CDFILIAL") == Branch && row.value("NRLANCTONF") == invoice;
}

} // namespace

QVariantMap TWorkListDouble::Invoice(const QString& invoice)
{
    return {{"CDFILIAL", Branch}, {"NREXPEDICAO", "0000000007"}, {"NRLANCTONF", invoice},
            {"NMRAZSOCCLIE", "Cliente " + invoice}, {"IDTPIJURCLIE", "J"}, {"IDSITSEPNF", "S"}};
}

QVariantMap TWorkListDouble::Item(const QString& invoice, const QString& product, double toShip, double read,
                                  const QString& status)
{
    return {{"CDFILIAL", Branch},       {"NREXPEDICAO", "0000000007"}, {"NRLANCTONF", invoice},
            {"CDPRODUTO", product},     {"CDARVPROD", "0101" + product}, {"NMPRODUTO", "Produto " + product},
            {"SGUNIDADE", "UN"},        {"QTITEMPROD", toShip},         {"QTRESPRODPED", read},
            {"IDSTATUSSEPSNCM", status}, {"IDCOLETA", "S"},             {"NRITEMPED", "1"}};
}

QVariantMap TWorkListDouble::Reading(const QString& invoice, const QString& product, const QString& ium)
{
    return {{"CDFILIAL", Branch},   {"NREXPEDICAO", "0000000007"}, {"NRLANCTONF", invoice},
            {"CDALMOXARIFE", "01"}, {"NRLOTEESTQ", "L1"},          {"CDIUMPROD", ium},
            {"CDPRODUTO", product}};
}

std::optional<Rpc::TMessage> TWorkListDouble::Answer(const Rpc::TCall& call)
{
    // By-reference arguments come back as sent, but for the expedition
    // filter when the test has the server rewrite it.
    QVariantList refs;
    for (int index : call.ByRef)
        refs << (index == 1 && !ExpeditionFilterReply.isEmpty() ? QVariant(ExpeditionFilterReply) : call.Args[index]);
    auto reply = [&](const QVariant& value) { return Rpc::TResult{call.Id, value, refs}; };
    if (call.Method == Remote::DeleteIUMProd)
        Deltas << call.Args.value(0).value<TDataPacket>();
    if (Refusals.contains(call.Method))
        return reply(Rpc::Failure(Refusals.take(call.Method)));
    if (call.Method == Remote::GetDados) {
        QVariantList packets{QVariant::fromValue(PacketOf(Layout::Invoices(), Invoices)),
                             QVariant::fromValue(PacketOf(Layout::Items(), Items)),
                             QVariant::fromValue(PacketOf(Layout::Readings(), Readings))};
        if (std::exchange(MalformedWorkList, false))
            packets.removeLast();
        return reply(Rpc::Success(packets));
    }
    if (call.Method == Remote::GetNrLancamento) {
        // The expeditions of the work list: the one asked for when a number
        // is given, all of them for a word or "T".
        const QString asked = call.Args.value(1).toString();
        const bool number = asked.size() == 10 && asked.toULongLong() > 0;
        QList<QVariantMap> rows;
        QStringList seen;
        for (const QVariantMap& invoice : std::as_const(Invoices)) {
            const QString expedition = invoice.value("NREXPEDICAO").toString();
            if (seen.contains(expedition) || (number && expedition != asked))
                continue;
            seen << expedition;
            rows << QVariantMap{{"CDFILIAL", Branch}, {"NREXPEDICAO", expedition}, {"IDSTATUSSEP", "AN"}};
        }
        return reply(Rpc::Success(QVariant::fromValue(PacketOf(Layout::Expeditions(), rows))));
    }
    if (call.Method == Remote::GetItensIUM) {
        QList<QVariantMap> rows;
        for (const QVariantMap& item : std::as_const(Items))
            if (Matches(item, call.Args.value(1).toString())) {
                QVariantMap row;
                for (const TFieldDesc& d : Layout::ReadingItems())
                    if (item.contains(d.Name))
                        row[d.Name] = item[d.Name];
                row["CDGTIN"] = "0789" + item["CDPRODUTO"].toString();
                row["IDCONTROLAIUM"] = "S";
                rows << row;
            }
        return reply(Rpc::Success(QVariant::fromValue(PacketOf(Layout::ReadingItems(), rows))));
    }
    if (call.Method == Remote::DeleteIUMProd) {
        const TDataPacket& delta = Deltas.last();
        for (int r = 0; r < delta.RowCount(); ++r) {
            const QString ium = delta.String(r, delta.IndexOf("CDIUMPROD"));
            Readings.removeIf([&](const QVariantMap& row) { return row.value("CDIUMPROD") == ium; });
            for (QVariantMap& item : Items)
                if (Matches(item, delta.String(r, delta.IndexOf("NRLANCTONF"))) &&
                    item["CDPRODUTO"] == delta.String(r, delta.IndexOf("CDPRODUTO"))) {
                    item["QTRESPRODPED"] = item["QTRESPRODPED"].toDouble() - 1;
                    item["IDSTATUSSEPSNCM"] = "N";
                }
        }
        return reply(Rpc::Success());
    }
    if (call.Method == Remote::SetConfRastrOK) {
        const QString invoice = call.Args.value(1).toString();
        Invoices.removeIf([&](const QVariantMap& row) { return Matches(row, invoice); });
        Items.removeIf([&](const QVariantMap& row) { return Matches(row, invoice); });
        Readings.removeIf([&](const QVariantMap& row) { return Matches(row, invoice); });
        return reply(Rpc::Success());
    }
    return std::nullopt;
}

void ActionsTest::SetUp()
{
    ScreenTest::SetUp();
    const auto stock = server.OnCall;
    server.OnCall = [this, stock](const Rpc::TCall& call) {
        if (auto answer = work.Answer(call))
            return answer;
        return stock(call);
    };
    SeedWorkList();
}

void ActionsTest::UseDatabase(const QString& path)
{
    database.reset();
    Varneth::SetDatabasePath(path);
    database = std::make_unique<TdtmDBGeral>();
    database->Open();
}

void ActionsTest::SeedWorkList()
{
    using W = TWorkListDouble;
    work.Invoices = {W::Invoice("0000000101"), W::Invoice("0000000102"), W::Invoice("0000000103")};
    work.Items = {W::Item("0000000101", "11", 2, 2, "S"), W::Item("0000000102", "21", 3, 1, "N"),
                  W::Item("0000000102", "22", 1, 1, "S"), W::Item("0000000103", "31", 1, 1, "S")};
    work.Readings = {W::Reading("0000000101", "11", "IUM-A1"), W::Reading("0000000101", "11", "IUM-A2"),
                     W::Reading("0000000102", "21", "IUM-B1"), W::Reading("0000000102", "22", "IUM-B2"),
                     W::Reading("0000000103", "31", "IUM-C1")};
}

TfrmConfSepExp* ActionsTest::OpenLoaded(const QDate& from, const QDate& to)
{
    f = OpenScreen();
    const TDateTime first = DateTimeFromQDate(from);
    const TDateTime last = DateTimeFromQDate(to);
    f->depInicial->SetDate(first);
    f->depFinal->SetDate(last);
    f->depSaidaInicial->SetDate(first);
    f->depSaidaFim->SetDate(last);
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(f->dbgAtiva, f->dbgNotaFiscal);
    EXPECT_TRUE(f->cdsNotaFiscal->Active()) << "the work list did not load";
    return f;
}

bool ActionsTest::Act(const std::function<void()>& action)
{
    const bool ok = Dispatch(f, action);
    Application->ProcessMessages();
    return ok;
}

void ActionsTest::DoubleClickInvoice(const QString& invoice)
{
    const int row = int(Column(f->cdsNotaFiscal, "NRLANCTONF").indexOf(invoice));
    ASSERT_GE(row, 0) << invoice.toStdString() << " is not in the invoice grid";
    QTableView* view = f->dbgNotaFiscal->View();
    view->scrollTo(view->model()->index(row, 0));
    const QPoint at(view->viewport()->width() / 2, view->rowViewportPosition(row) + view->rowHeight(row) / 2);
    // A double-click is a click and then the double-click event; QTest's
    // double-click sends the second part only.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    Application->ProcessMessages();
}

void ActionsTest::Select(const QString& invoice)
{
    ASSERT_TRUE(f->cdsNotaFiscal->Locate("NRLANCTONF", invoice, {}));
}

QString ActionsTest::CurrentInvoice() const
{
    return f->cdsNotaFiscalNRLANCTONF->AsString();
}

QStringList ActionsTest::Column(TDataSet* data, const char* field)
{
    QStringList values;
    for (int i = 0; i < data->RecordCount(); ++i) {
        TDisplayRowScope row(data, i);
        values << data->FieldByName(QLatin1String(field))->AsString();
    }
    return values;
}

int ActionsTest::CallsOf(const QString& method) const
{
    return int(std::count_if(server.Calls.begin(), server.Calls.end(),
                             [&](const Rpc::TCall& call) { return call.Method == method; }));
}

Rpc::TCall ActionsTest::LastCall(const QString& method) const
{
    for (auto call = server.Calls.crbegin(); call != server.Calls.crend(); ++call)
        if (call->Method == method)
            return *call;
    ADD_FAILURE() << "no call of " << method.toStdString();
    return {};
}
