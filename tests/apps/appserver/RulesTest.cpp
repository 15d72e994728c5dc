// The write operations of "exp13000.rdmConfRastr" and each of their refusals,
// against the real server; the database is read directly to see what was
// (not) recorded.
#include "ServerSession.h"
#include "server/Gs1.h"

#include <gtest/gtest.h>

namespace {

class Rules : public ::testing::Test {
public:
    void SetUp() override
    {
        server = std::make_unique<TAppServerProcess>();
        net = Connect(*server);
        db = std::make_unique<TDbView>(*server);
        list = GetDados(*net, branch);
    }

    QVariant Confirm(const QString& invoice) { return net->AppServer().Call(Remote::SetConfRastrOK, {branch, invoice}); }
    QVariant Delete(const TDataPacket& delta) { return net->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(delta)}); }
    QVariant Store(const QString& invoice, const QString& scan)
    {
        return net->AppServer().Call(Remote::SetLeituraIUM, {branch, invoice, scan});
    }

    // The first invoice of the work list whose items all pass `test`.
    QString InvoiceWhere(const std::function<bool(const TDataPacket&, int)>& test, bool all = true) const
    {
        const TDataPacket& it = list.Items;
        QMap<QString, bool> verdict;
        for (int r = 0; r < it.RowCount(); ++r) {
            const QString nf = it.String(r, Col(it, "NRLANCTONF"));
            const bool pass = test(it, r);
            verdict[nf] = verdict.contains(nf) ? (all ? verdict[nf] && pass : verdict[nf] || pass) : pass;
        }
        for (auto i = verdict.cbegin(); i != verdict.cend(); ++i)
            if (i.value())
                return i.key();
        return QString();
    }
    QString ReadyInvoice() const
    {
        return InvoiceWhere([](const TDataPacket& it, int r) {
            return it.String(r, Col(it, "IDSTATUSSEPSNCM")) != QLatin1String("N")
                   && (it.Number(r, Col(it, "QTITEMPROD")) != 0 || it.Number(r, Col(it, "QTRESPRODPED")) != 0);
        });
    }
    QString IncompleteInvoice() const
    {
        return InvoiceWhere([](const TDataPacket& it, int r) { return it.String(r, Col(it, "IDSTATUSSEPSNCM")) == QLatin1String("N"); },
                            false);
    }
    QString ConfirmedInvoice() const
    {
        return db->Value(QStringLiteral("SELECT NRLANCTONF FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND IDCONFRASTR = 'S'")).toString();
    }
    // Readings of the work list that belong to `invoice`, as a delta.
    TDataPacket ReadingsOf(const QString& invoice, int count) const
    {
        std::vector<int> rows;
        for (int r = 0; r < list.Readings.RowCount() && int(rows.size()) < count; ++r)
            if (list.Readings.String(r, Col(list.Readings, "NRLANCTONF")) == invoice)
                rows.push_back(r);
        return list.Readings.Select(rows);
    }
    qint64 Audits(char event) const
    {
        return db->Value(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE IDEVENTO = ?"), {QString(QChar(event))}).toLongLong();
    }
    QString Confirmation(const QString& invoice) const
    {
        return db->Value(QStringLiteral("SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"), {invoice}).toString();
    }

    const QString branch = QStringLiteral("0001");
    std::unique_ptr<TAppServerProcess> server;
    std::unique_ptr<TNetConnection> net;
    std::unique_ptr<TDbView> db;
    TWorkListReply list;
};

// Promises (2), (4) and (6) of rules/Operations.h.
TEST_F(Rules, ConfirmingAReadyInvoiceRecordsItOnceWithItsTimeAndAudit)
{
    const QString invoice = ReadyInvoice();
    ASSERT_FALSE(invoice.isEmpty());
    EXPECT_EQ(Refusal(Confirm(invoice)), QString());
    EXPECT_EQ(Confirmation(invoice), QStringLiteral("S"));
    EXPECT_FALSE(db->Value(QStringLiteral("SELECT DTCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"), {invoice}).isNull());
    EXPECT_EQ(Audits('C'), 1);

    const QString again = Refusal(Confirm(invoice));
    EXPECT_TRUE(again.startsWith(QStringLiteral("A nota fiscal %1 da filial 0001 já foi conferida para rastreio em ").arg(invoice)))
        << again.toStdString();
    EXPECT_EQ(Audits('C'), 1);
    for (int r = 0; r < GetDados(*net, branch).Invoices.RowCount(); ++r)
        EXPECT_NE(GetDados(*net, branch).Invoices.String(r, 2), invoice);
}

