#include "WorkList.h"

#include "InvoiceState.h"
#include "rpc/Envelope.h"
#include "server/PacketLayouts.h"
#include "storage/PacketQuery.h"
#include "storage/SqlValues.h"

#include <QList>
#include <algorithm>
#include <optional>
#include <iterator>
#include <utility>

namespace {

using TValues = QList<std::pair<QString, QVariant>>;

void BindValues(TSql& query, const TValues& values)
{
    for (const auto& [name, value] : values)
        query.Bind(name, value);
}

// WHERE fragments with their bound values, so that a condition is present
// only when its bound is; an absent bound costs the query nothing.
struct TConditions {
    QString text;
    TValues values;

    void Add(const QString& fragment, const QString& name, const QVariant& value)
    {
        text += QStringLiteral(" AND ") + fragment;
        values.append({name, value});
    }
    void Bind(TSql& query) const { BindValues(query, values); }
};

// The exclusive bound of a range that ends on `to`'s day: the next day, or
// nothing when `to` is the calendar's last day (StorableDate), which every
// date precedes.
std::optional<QDate> DayAfter(TDateTime to)
{
    const QDate day = DateParam(to);
    if (day == QDate(9999, 12, 31))
        return std::nullopt;
    return day.addDays(1);
}

// Date parts only: from D is ">= D", to D is "< D + 1 day", so a time on the
// last day still counts.
void AddDateRanges(TConditions& where, const TDateRanges& dates)
{
    if (dates.OrderFrom != 0)
        where.Add(QStringLiteral("NF.DTPEDIDO >= :DTPEDIDOINI"), QStringLiteral(":DTPEDIDOINI"), DateParam(dates.OrderFrom));
    if (const auto bound = dates.OrderTo != 0 ? DayAfter(dates.OrderTo) : std::nullopt)
        where.Add(QStringLiteral("NF.DTPEDIDO < :DTPEDIDOFIM"), QStringLiteral(":DTPEDIDOFIM"), *bound);
    if (dates.OutFrom != 0)
        where.Add(QStringLiteral("NF.DTENTRSAID >= :DTSAIDAINI"), QStringLiteral(":DTSAIDAINI"), DateParam(dates.OutFrom));
    if (const auto bound = dates.OutTo != 0 ? DayAfter(dates.OutTo) : std::nullopt)
        where.Add(QStringLiteral("NF.DTENTRSAID < :DTSAIDAFIM"), QStringLiteral(":DTSAIDAFIM"), *bound);
}

TConditions InvoiceConditions(const TWorkListFilter& filter)
{
    TConditions where;
    where.text = QStringLiteral("NF.CDFILIAL = :CDFILIAL AND NF.IDCONFRASTR = 'N'");
    where.values.append({QStringLiteral(":CDFILIAL"), filter.Branch});
    if (const auto expedition = FilterNumber(filter.Expedition))
        where.Add(QStringLiteral("NF.NREXPEDICAO = :NREXPEDICAO"), QStringLiteral(":NREXPEDICAO"), *expedition);
    if (const auto order = FilterNumber(filter.Order))
        where.Add(QStringLiteral("NF.NRPEDIDO = :NRPEDIDO"), QStringLiteral(":NRPEDIDO"), *order);
    AddDateRanges(where, filter.Dates);
    return where;
}

// The work list's three statements; `%1` is the WHERE condition on
// NOTAFISCAL NF.
const QString invoicesSql = QStringLiteral(
    "SELECT NF.CDFILIAL, NF.NREXPEDICAO, NF.NRLANCTONF, NF.DTENTRSAID, NF.CDCLIENTE, CL.NMRAZSOCCLIE,"
    "       CL.NMFANTCLIE, FD.NMFILIAL, CL.NRINSJURCLIE, CL.IDTPIJURCLIE, NF.CDFILIEMIT, NF.CDTIPOOPER,"
    "       NF.IDENTRSAIDOP, NF.IDSITSEPNF, NF.QTVOLNF"
    "  FROM NOTAFISCAL NF"
    "  JOIN CLIENTE CL ON CL.CDCLIENTE = NF.CDCLIENTE"
    "  LEFT JOIN FILIAL FD ON FD.CDFILIAL = NF.CDFILIDEST"
    " WHERE %1"
    " ORDER BY NF.NRLANCTONF");

// Items with their reading count and status. SQLite flattens the derived
// table, so the plan holds the COUNT subquery twice (one per use of
// QTRESPRODPED): SEARCH IT USING INDEX sqlite_autoindex_ITEMNOTA_1
// (CDFILIAL=?), NF and PR by key, CORRELATED SCALAR SUBQUERY 1 twice on the
// covering LEITURAIUM_ITEM; 111-136 ms at scale 100. The forms that count
// once measured slower on the same data: a LEFT JOIN with GROUP BY sorts in
// a temporary B-tree (144-155 ms, 510-650 ms with every shown column in the
// GROUP BY as PostgreSQL needs), a MATERIALIZED CTE or an unflattened
// subquery sorts its rows again (130-200 ms).
const QString itemsSql = QStringLiteral(
    "SELECT X.CDFILIAL, X.NREXPEDICAO, X.NRLANCTONF, X.CDPRODUTO, X.CDARVPROD, X.NMPRODUTO, X.SGUNIDADE,"
    "       X.QTITEMPROD, X.QTRESPRODPED,"
    "       CASE WHEN X.IDCONTROLAIUM <> 'S' THEN ''"
    "            WHEN X.QTRESPRODPED = X.QTITEMPROD THEN 'S' ELSE 'N' END AS IDSTATUSSEPSNCM,"
    "       X.IDCOLETA, X.NRITEMPED"
    "  FROM (SELECT IT.CDFILIAL, NF.NREXPEDICAO, IT.NRLANCTONF, IT.CDPRODUTO, PR.CDARVPROD, PR.NMPRODUTO,"
    "               PR.SGUNIDADE, IT.QTITEMPROD, PR.IDCONTROLAIUM, IT.IDCOLETA, IT.NRITEMPED,"
    "               (SELECT COUNT(*) FROM LEITURAIUM LI"
    "                 WHERE LI.CDFILIAL = IT.CDFILIAL AND LI.NRLANCTONF = IT.NRLANCTONF"
    "                   AND LI.CDPRODUTO = IT.CDPRODUTO) AS QTRESPRODPED"
    "          FROM NOTAFISCAL NF"
    "          JOIN ITEMNOTA IT ON IT.CDFILIAL = NF.CDFILIAL AND IT.NRLANCTONF = NF.NRLANCTONF"
    "          JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
    "         WHERE %1) X"
    " ORDER BY X.NRLANCTONF, X.CDPRODUTO");

// Starts from the invoices: SQLite keeps the CROSS JOIN's order (PostgreSQL
// plans it as the plain join it is), walks the branch's invoices by key and
// each one's readings in the order asked for, so nothing is sorted. Plans at
// scale 100, the main branch's 390,000 readings:
//   before (JOIN, ORDER BY LI.NRLANCTONF, ...): SEARCH LI USING INDEX
//     LEITURAIUM_ITEM (CDFILIAL=?), then SEARCH NF by key once per reading;
//     420-430 ms in the engine;
//   now: SEARCH NF USING INDEX sqlite_autoindex_NOTAFISCAL_1 (CDFILIAL=?),
//     SEARCH LI USING INDEX LEITURAIUM_ITEM (CDFILIAL=? AND NRLANCTONF=?),
//     no temporary B-tree; 340 ms.
const QString readingsSql = QStringLiteral(
    "SELECT LI.CDFILIAL, NF.NREXPEDICAO, LI.NRLANCTONF, LI.CDALMOXARIFE, LI.CDLOCALESTOQ, LI.NRLOTEESTQ,"
    "       LI.NRSUBLOTE, LI.CDIUMPROD, LI.DTVALILOTE, AL.DSALMOXARIFE, LE.DSLOCALESTOQ, LI.CDPRODUTO"
    "  FROM NOTAFISCAL NF"
    " CROSS JOIN LEITURAIUM LI"
    "  LEFT JOIN ALMOXARIFE AL ON AL.CDFILIAL = LI.CDFILIAL AND AL.CDALMOXARIFE = LI.CDALMOXARIFE"
    "  LEFT JOIN LOCALESTOQUE LE ON LE.CDFILIAL = LI.CDFILIAL AND LE.CDLOCALESTOQ = LI.CDLOCALESTOQ"
    " WHERE LI.CDFILIAL = NF.CDFILIAL AND LI.NRLANCTONF = NF.NRLANCTONF AND %1"
    " ORDER BY NF.CDFILIAL, NF.NRLANCTONF, LI.CDPRODUTO, LI.DTLEITURA");

} // namespace

