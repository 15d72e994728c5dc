#include "ActionsFixture.h"

#include "PacketRows.h"
#include "rpc/Envelope.h"
#include "server/PacketLayouts.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"
#include "ui/Dispatch.h"

#include <QTableView>

namespace {

bool OfInvoice(const QVariantMap& row, const QString& branch, const QString& invoice)
{
    return row.value("CDFILIAL") == branch && row.value("NRLANCTONF") == invoice;
}

} // namespace

void ActionsTest::SetUp()
{
    WorkListTest::SetUp();
    const auto others = server.OnCall;
    server.OnCall = [this, others](const Rpc::TCall& call) {
        if (auto answer = AnswerAction(call))
            return answer;
        return others(call);
    };
}

std::optional<Rpc::TMessage> ActionsTest::AnswerAction(const Rpc::TCall& call)
{
    QVariantList refs;  // by-reference arguments come back as sent
    for (int index : call.ByRef)
        refs << call.Args.value(index);
    auto reply = [&](const QVariant& value) { return Rpc::TResult{call.Id, value, refs}; };
    const QString branch = call.Args.value(0).toString();

    if (call.Method == Remote::DeleteIUMProd)
        deltas << call.Args.value(0).value<TDataPacket>();
    if (refusals.contains(call.Method))
        return reply(Rpc::Failure(refusals.take(call.Method)));

    if (call.Method == Remote::GetDados && std::exchange(malformedWorkList, false))
        return reply(Rpc::Success(QVariantList{QVariant::fromValue(PacketOf(Layout::Invoices(), invoices)),
                                               QVariant::fromValue(PacketOf(Layout::Items(), items))}));
    if (call.Method == Remote::GetNrLancamento && call.Args.value(8).toString() == QLatin1String("EXP")) {
        // The expeditions of the work list: the one asked for, or all of
        // them for a word or "T".
        const QString asked = call.Args.value(1).toString();
        const bool number = asked.size() == 10 && asked.toULongLong() > 0;
        QList<QVariantMap> rows;
        QStringList seen;
        for (const QVariantMap& invoice : std::as_const(invoices)) {
            const QString expedition = invoice.value("NREXPEDICAO").toString();
            if (!seen.contains(expedition) && (!number || expedition == asked)) {
                seen << expedition;
                rows << QVariantMap{{"CDFILIAL", branch}, {"NREXPEDICAO", expedition}, {"IDSTATUSSEP", "A"}};
            }
        }
        return reply(Rpc::Success(QVariant::fromValue(PacketOf(Layout::Expeditions(), rows))));
    }
    if (call.Method == Remote::GetItensIUM) {
        QList<QVariantMap> rows;
        for (const QVariantMap& item : std::as_const(items))
            if (OfInvoice(item, branch, call.Args.value(1).toString()))
                rows << QVariantMap{{"CDFILIAL", branch},
                                    {"NRLANCTONF", item["NRLANCTONF"]},
                                    {"CDPRODUTO", item["CDPRODUTO"]},
                                    {"CDGTIN", "789" + item["CDPRODUTO"].toString()},
                                    {"IDCONTROLAIUM", "S"},
                                    {"QTITEMPROD", item["QTITEMPROD"]},
                                    {"QTRESPRODPED", item["QTRESPRODPED"]},
                                    {"IDSTATUSSEPSNCM", item["IDSTATUSSEPSNCM"]}};
        return reply(Rpc::Success(QVariant::fromValue(PacketOf(Layout::ReadingItems(), rows))));
    }
    if (call.Method == Remote::DeleteIUMProd) {
        const TDataPacket& delta = deltas.last();
        auto text = [&](int row, const char* field) { return delta.String(row, delta.IndexOf(field)); };
        for (int r = 0; r < delta.RowCount(); ++r) {
            readings.removeIf([&](const QVariantMap& row) { return row.value("CDIUMPROD") == text(r, "CDIUMPROD"); });
            for (QVariantMap& item : items)
                if (OfInvoice(item, text(r, "CDFILIAL"), text(r, "NRLANCTONF")) &&
                    item["CDPRODUTO"] == text(r, "CDPRODUTO")) {
                    item["QTRESPRODPED"] = item["QTRESPRODPED"].toDouble() - 1;
                    item["IDSTATUSSEPSNCM"] = "N";
                }
        }
        return reply(Rpc::Success());
    }
    if (call.Method == Remote::SetConfRastrOK) {
        const QString invoice = call.Args.value(1).toString();
        for (QList<QVariantMap>* rows : {&invoices, &items, &readings})
            rows->removeIf([&](const QVariantMap& row) { return OfInvoice(row, branch, invoice); });
        return reply(Rpc::Success());
    }
    return std::nullopt;
}

TfrmConfSepExp* ActionsTest::OpenLoaded()
{
    f = OpenFilled();
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(f->dbgAtiva, f->dbgNotaFiscal);
    EXPECT_TRUE(f->cdsNotaFiscal->Active()) << "the work list did not load";
    return f;
}

void ActionsTest::UseDatabase(const QString& path)
{
    database.reset();
    Varneth::SetDatabasePath(path);
    database = std::make_unique<TdtmDBGeral>();
    database->Open();
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