struct TRefusedConfirmation {
    const char* name;
    std::function<QString(const Rules&)> invoice;
    const char* message;  // %1: the invoice
};

class ConfirmRefusal : public Rules, public ::testing::WithParamInterface<TRefusedConfirmation> {};

// Promises (1), (2) and (3).
TEST_P(ConfirmRefusal, ChangesNothing)
{
    const QString invoice = GetParam().invoice(*this);
    ASSERT_FALSE(invoice.isEmpty());
    const QString before = Confirmation(invoice);
    const QString refusal = Refusal(Confirm(invoice));
    EXPECT_TRUE(refusal.startsWith(QString::fromUtf8(GetParam().message).arg(invoice))) << refusal.toStdString();
    EXPECT_EQ(Confirmation(invoice), before);
    EXPECT_EQ(Audits('C'), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Invoices, ConfirmRefusal,
    ::testing::Values(
        TRefusedConfirmation{"unknown", [](const Rules&) { return QStringLiteral("9999999999"); },
                             "A nota fiscal %1 da filial 0001 não existe."},
        TRefusedConfirmation{"alreadyConfirmed", [](const Rules& t) { return t.ConfirmedInvoice(); },
                             "A nota fiscal %1 da filial 0001 já foi conferida"},
        TRefusedConfirmation{"itemWithStatusN", [](const Rules& t) { return t.IncompleteInvoice(); },
                             "A nota fiscal %1 da filial 0001 não está pronta: o produto "},
        TRefusedConfirmation{"itemWithBothQuantitiesZero",
                             [](const Rules& t) {
                                 return t.InvoiceWhere([](const TDataPacket& it, int r) {
                                     return it.Number(r, Col(it, "QTITEMPROD")) == 0 && it.Number(r, Col(it, "QTRESPRODPED")) == 0;
                                 }, false);
                             },
                             "A nota fiscal %1 da filial 0001 não está pronta: o produto "}),
    [](const auto& info) { return std::string(info.param.name); });

// Promise (4).
TEST_F(Rules, InvoiceWithoutItemsCannotBeConfirmed)
{
    // An invoice whose items were all removed: copy a header under a new number.
    db->Rows(QStringLiteral(
        "INSERT INTO NOTAFISCAL SELECT CDFILIAL, '0009999999', NREXPEDICAO, NRPEDIDO, DTPEDIDO, DTENTRSAID, CDCLIENTE,"
        " CDFILIEMIT, CDFILIDEST, CDTIPOOPER, IDENTRSAIDOP, IDSITSEPNF, QTVOLNF, 'N', NULL FROM NOTAFISCAL"
        " WHERE CDFILIAL = '0001' AND NRLANCTONF = '0000000001'"));
    EXPECT_EQ(Refusal(Confirm(QStringLiteral("0009999999"))),
              QStringLiteral("A nota fiscal 0009999999 da filial 0001 não tem itens e não pode ser conferida."));
}

// Promise (6).
TEST_F(Rules, DeletingReadingsRemovesExactlyThemWithAudit)
{
    const QString invoice = IncompleteInvoice();
    const TDataPacket delta = ReadingsOf(invoice, 2);
    ASSERT_EQ(delta.RowCount(), 2);
    const qint64 before = db->Count(QStringLiteral("LEITURAIUM"));
    EXPECT_EQ(Refusal(Delete(delta)), QString());
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), before - 2);
    for (int r = 0; r < 2; ++r)
        EXPECT_FALSE(db->Value(QStringLiteral("SELECT 1 FROM LEITURAIUM WHERE CDIUMPROD = ?"), {delta.String(r, Col(delta, "CDIUMPROD"))}).isValid());
    EXPECT_EQ(Audits('E'), 2);

    // The same deletion again names the reading that no longer exists.
    const QString again = Refusal(Delete(delta));
    EXPECT_TRUE(again.contains(delta.String(0, Col(delta, "CDIUMPROD")))) << again.toStdString();
    EXPECT_TRUE(again.contains(QStringLiteral("não existe")));
}