std::optional<QString> FilterNumber(const QString& text, QLatin1String word)
{
    const QString number = text.trimmed();
    if (number.isEmpty() || number == QLatin1String("T") || (!word.isEmpty() && number == word))
        return std::nullopt;
    return number;
}

QList<TWorkListStatement> WorkListStatements(const TWorkListFilter& filter)
{
    const TConditions where = InvoiceConditions(filter);
    return {{invoicesSql.arg(where.text), where.values, Layout::Invoices()},
            {itemsSql.arg(where.text), where.values, Layout::Items()},
            {readingsSql.arg(where.text), where.values, Layout::Readings()}};
}

TWorkList LoadWorkList(TDatabase& db, const TWorkListFilter& filter)
{
    const QList<TWorkListStatement> statements = WorkListStatements(filter);
    TWorkList list;
    TEncodedPacket* targets[] = {&list.Invoices, &list.Items, &list.Readings};
    for (int i = 0; i < 3; ++i) {
        TSql query(db, statements[i].Sql);
        BindValues(query, statements[i].Values);
        *targets[i] = QueryEncodedPacket(query.Exec(), statements[i].Fields);
    }
    return list;
}

TEncodedPacket LoadNumberList(TDatabase& db, const QString& branch, const QString& expedition, const QString& order,
                           const TDateRanges& dates, const QString& status, const QString& kind, QString& refusal)
{
    const QString statusCode = status.trimmed();
    const bool anyStatus = statusCode.isEmpty() || statusCode == QLatin1String("T");
    if (!anyStatus && statusCode != QLatin1String("P") && statusCode != QLatin1String("A")
        && statusCode != QLatin1String("C")) {
        refusal = QStringLiteral("Situação de separação inválida: %1").arg(Rpc::Quoted(status));
        return TEncodedPacket();
    }
    // Invoices in the date ranges, tied to the outer row (which binds the
    // branch, once: a placeholder is never used twice).
    TConditions invoice;
    invoice.text = QStringLiteral("NF.CDFILIAL = :CDFILIAL");
    invoice.values.append({QStringLiteral(":CDFILIAL"), branch});
    AddDateRanges(invoice, dates);

    // Both lists reach the expedition as EX inside their EXISTS.
    if (!anyStatus)
        invoice.Add(QStringLiteral("EX.IDSTATUSSEP = :IDSTATUSSEP"), QStringLiteral(":IDSTATUSSEP"), statusCode);

    // The two lists, each narrowed to the number the user typed, if any.
    struct TNumberList {
        QLatin1String kind;
        QLatin1String word;  // what a client sends for "no number"
        const QString& number;
        QString column;    // the number's column, with its table's alias
        QString parameter;
        QString sql;       // %1: the invoice conditions
        const QList<TFieldDesc>& fields;
    };
    const TNumberList lists[] = {
        {QLatin1String("EXP"), QLatin1String("EXPEDICAO"), expedition, QStringLiteral("EX.NREXPEDICAO"),
         QStringLiteral(":NREXPEDICAO"),
         QStringLiteral("SELECT EX.CDFILIAL, EX.NREXPEDICAO, EX.DTEXPEDICAO, EX.IDSTATUSSEP"
                        "  FROM EXPEDICAO EX"
                        " WHERE EXISTS (SELECT 1 FROM NOTAFISCAL NF"
                        "                WHERE NF.CDFILIAL = EX.CDFILIAL AND NF.NREXPEDICAO = EX.NREXPEDICAO AND %1)"
                        " ORDER BY EX.NREXPEDICAO"),
         Layout::Expeditions()},
        {QLatin1String("PED"), QLatin1String("PEDIDO"), order, QStringLiteral("PE.NRPEDIDO"), QStringLiteral(":NRPEDIDO"),
         QStringLiteral("SELECT PE.NRPEDIDO, PE.CDFILIAL"
                        "  FROM PEDIDO PE"
                        " WHERE EXISTS (SELECT 1 FROM NOTAFISCAL NF"
                        "                 JOIN EXPEDICAO EX ON EX.CDFILIAL = NF.CDFILIAL"
                        "                  AND EX.NREXPEDICAO = NF.NREXPEDICAO"
                        "                WHERE NF.CDFILIAL = PE.CDFILIAL AND NF.NRPEDIDO = PE.NRPEDIDO AND %1)"
                        " ORDER BY PE.NRPEDIDO"),
         Layout::Orders()},
    };
    const auto list = std::find_if(std::begin(lists), std::end(lists), [&](const TNumberList& l) { return kind == l.kind; });
    if (list == std::end(lists)) {
        refusal = QStringLiteral("Tipo de lista inválido: %1").arg(Rpc::Quoted(kind));
        return TEncodedPacket();
    }
    if (const auto number = FilterNumber(list->number, list->word))
        invoice.Add(list->column + QStringLiteral(" = ") + list->parameter, list->parameter, *number);
    TSql query(db, list->sql.arg(invoice.text));
    invoice.Bind(query);
    return QueryEncodedPacket(query.Exec(), list->fields);
}

