#include "WorkListData.h"

namespace {
QString code(qint64 n, int width) { return QString::number(n).rightJustified(width, u'0'); }
constexpr int ItemsPerInvoice = 10;
constexpr int ReadingsPerItem = 10;
} // namespace

TWorkListPackets MakeWorkList(int invoices)
{
    using F = TFieldDesc;
    const auto S = TFieldType::ftString;
    const auto N = TFieldType::ftFloat;
    const auto D = TFieldType::ftDateTime;

    TDataPacketBuilder inv({F{"CDFILIAL", S, 4}, F{"NREXPEDICAO", S, 10}, F{"NRLANCTONF", S, 10},
                            F{"DTENTRSAID", D, 0}, F{"CDCLIENTE", S, 21}, F{"NMFANTCLIE", S, 150},
                            F{"NRINSJURCLIE", S, 20}, F{"IDTPIJURCLIE", S, 1}, F{"IDSITSEPNF", S, 1}});
    TDataPacketBuilder item({F{"CDFILIAL", S, 4}, F{"NREXPEDICAO", S, 10}, F{"NRLANCTONF", S, 10},
                             F{"CDPRODUTO", S, 10}, F{"CDARVPROD", S, 20}, F{"NMPRODUTO", S, 50},
                             F{"SGUNIDADE", S, 10}, F{"QTITEMPROD", N, 0}, F{"QTRESPRODPED", N, 0},
                             F{"IDSTATUSSEPSNCM", S, 1}, F{"IDCOLETA", S, 1}, F{"NRITEMPED", S, 1}});
    TDataPacketBuilder read({F{"CDFILIAL", S, 4}, F{"NREXPEDICAO", S, 10}, F{"NRLANCTONF", S, 10},
                             F{"CDALMOXARIFE", S, 6}, F{"CDLOCALESTOQ", S, 6}, F{"NRLOTEESTQ", S, 20},
                             F{"NRSUBLOTE", S, 4}, F{"CDIUMPROD", S, 100}, F{"DTVALILOTE", D, 0},
                             F{"DSALMOXARIFE", S, 30}, F{"DSLOCALESTOQ", S, 30}, F{"CDPRODUTO", S, 10}});
    inv.Reserve(invoices);
    item.Reserve(invoices * ItemsPerInvoice);
    read.Reserve(invoices * ItemsPerInvoice * ReadingsPerItem);

    for (int i = 0; i < invoices; ++i) {
        const QString branch = QStringLiteral("0001");
        const QString expedition = code(1 + i / 50, 10);
        const QString invoice = code(1000 + i, 10);
        inv.AddString(branch);
        inv.AddString(expedition);
        inv.AddString(invoice);
        inv.AddNumber(46300.0 + i % 60);
        inv.AddString(code(i % 700, 6));
        inv.AddString(QStringLiteral("Cliente %1 Comércio Ltda").arg(i % 700));
        inv.AddString(code(11222333000100LL + i % 700, 14));
        inv.AddString(QStringLiteral("J"));
        inv.AddString(QStringLiteral("S"));
        inv.EndRow();
        for (int k = 0; k < ItemsPerInvoice; ++k) {
            const QString product = code(100 + (i * 7 + k * 13) % 900, 10);
            item.AddString(branch);
            item.AddString(expedition);
            item.AddString(invoice);
            item.AddString(product);
            item.AddString(QStringLiteral("01.02.%1").arg(product.right(4)));
            item.AddString(QStringLiteral("Produto %1").arg(product));
            item.AddString(QStringLiteral("UN"));
            item.AddNumber(ReadingsPerItem);
            item.AddNumber(ReadingsPerItem);
            item.AddString(QStringLiteral("S"));
            item.AddString(QStringLiteral("S"));
            item.AddString(QStringLiteral("1"));
            item.EndRow();
            for (int r = 0; r < ReadingsPerItem; ++r) {
                read.AddString(branch);
                read.AddString(expedition);
                read.AddString(invoice);
                read.AddString(QStringLiteral("000001"));
                read.AddString(QStringLiteral("000010"));
                read.AddString(QStringLiteral("L%1").arg(i % 97, 6, 10, QChar(u'0')));
                read.AddString(QStringLiteral("0001"));
                read.AddString(QStringLiteral("010789%1021%2").arg(product, code(qint64(i) * 100 + k * 10 + r, 12)));
                read.AddNumber(46700.0 + r);
                read.AddString(QStringLiteral("Almoxarifado Central"));
                read.AddString(QStringLiteral("Prateleira A"));
                read.AddString(product);
                read.EndRow();
            }
        }
    }
    return {inv.Build(), item.Build(), read.Build()};
}
