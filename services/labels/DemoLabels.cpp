#include "DemoLabels.h"

#include "rtl/Exceptions.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

struct TItem {
    QString Code, Name, Gtin14;
    int Missing = 0;  // IUMs to ship less those read
};

QSqlQuery Run(const QSqlDatabase& db, const QString& text, const QVariantMap& values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(text))
        throw EDatabaseError(query.lastError().text());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        query.bindValue(it.key(), it.value());
    if (!query.exec())
        throw EDatabaseError(query.lastError().text());
    return query;
}

QString FirstBranch(const QSqlDatabase& db)
{
    QSqlQuery query = Run(db, QStringLiteral("SELECT MIN(CDFILIAL) FROM FILIAL"), {});
    if (!query.next() || query.isNull(0))
        throw Exception(QStringLiteral("O banco de dados não tem filiais."));
    return query.value(0).toString();
}

QString FirstWaitingInvoice(const QSqlDatabase& db, const QString& branch)
{
    QSqlQuery query = Run(db, QStringLiteral(
        "SELECT NF.NRLANCTONF FROM NOTAFISCAL NF"
        " WHERE NF.CDFILIAL = :CDFILIAL AND NF.IDCONFRASTR <> 'S'"
        "   AND EXISTS (SELECT 1 FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
        "                WHERE IT.CDFILIAL = NF.CDFILIAL AND IT.NRLANCTONF = NF.NRLANCTONF"
        "                  AND PR.IDCONTROLAIUM = 'S'"
        "                  AND IT.QTITEMPROD > (SELECT COUNT(*) FROM LEITURAIUM LI"
        "                                        WHERE LI.CDFILIAL = IT.CDFILIAL AND LI.NRLANCTONF = IT.NRLANCTONF"
        "                                          AND LI.CDPRODUTO = IT.CDPRODUTO))"
        " ORDER BY NF.NRLANCTONF"), {{QStringLiteral(":CDFILIAL"), branch}});
    if (!query.next())
        throw Exception(QStringLiteral("A filial %1 não tem nota fiscal à espera de leituras de IUM.").arg(branch));
    return query.value(0).toString();
}

QList<TItem> MissingItems(const QSqlDatabase& db, const QString& branch, const QString& invoice)
{
    QSqlQuery query = Run(db, QStringLiteral(
        "SELECT PR.CDARVPROD, PR.NMPRODUTO, PR.CDGTIN, IT.QTITEMPROD,"
        "       (SELECT COUNT(*) FROM LEITURAIUM LI"
        "         WHERE LI.CDFILIAL = IT.CDFILIAL AND LI.NRLANCTONF = IT.NRLANCTONF AND LI.CDPRODUTO = IT.CDPRODUTO)"
        "  FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
        " WHERE IT.CDFILIAL = :CDFILIAL AND IT.NRLANCTONF = :NRLANCTONF AND PR.IDCONTROLAIUM = 'S'"
        " ORDER BY PR.CDARVPROD"), {{QStringLiteral(":CDFILIAL"), branch}, {QStringLiteral(":NRLANCTONF"), invoice}});
    QList<TItem> items;
    while (query.next()) {
        const QString gtin = query.value(2).toString();
        items.append({query.value(0).toString(), query.value(1).toString(), QString(14 - gtin.size(), u'0') + gtin,
                      int(query.value(3).toDouble()) - query.value(4).toInt()});
    }
    return items;
}

// The invoice's outgoing date; raises when the invoice is unknown or confirmed.
QDate OutgoingDate(const QSqlDatabase& db, const QString& branch, const QString& invoice)
{
    QSqlQuery query = Run(db, QStringLiteral("SELECT DTENTRSAID, IDCONFRASTR FROM NOTAFISCAL"
                                             " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF"),
                          {{QStringLiteral(":CDFILIAL"), branch}, {QStringLiteral(":NRLANCTONF"), invoice}});
    if (!query.next())
        throw Exception(QStringLiteral("A nota fiscal %1 da filial %2 não existe.").arg(invoice, branch));
    if (query.value(1).toString() == QLatin1String("S"))
        throw Exception(QStringLiteral("A nota fiscal %1 da filial %2 já foi conferida.").arg(invoice, branch));
    return query.value(0).toDateTime().date();
}

