#include "ServerData.h"

#include "rules/WorkList.h"
#include "server/ConfirmationRule.h"

void SplitInvoices(TDatabase& db, const QString& branch, QStringList& ready, QStringList& notReady)
{
    QStringList invoices;
    {
        TSql query(db, QStringLiteral("SELECT NRLANCTONF FROM NOTAFISCAL WHERE CDFILIAL = :CDFILIAL AND IDCONFRASTR = 'N'"
                                      " ORDER BY NRLANCTONF"));
        query.Bind(QStringLiteral(":CDFILIAL"), branch).Exec();
        while (query.Next())
            invoices.append(query.Text(0));
    }
    for (const QString& invoice : invoices) {
        const TDataPacket items = LoadInvoiceItems(db, branch, invoice);
        const int toShip = items.IndexOf(QStringLiteral("QTITEMPROD"));
        const int read = items.IndexOf(QStringLiteral("QTRESPRODPED"));
        const int status = items.IndexOf(QStringLiteral("IDSTATUSSEPSNCM"));
        bool pass = items.RowCount() > 0;
        for (int r = 0; r < items.RowCount(); ++r)
            pass = pass && ConfirmationRule::ItemBlock(items.Number(r, toShip), items.Number(r, read), items.String(r, status))
                               == ConfirmationRule::TItemBlock::None;
        (pass ? ready : notReady).append(invoice);
    }
}

QList<TOpenItem> OpenItems(TDatabase& db, const QString& branch)
{
    TSql query(db, QStringLiteral(
        "SELECT X.NRLANCTONF, X.CDGTIN, X.QTITEMPROD - X.QTREAD FROM"
        " (SELECT IT.NRLANCTONF, IT.CDPRODUTO, PR.CDGTIN, IT.QTITEMPROD,"
        "         (SELECT COUNT(*) FROM LEITURAIUM L WHERE L.CDFILIAL = IT.CDFILIAL AND L.NRLANCTONF = IT.NRLANCTONF"
        "             AND L.CDPRODUTO = IT.CDPRODUTO) AS QTREAD"
        "    FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
        "    JOIN NOTAFISCAL NF ON NF.CDFILIAL = IT.CDFILIAL AND NF.NRLANCTONF = IT.NRLANCTONF"
        "   WHERE IT.CDFILIAL = :CDFILIAL AND NF.IDCONFRASTR = 'N' AND PR.IDCONTROLAIUM = 'S') X"
        " WHERE X.QTITEMPROD > X.QTREAD"
        " ORDER BY X.NRLANCTONF, X.CDPRODUTO"));
    query.Bind(QStringLiteral(":CDFILIAL"), branch).Exec();
    QList<TOpenItem> items;
    while (query.Next())
        items.append({query.Text(0), query.Text(1).rightJustified(14, u'0'), int(query.Number(2))});
    return items;
}

TDataPacket ReadingsDelta(const QString& branch, const QList<std::pair<QString, QString>>& readings)
{
    TDataPacketBuilder delta({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                              {QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                              {QStringLiteral("CDIUMPROD"), TFieldType::ftString, 100}});
    for (const auto& [invoice, ium] : readings) {
        delta.AddString(branch);
        delta.AddString(invoice);
        delta.AddString(ium);
        delta.EndRow();
    }
    return delta.Build();
}

QString IumScan(const QString& gtin14, const QString& serial)
{
    return QStringLiteral("]d201") + gtin14 + QStringLiteral("21") + serial;
}