TDataPacket LoadInvoiceItems(TDatabase& db, const QString& branch, const QString& invoice)
{
    TSql query(db, QStringLiteral(
        "SELECT X.CDFILIAL, X.NRLANCTONF, X.CDPRODUTO, X.CDARVPROD, X.NMPRODUTO, X.SGUNIDADE, X.CDGTIN,"
        "       X.IDCONTROLAIUM, X.QTITEMPROD, X.QTRESPRODPED,"
        "       CASE WHEN X.IDCONTROLAIUM <> 'S' THEN ''"
        "            WHEN X.QTRESPRODPED = X.QTITEMPROD THEN 'S' ELSE 'N' END AS IDSTATUSSEPSNCM"
        "  FROM (SELECT IT.CDFILIAL, IT.NRLANCTONF, IT.CDPRODUTO, PR.CDARVPROD, PR.NMPRODUTO, PR.SGUNIDADE,"
        "               PR.CDGTIN, PR.IDCONTROLAIUM, IT.QTITEMPROD,"
        "               (SELECT COUNT(*) FROM LEITURAIUM LI"
        "                 WHERE LI.CDFILIAL = IT.CDFILIAL AND LI.NRLANCTONF = IT.NRLANCTONF"
        "                   AND LI.CDPRODUTO = IT.CDPRODUTO) AS QTRESPRODPED"
        "          FROM ITEMNOTA IT"
        "          JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
        "         WHERE IT.CDFILIAL = :CDFILIAL AND IT.NRLANCTONF = :NRLANCTONF) X"
        " ORDER BY X.CDPRODUTO"));
    return QueryPacket(BindInvoice(query, branch, invoice).Exec(), Layout::ReadingItems());
}