// One bad row refuses the whole delta: every reading stays. Promise (1).
TEST_F(Rules, RefusedDeletionLeavesEveryReadingInPlace)
{
    const QString invoice = IncompleteInvoice();
    const TDataPacket good = ReadingsOf(invoice, 3);
    ASSERT_EQ(good.RowCount(), 3);
    TDataPacketBuilder builder(good.Fields());
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < good.FieldCount(); ++c) {
            if (good.IsNull(r, c))
                builder.AddNull();
            else if (good.Field(c).Type == TFieldType::ftString)
                builder.AddString(r == 2 && c == Col(good, "CDIUMPROD") ? QStringLiteral("NAO-EXISTE") : good.String(r, c));
            else
                builder.AddNumber(good.Number(r, c));
        }
        builder.EndRow();
    }
    const qint64 before = db->Count(QStringLiteral("LEITURAIUM"));
    const QString refusal = Refusal(Delete(builder.Build()));
    EXPECT_TRUE(refusal.contains(QStringLiteral("NAO-EXISTE"))) << refusal.toStdString();
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), before);
    EXPECT_EQ(Audits('E'), 0);
}

// Promise (2).
TEST_F(Rules, ReadingsOfAConfirmedInvoiceCannotBeDeleted)
{
    const QString confirmed = ConfirmedInvoice();
    const QString ium = db->Value(QStringLiteral("SELECT CDIUMPROD FROM LEITURAIUM WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"), {confirmed}).toString();
    ASSERT_FALSE(ium.isEmpty());
    TDataPacketBuilder delta({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                              {QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                              {QStringLiteral("CDIUMPROD"), TFieldType::ftString, 100}});
    delta.AddString(branch);
    delta.AddString(confirmed);
    delta.AddString(ium);
    delta.EndRow();
    const qint64 before = db->Count(QStringLiteral("LEITURAIUM"));
    EXPECT_TRUE(Refusal(Delete(delta.Build())).contains(QStringLiteral("já foi conferida")));
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), before);

    TDataPacketBuilder noKey({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4}});
    EXPECT_EQ(Refusal(Delete(noKey.Build())),
              QStringLiteral("O pacote de exclusão de leituras de IUM não tem o campo de texto NRLANCTONF."));
}

// Reading screen: the scan of an item not yet complete, with a fresh serial.
struct TScanTarget {
    QString invoice, product, gtin14;
    double toShip = 0, read = 0;
    QDate outgoing;
};

class Readings : public Rules {
protected:
    TScanTarget Incomplete()
    {
        const TDataPacket& it = list.Items;
        for (int r = 0; r < it.RowCount(); ++r) {
            if (it.String(r, Col(it, "IDSTATUSSEPSNCM")) != QLatin1String("N") || it.Number(r, Col(it, "QTITEMPROD")) == 0)
                continue;
            TScanTarget t;
            t.invoice = it.String(r, Col(it, "NRLANCTONF"));
            t.product = it.String(r, Col(it, "CDPRODUTO"));
            t.toShip = it.Number(r, Col(it, "QTITEMPROD"));
            t.read = it.Number(r, Col(it, "QTRESPRODPED"));
            const QString gtin = db->Value(QStringLiteral("SELECT CDGTIN FROM PRODUTO WHERE CDPRODUTO = ?"), {t.product}).toString();
            t.gtin14 = gtin.rightJustified(14, u'0');
            t.outgoing = QDate::fromString(db->Value(QStringLiteral("SELECT DTENTRSAID FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"),
                                                     {t.invoice}).toString().left(10), Qt::ISODate);
            return t;
        }
        return {};
    }
    static QString Scan(const QString& gtin14, const QString& serial, const QDate& expiry = QDate())
    {
        QString code = QStringLiteral("]d201") + gtin14 + QStringLiteral("21") + serial;
        if (expiry.isValid())
            code += QChar(29) + QStringLiteral("17") + expiry.toString(QStringLiteral("yyMMdd")) + QStringLiteral("10LT1");
        return code;
    }
};