QList<TGs1Element> Ium(const QString& gtin14, const QDate& expiry, const QString& serial)
{
    return {{QStringLiteral("01"), gtin14},
            {QStringLiteral("17"), expiry.toString(QStringLiteral("yyMMdd"))},
            {QStringLiteral("10"), QStringLiteral("DEMO")},
            {QStringLiteral("21"), serial}};
}

} // namespace

TDemoSheet DemoSheet(const QSqlDatabase& db, const QString& branch, const QString& invoice)
{
    TDemoSheet sheet;
    sheet.Branch = branch.isEmpty() ? FirstBranch(db) : branch;
    sheet.Invoice = invoice.isEmpty() ? FirstWaitingInvoice(db, sheet.Branch) : invoice;
    const QDate outgoing = OutgoingDate(db, sheet.Branch, sheet.Invoice);
    const QList<TItem> items = MissingItems(db, sheet.Branch, sheet.Invoice);
    const auto serial = [&sheet](int number) { return QStringLiteral("RD%1-%2").arg(sheet.Invoice).arg(number); };

    const QDate good = outgoing.addYears(2);
    for (const TItem& item : items)
        for (int i = 0; i < item.Missing; ++i)
            sheet.Labels.append({QStringLiteral("%1 %2").arg(item.Code, item.Name), QStringLiteral("Leitura aceita"),
                                 Ium(item.Gtin14, good, serial(sheet.Labels.size() + 1))});
    sheet.Good = int(sheet.Labels.size());
    if (sheet.Good == 0)
        throw Exception(QStringLiteral("A nota fiscal %1 da filial %2 não tem IUM por ler.").arg(sheet.Invoice, sheet.Branch));

    // The wrong ones around the good ones, so that read in the sheet's
    // order each meets the refusal it is for: the expired label while its
    // item still takes a reading, the repeat after its original.
    const TItem& first = *std::find_if(items.cbegin(), items.cend(), [](const TItem& item) { return item.Missing > 0; });
    const QString title = QStringLiteral("%1 %2").arg(first.Code, first.Name);
    const QString unknownBody = QStringLiteral("0200000000001");
    QString badDigit = first.Gtin14;
    badDigit.back() = QChar(u'0' + (badDigit.back().unicode() - u'0' + 1) % 10);
    const int wrong = sheet.Good;
    const QList<TSheetLabel> before{
        {title, QStringLiteral("ERRADO - vencido antes da data de saída"), Ium(first.Gtin14, outgoing.addDays(-1), serial(wrong + 1)), true},
        {QStringLiteral("Produto desconhecido"), QStringLiteral("ERRADO - GTIN de nenhum produto da nota"),
         Ium(unknownBody + GtinCheckDigit(unknownBody), good, serial(wrong + 2)), true},
        {title, QStringLiteral("ERRADO - dígito verificador do GTIN"), Ium(badDigit, good, serial(wrong + 3)), true, false}};
    TSheetLabel twice = sheet.Labels.first();
    twice.Note = QStringLiteral("ERRADO - lido duas vezes: repete o primeiro rótulo aceito");
    twice.Wrong = true;
    sheet.Labels = before + sheet.Labels;
    sheet.Labels.append(twice);
    return sheet;
}

void WriteDemoSheet(const TDemoSheet& sheet, const QString& fileName)
{
    WriteLabelSheet(fileName,
                    QStringLiteral("Rótulos de demonstração - filial %1, nota fiscal %2").arg(sheet.Branch, sheet.Invoice),
                    sheet.Labels);
}
