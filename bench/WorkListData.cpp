#include "WorkListData.h"

#include "server/PacketLayouts.h"

#include <QDate>
#include <QVariant>

#include <random>
#include <vector>

namespace {

QString code(qint64 n, int width) { return QString::number(n).rightJustified(width, u'0'); }

// Writes rows in a packet layout by field name; fields a row leaves unset are null.
class TRows {
public:
    explicit TRows(const QList<TFieldDesc>& layout) : layout_(layout), builder_(layout), row_(layout.size()) {}
    TRows& Set(const char* field, QVariant value)
    {
        for (int c = 0; c < layout_.size(); ++c)
            if (layout_[c].Name == QLatin1String(field)) {
                row_[c] = std::move(value);
                return *this;
            }
        qFatal("no field %s in the layout", field);
    }
    void End()
    {
        for (int c = 0; c < layout_.size(); ++c) {
            if (row_[c].isNull())
                builder_.AddNull();
            else if (layout_[c].Type == TFieldType::ftString)
                builder_.AddString(row_[c].toString());
            else
                builder_.AddNumber(row_[c].toDouble());
            row_[c] = QVariant();
        }
        builder_.EndRow();
    }
    TDataPacket Build() { return builder_.Build(); }

private:
    const QList<TFieldDesc>& layout_;
    TDataPacketBuilder builder_;
    std::vector<QVariant> row_;
};

struct TProduct {
    QString code, tree, name, unit, gtin14;
    bool controlled;
};

// 120 products, five in six under IUM control, as in the demo data.
std::vector<TProduct> Products()
{
    const char* const kinds[] = {"Parafuso", "Luva", "Seringa", "Filtro", "Rolamento", "Válvula", "Lâmpada", "Sensor"};
    const char* const sizes[] = {"P", "M", "G", "10 mm", "1 L", "500 g", "cx 100"};
    const char* const units[] = {"UN", "CX", "PC", "KG", "LT"};
    std::vector<TProduct> products;
    for (int i = 1; i <= 120; ++i) {
        products.push_back({code(i, 10), QString::number(i % 9 + 1) + code(i % 17, 2) + code(i, 4),
                            QString::fromUtf8(kinds[i % 8]) + u' ' + QString::fromUtf8(sizes[(i / 8) % 7]),
                            QString::fromLatin1(units[i % 5]), QStringLiteral("1789") + code(10000 + i * 37, 10),
                            i % 6 != 0});
    }
    return products;
}

} // namespace