TEST_F(Readings, StoresAScanAndCountsIt)
{
    const TScanTarget t = Incomplete();
    ASSERT_FALSE(t.invoice.isEmpty());
    const QVariant payload = Consiste::CheckResultServ(Store(t.invoice, Scan(t.gtin14, QStringLiteral("NOVO1"), t.outgoing.addYears(1))), true, 0);
    EXPECT_EQ(payload, QVariant(QVariantList{t.product, t.read + 1, t.toShip}));
    EXPECT_EQ(Audits('L'), 1);
    const QList<QVariantList> stored = db->Rows(QStringLiteral("SELECT CDIUMPROD, NRLOTEESTQ, DTVALILOTE FROM LEITURAIUM WHERE NRSERIE = 'NOVO1'"));
    ASSERT_EQ(stored.size(), 1);
    EXPECT_FALSE(stored[0][0].toString().startsWith(QStringLiteral("]d2")));
    EXPECT_EQ(stored[0][1], QVariant(QStringLiteral("LT1")));

    // The work list sees it, and the reading screen's item list too.
    const TWorkListReply after = GetDados(*net, branch);
    bool counted = false;
    for (int r = 0; r < after.Items.RowCount(); ++r)
        if (after.Items.String(r, Col(after.Items, "NRLANCTONF")) == t.invoice && after.Items.String(r, Col(after.Items, "CDPRODUTO")) == t.product)
            counted = after.Items.Number(r, Col(after.Items, "QTRESPRODPED")) == t.read + 1;
    EXPECT_TRUE(counted);
    const TDataPacket items = Consiste::CheckResultServ(net->AppServer().Call(Remote::GetItensIUM, {branch, t.invoice}), true, 0).value<TDataPacket>();
    EXPECT_GT(items.RowCount(), 0);
}

// Promises (1), (2), (3) and (5).
TEST_F(Readings, RefusesEachBadScanAndStoresNothing)
{
    const TScanTarget t = Incomplete();
    ASSERT_FALSE(t.invoice.isEmpty());
    // An IUM of the same product, read on another invoice.
    const QString someoneElses = db->Value(QStringLiteral("SELECT CDIUMPROD FROM LEITURAIUM WHERE CDPRODUTO = ? AND NRLANCTONF <> ?"),
                                           {t.product, t.invoice}).toString();
    const QString foreignGtin = QStringLiteral("07891234567895");
    const QString uncontrolled = db->Value(QStringLiteral(
        "SELECT PR.CDGTIN FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
        " WHERE IT.CDFILIAL = '0001' AND IT.NRLANCTONF = ? AND PR.IDCONTROLAIUM = 'N'"), {t.invoice}).toString();
    const QString confirmed = ConfirmedInvoice();

    struct TCase {
        QString invoice, scan, message;
    };
    const QList<TCase> cases = {
        {t.invoice, QStringLiteral("0107891234567890") + QStringLiteral("21X"), QStringLiteral("Código IUM inválido: ")},
        {t.invoice, Scan(foreignGtin, QStringLiteral("X1")), QStringLiteral("O GTIN %1 não é de nenhum produto").arg(foreignGtin)},
        {t.invoice, Scan(uncontrolled.rightJustified(14, u'0'), QStringLiteral("X2")), QStringLiteral("não é controlado por IUM")},
        {t.invoice, someoneElses, QStringLiteral("já foi lido na nota fiscal")},
        {t.invoice, Scan(t.gtin14, QStringLiteral("X3"), t.outgoing.addDays(-1)), QStringLiteral("é anterior à data de saída")},
        {confirmed, Scan(t.gtin14, QStringLiteral("X4")), QStringLiteral("já foi conferida para rastreio")},
        {QStringLiteral("9999999999"), Scan(t.gtin14, QStringLiteral("X5")), QStringLiteral("não existe")},
    };
    ASSERT_FALSE(uncontrolled.isEmpty());
    ASSERT_FALSE(someoneElses.isEmpty());
    const qint64 before = db->Count(QStringLiteral("LEITURAIUM"));
    for (const TCase& c : cases) {
        const QString refusal = Refusal(Store(c.invoice, c.scan));
        EXPECT_TRUE(refusal.contains(c.message)) << c.message.toStdString() << " / " << refusal.toStdString();
    }
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), before);
    EXPECT_EQ(Audits('L'), 0);
}

// Promise (5).
TEST_F(Readings, RefusesMoreReadingsThanTheQuantityToShip)
{
    const TScanTarget t = Incomplete();
    ASSERT_FALSE(t.invoice.isEmpty());
    const int missing = int(t.toShip - t.read);
    for (int i = 0; i < missing; ++i)
        EXPECT_EQ(Refusal(Store(t.invoice, Scan(t.gtin14, QStringLiteral("Q%1").arg(i)))), QString());
    const QString refusal = Refusal(Store(t.invoice, Scan(t.gtin14, QStringLiteral("Q-extra"))));
    EXPECT_TRUE(refusal.contains(QStringLiteral("para %1 a expedir").arg(t.toShip))) << refusal.toStdString();
    EXPECT_EQ(Audits('L'), missing);
}

} // namespace
