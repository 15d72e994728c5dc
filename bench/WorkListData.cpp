#include "WorkListData.h"

#include "server/PacketLayouts.h"

#include <QVariant>

#include <vector>

namespace {

QString code(qint64 n, int width) { return QString::number(n).rightJustified(width, u'0'); }
constexpr int ItemsPerInvoice = 10;
constexpr int ReadingsPerItem = 10;

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

} // namespace

TWorkListPackets MakeWorkList(int invoices)
{
    TRows inv(Layout::Invoices()), item(Layout::Items()), read(Layout::Readings());
    const QString branch = QStringLiteral("0001");
    for (int i = 0; i < invoices; ++i) {
        const QString expedition = code(1 + i / 50, 10);
        const QString invoice = code(1000 + i, 10);
        inv.Set("CDFILIAL", branch).Set("NREXPEDICAO", expedition).Set("NRLANCTONF", invoice);
        inv.Set("DTENTRSAID", 46300.0 + i % 60).Set("CDCLIENTE", code(i % 700, 6));
        inv.Set("NMFANTCLIE", QStringLiteral("Cliente %1 Comércio Ltda").arg(i % 700));
        inv.Set("NRINSJURCLIE", code(11222333000100LL + i % 700, 14)).Set("IDTPIJURCLIE", QStringLiteral("J")).Set("IDSITSEPNF", QStringLiteral("S"));
        inv.End();
        for (int k = 0; k < ItemsPerInvoice; ++k) {
            const QString product = code(100 + (i * 7 + k * 13) % 900, 10);
            item.Set("CDFILIAL", branch).Set("NREXPEDICAO", expedition).Set("NRLANCTONF", invoice);
            item.Set("CDPRODUTO", product).Set("CDARVPROD", QStringLiteral("01.02.%1").arg(product.right(4)));
            item.Set("NMPRODUTO", QStringLiteral("Produto %1").arg(product)).Set("SGUNIDADE", QStringLiteral("UN"));
            item.Set("QTITEMPROD", ReadingsPerItem).Set("QTRESPRODPED", ReadingsPerItem);
            item.Set("IDSTATUSSEPSNCM", QStringLiteral("S")).Set("IDCOLETA", QStringLiteral("S")).Set("NRITEMPED", QStringLiteral("1"));
            item.End();
            for (int r = 0; r < ReadingsPerItem; ++r) {
                read.Set("CDFILIAL", branch).Set("NREXPEDICAO", expedition).Set("NRLANCTONF", invoice);
                read.Set("CDALMOXARIFE", QStringLiteral("000001")).Set("CDLOCALESTOQ", QStringLiteral("000010"));
                read.Set("NRLOTEESTQ", QStringLiteral("L%1").arg(i % 97, 6, 10, QChar(u'0'))).Set("NRSUBLOTE", QStringLiteral("0001"));
                read.Set("CDIUMPROD", QStringLiteral("010789%1021%2").arg(product, code(qint64(i) * 100 + k * 10 + r, 12)));
                read.Set("DTVALILOTE", 46700.0 + r).Set("DSALMOXARIFE", QStringLiteral("Almoxarifado Central"));
                read.Set("DSLOCALESTOQ", QStringLiteral("Prateleira A")).Set("CDPRODUTO", product);
                read.End();
            }
        }
    }
    return {inv.Build(), item.Build(), read.Build()};
}