TWorkListPackets MakeWorkList(int invoices)
{
    TRows inv(Layout::Invoices()), item(Layout::Items()), read(Layout::Readings());
    std::mt19937 random(13000u + quint32(invoices));
    auto between = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const QString branch = QStringLiteral("0001");
    const std::vector<TProduct> products = Products();
    const QString warehouses[] = {QStringLiteral("Almoxarifado Central"), QStringLiteral("Almoxarifado de Expedição"),
                                  QStringLiteral("Almoxarifado de Controlados")};
    const QDate today(2026, 12, 7);
    const int customers = 20 + invoices / 12;
    qint64 serial = 0;
    for (int i = 0; i < invoices; ++i) {
        const QString expedition = code(1 + i / 5, 10);
        const QString invoice = code(1000 + i, 10);
        const QDate outgoing = today.addDays(3 - qint64(i) * 31 / invoices);
        const int customer = between(1, customers);
        const bool company = customer % 3 != 0;
        const QString trade = (company ? QStringLiteral("Distribuidora Horizonte ") : QStringLiteral("Paula Ribeiro "))
                              + QString::number(customer);
        // Kinds as in the demo data: complete, missing readings (every fifth).
        const bool incomplete = i % 5 == 1;
        const bool transfer = i % 17 == 0;
        inv.Set("CDFILIAL", branch).Set("NREXPEDICAO", expedition).Set("NRLANCTONF", invoice);
        inv.Set("DTENTRSAID", double(QDate(1899, 12, 30).daysTo(outgoing)) + (8 + i % 9) / 24.0 + (i * 7 % 60) / 1440.0);
        inv.Set("CDCLIENTE", code(customer, 8)).Set("NMFANTCLIE", trade);
        inv.Set("NMRAZSOCCLIE", company ? trade + QStringLiteral(" Ltda.") : trade);
        if (transfer)
            inv.Set("NMFILIAL", QStringLiteral("Filial Campinas"));
        inv.Set("NRINSJURCLIE", company ? code(11222333000100LL + customer * 7919LL, 14) : code(123456789LL * customer % 99999999999LL, 11));
        inv.Set("IDTPIJURCLIE", company ? QStringLiteral("J") : QStringLiteral("F")).Set("CDFILIEMIT", branch);
        inv.Set("CDTIPOOPER", transfer ? QStringLiteral("TR") : QStringLiteral("VD")).Set("IDENTRSAIDOP", QStringLiteral("S"));
        inv.Set("IDSITSEPNF", incomplete ? QStringLiteral("N") : QStringLiteral("S")).Set("QTVOLNF", between(1, 40));
        inv.End();
        const int first = between(0, int(products.size()) - 1);
        for (int k = 0; k < 10; ++k) {
            const TProduct& p = products[size_t((first + k * 7) % int(products.size()))];
            const double quantity = p.controlled ? between(1, 24) : between(1, 199) / 4.0;
            const int reads = !p.controlled ? 0 : incomplete && k % 3 == 0 ? int(quantity) / 2 : int(quantity);
            item.Set("CDFILIAL", branch).Set("NREXPEDICAO", expedition).Set("NRLANCTONF", invoice);
            item.Set("CDPRODUTO", p.code).Set("CDARVPROD", p.tree).Set("NMPRODUTO", p.name).Set("SGUNIDADE", p.unit);
            item.Set("QTITEMPROD", quantity).Set("QTRESPRODPED", reads);
            item.Set("IDSTATUSSEPSNCM", !p.controlled ? QString() : reads == int(quantity) ? QStringLiteral("S") : QStringLiteral("N"));
            item.Set("IDCOLETA", p.controlled ? QStringLiteral("S") : QStringLiteral("N")).Set("NRITEMPED", QString::number(k));
            item.End();
            const QDate expiry = outgoing.addDays(between(180, 719));
            const QString lot = QStringLiteral("L") + expiry.toString(QStringLiteral("yyMM")) + code(k, 2);
            const QString warehouse = code(k % 3 + 1, 2);
            const QString location = QChar(u'A' + k % 4) + code(k % 5 + 1, 2);
            for (int r = 0; r < reads; ++r) {
                // A GS1 element string: GTIN, serial, expiry, lot; every serial is new.
                const QString ium = QStringLiteral("01") + p.gtin14 + QStringLiteral("21") + code(++serial, 10) + QChar(29)
                                    + QStringLiteral("17") + expiry.toString(QStringLiteral("yyMMdd")) + QStringLiteral("10") + lot;
                read.Set("CDFILIAL", branch).Set("NREXPEDICAO", expedition).Set("NRLANCTONF", invoice);
                read.Set("CDALMOXARIFE", warehouse).Set("CDLOCALESTOQ", location);
                read.Set("NRLOTEESTQ", lot).Set("NRSUBLOTE", code(r % 4 + 1, 2)).Set("CDIUMPROD", ium);
                read.Set("DTVALILOTE", double(QDate(1899, 12, 30).daysTo(expiry))).Set("DSALMOXARIFE", warehouses[k % 3]);
                read.Set("DSLOCALESTOQ", QStringLiteral("Corredor ") + location.left(1) + QStringLiteral(", prateleira ") + QString::number(k % 5 + 1));
                read.Set("CDPRODUTO", p.code);
                read.End();
            }
        }
    }
    return {inv.Build(), item.Build(), read.Build()};
}
