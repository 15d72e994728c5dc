#include "ShippingEvents.h"

#include "DigitalLink.h"
#include "EventDocument.h"

#include "rtl/Exceptions.h"
#include "storage/SqlValues.h"

#include <QBuffer>
#include <QUrl>

#include <optional>

namespace {

QString Encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString InvoiceText(const QString& branch, const QString& invoice)
{
    return QStringLiteral("nota fiscal %1 da filial %2").arg(invoice, branch);
}

struct TInvoiceRow {
    QDateTime Confirmed;
    QString Order;
    QString Customer;
    QString Gln;
};

TInvoiceRow ReadInvoice(TDatabase& db, const QString& branch, const QString& invoice)
{
    TSql query(db, QStringLiteral("SELECT N.DTCONFRASTR, N.NRPEDIDO, N.CDCLIENTE, F.NRGLN FROM NOTAFISCAL N"
                                  " JOIN FILIAL F ON F.CDFILIAL = N.CDFILIAL"
                                  " WHERE N.CDFILIAL = :CDFILIAL AND N.NRLANCTONF = :NRLANCTONF AND N.IDCONFRASTR = 'S'"));
    query.Bind(QStringLiteral(":CDFILIAL"), branch).Bind(QStringLiteral(":NRLANCTONF"), invoice).Exec();
    if (!query.Next())
        throw EConvertError(QStringLiteral("A %1 não existe ou não foi conferida para rastreio.")
                                .arg(InvoiceText(branch, invoice)));
    return {ToQDateTime(SqlToDateTime(query.Utf8(0))), query.Text(1), query.Text(2), query.Text(3).trimmed()};
}

// The branch's names and its business transactions'.
void NameParties(TShippingEvent& event, const TEventNaming& naming, const QString& branch, const QString& invoice,
                 const TInvoiceRow& row)
{
    const QString what = InvoiceText(branch, invoice);
    QString party, place, invoiceId, orderId;
    if (!row.Gln.isEmpty()) {
        try {
            party = PartyUri(row.Gln);
            place = LocationUri(row.Gln);
        } catch (const EConvertError& e) {
            throw EConvertError(QStringLiteral("O evento da %1 não pode ser formado: %2").arg(what, e.Message()));
        }
        const QString bt = QStringLiteral("urn:epcglobal:cbv:bt:") + row.Gln + u':';
        invoiceId = bt + Encoded(invoice);
        orderId = bt + Encoded(row.Order);
    } else if (!naming.Prefix.isEmpty()) {
        party = place = naming.Prefix + QStringLiteral("filial/") + Encoded(branch);
        invoiceId = party + QStringLiteral("/nf/") + Encoded(invoice);
        orderId = party + QStringLiteral("/pedido/") + Encoded(row.Order);
    } else {
        throw EConvertError(QStringLiteral("O evento da %1 não pode ser formado: a filial %2 não tem GLN e o servidor não "
                                           "tem prefixo de identificadores (--epcis-prefix).")
                                .arg(what, branch));
    }
    if (naming.Prefix.isEmpty())
        throw EConvertError(QStringLiteral("O evento da %1 não pode ser formado: o cliente %2 é nomeado pelo prefixo de "
                                           "identificadores do servidor (--epcis-prefix), que não foi definido.")
                                .arg(what, row.Customer));
    event.ReadPoint = place;
    event.Transactions = {{QStringLiteral("inv"), invoiceId}, {QStringLiteral("po"), orderId}};
    event.Sources = {{QStringLiteral("owning_party"), party}, {QStringLiteral("location"), place}};
    event.Destinations = {
        {QStringLiteral("owning_party"), naming.Prefix + QStringLiteral("cliente/") + Encoded(row.Customer)}};
}

void ReadUnits(TDatabase& db, const QString& branch, const QString& invoice, TInvoiceEvent& result)
{
    TSql query(db, QStringLiteral("SELECT CDGTIN, NRSERIE, NRLOTEESTQ, DTVALILOTE, NRREGISTRO FROM LEITURAIUM"
                                  " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF ORDER BY DTLEITURA, CDIUMPROD"));
    query.Bind(QStringLiteral(":CDFILIAL"), branch).Bind(QStringLiteral(":NRLANCTONF"), invoice).Exec();
    while (query.Next()) {
        QString epc;
        try {
            epc = UnitUri(query.Text(0), query.Text(1));
        } catch (const EConvertError& e) {
            throw EConvertError(QStringLiteral("O evento da %1 não pode ser formado: %2")
                                    .arg(InvoiceText(branch, invoice), e.Message()));
        }
        result.Event.Epcs.append(epc);
        result.Units.append({epc, query.Text(2), ToQDate(SqlToDateTime(query.Utf8(3))), query.Text(4)});
    }
}

void ReadQuantities(TDatabase& db, const QString& branch, const QString& invoice, TShippingEvent& event)
{
    TSql query(db, QStringLiteral("SELECT P.CDGTIN, I.QTITEMPROD FROM ITEMNOTA I JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO"
                                  " WHERE I.CDFILIAL = :CDFILIAL AND I.NRLANCTONF = :NRLANCTONF"
                                  " AND P.IDCONTROLAIUM <> 'S' AND I.QTITEMPROD > 0 ORDER BY I.CDPRODUTO"));
    query.Bind(QStringLiteral(":CDFILIAL"), branch).Bind(QStringLiteral(":NRLANCTONF"), invoice).Exec();
    while (query.Next()) {
        try {
            event.Quantities.append({ProductUri(query.Text(0)), query.Number(1)});
        } catch (const EConvertError& e) {
            throw EConvertError(QStringLiteral("O evento da %1 não pode ser formado: %2")
                                    .arg(InvoiceText(branch, invoice), e.Message()));
        }
    }
}

// The confirmations of the range: the condition and its values.
QString RangeCondition(const TEventRange& range)
{
    QString sql = QStringLiteral(" WHERE CDFILIAL = :CDFILIAL AND IDCONFRASTR = 'S'");
    if (!range.Invoice.isEmpty())
        sql += QStringLiteral(" AND NRLANCTONF = :NRLANCTONF");
    if (range.From.isValid())
        sql += QStringLiteral(" AND DTCONFRASTR >= :DTINICIAL");
    if (range.To.isValid())
        sql += QStringLiteral(" AND DTCONFRASTR < :DTFINAL");
    return sql;
}

void BindRange(TSql& query, const TEventRange& range)
{
    query.Bind(QStringLiteral(":CDFILIAL"), range.Branch);
    if (!range.Invoice.isEmpty())
        query.Bind(QStringLiteral(":NRLANCTONF"), range.Invoice);
    if (range.From.isValid())
        query.Bind(QStringLiteral(":DTINICIAL"), QDateTime(range.From, QTime(0, 0)));
    if (range.To.isValid())
        query.Bind(QStringLiteral(":DTFINAL"), QDateTime(range.To.addDays(1), QTime(0, 0)));
}

// A page of the range's confirmations after `after` (the last key of the
// previous page), in confirmation order.
struct TKey {
    QString Confirmed;  // DTCONFRASTR as the database gives it back
    QString Invoice;
};

QList<TKey> Page(TDatabase& db, const TEventRange& range, const TKey* after, int size)
{
    QString sql = QStringLiteral("SELECT DTCONFRASTR, NRLANCTONF FROM NOTAFISCAL") + RangeCondition(range);
    if (after)
        sql += QStringLiteral(" AND (DTCONFRASTR > :DTULTIMA OR (DTCONFRASTR = :DTULTIMA AND NRLANCTONF > :NRULTIMA))");
    sql += QStringLiteral(" ORDER BY DTCONFRASTR, NRLANCTONF LIMIT %1").arg(size);
    TSql query(db, sql);
    BindRange(query, range);
    if (after) {
        query.Bind(QStringLiteral(":DTULTIMA"), after->Confirmed);
        query.Bind(QStringLiteral(":NRULTIMA"), after->Invoice);
    }
    query.Exec();
    QList<TKey> keys;
    while (query.Next())
        keys.append({query.Text(0), query.Text(1)});
    return keys;
}

int CountRange(TDatabase& db, const TEventRange& range)
{
    TSql query(db, QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL") + RangeCondition(range));
    BindRange(query, range);
    query.Exec();
    return query.Next() ? int(query.Number(0)) : 0;
}

// Calls `each` with every confirmation of the range after `after` (an
// empty invoice: from the first), in order, while it returns true; returns
// whether the range ended.
bool WalkConfirmations(TDatabase& db, const TEventRange& range, TKey after, const std::function<bool(const TKey&)>& each)
{
    constexpr int pageSize = 200;
    for (;;) {
        const QList<TKey> keys = Page(db, range, after.Invoice.isEmpty() ? nullptr : &after, pageSize);
        for (const TKey& key : keys) {
            if (!each(key))
                return false;
        }
        if (keys.size() < pageSize)
            return true;
        after = keys.last();
    }
}

QString EmptyRange(const TEventRange& range)
{
    return QStringLiteral("Não há conferências de rastreio da filial %1 %2.")
        .arg(range.Branch,
             !range.Invoice.isEmpty()
                 ? QStringLiteral("na nota fiscal %1").arg(range.Invoice)
                 : QStringLiteral("de %1 a %2")
                       .arg(range.From.isValid() ? range.From.toString(QStringLiteral("dd/MM/yyyy")) : QStringLiteral("sempre"),
                            range.To.isValid() ? range.To.toString(QStringLiteral("dd/MM/yyyy")) : QStringLiteral("hoje")));
}

// The cursor's text: phase (U units, E events), the writer's part (S, H, B),
// units and events written, the last confirmation's time and invoice.
struct TCursor {
    bool Events = false;
    TEpcisDocumentWriter::TState Writer;
    TKey Last;
};

QString EncodeCursor(const TCursor& cursor)
{
    const char part = cursor.Writer.Part == TEpcisDocumentWriter::TPart::Start    ? 'S'
                      : cursor.Writer.Part == TEpcisDocumentWriter::TPart::Header ? 'H'
                                                                                  : 'B';
    return QStringLiteral("%1%2|%3|%4|%5|%6")
        .arg(QChar(cursor.Events ? u'E' : u'U'), QChar(char16_t(part)))
        .arg(cursor.Writer.Units)
        .arg(cursor.Writer.Events)
        .arg(cursor.Last.Confirmed, cursor.Last.Invoice);
}

std::optional<TCursor> DecodeCursor(const QString& text)
{
    TCursor cursor;
    if (text.isEmpty())
        return cursor;
    const QStringList fields = text.split(u'|');
    if (fields.size() != 5 || fields[0].size() != 2 || !QStringLiteral("UE").contains(fields[0][0])
        || !QStringLiteral("SHB").contains(fields[0][1]))
        return std::nullopt;
    cursor.Events = fields[0][0] == u'E';
    const QChar part = fields[0][1];
    cursor.Writer.Part = part == u'S'   ? TEpcisDocumentWriter::TPart::Start
                         : part == u'H' ? TEpcisDocumentWriter::TPart::Header
                                        : TEpcisDocumentWriter::TPart::Body;
    bool units = false, events = false;
    cursor.Writer.Units = fields[1].toInt(&units);
    cursor.Writer.Events = fields[2].toInt(&events);
    if (!units || !events || cursor.Writer.Units < 0 || cursor.Writer.Events < 0)
        return std::nullopt;
    cursor.Last = {fields[3], fields[4]};
    return cursor;
}

} // namespace

TInvoiceEvent LoadShippingEvent(TDatabase& db, const TEventNaming& naming, const QString& branch,
                                const QString& invoice)
{
    const TInvoiceRow row = ReadInvoice(db, branch, invoice);
    TInvoiceEvent result;
    result.Event.Time = row.Confirmed;
    NameParties(result.Event, naming, branch, invoice, row);
    ReadUnits(db, branch, invoice, result);
    ReadQuantities(db, branch, invoice, result.Event);
    return result;
}

int WriteEventDocument(TDatabase& db, const TEventNaming& naming, const TEventRange& range, QIODevice& out,
                       const std::function<void(int written, int total)>& progress)
{
    const int total = CountRange(db, range);
    if (total == 0)
        throw EConvertError(EmptyRange(range));
    TEpcisDocumentWriter writer(out, QDateTime::currentDateTime());
    // Two passes: the units' master data goes in the header, before the
    // events; a confirmed invoice's readings no longer change.
    WalkConfirmations(db, range, {}, [&](const TKey& key) {
        for (const TUnitMasterData& unit : LoadShippingEvent(db, naming, range.Branch, key.Invoice).Units)
            writer.AddUnit(unit);
        return true;
    });
    WalkConfirmations(db, range, {}, [&](const TKey& key) {
        writer.AddEvent(LoadShippingEvent(db, naming, range.Branch, key.Invoice).Event);
        if (progress)
            progress(writer.EventCount(), total);
        return true;
    });
    writer.Finish();
    return writer.EventCount();
}

TEventPage WriteEventPage(TDatabase& db, const TEventNaming& naming, const TEventRange& range, const QString& cursorText,
                          int invoices)
{
    std::optional<TCursor> cursor = DecodeCursor(cursorText);
    if (!cursor)
        throw EConvertError(QStringLiteral("Continuação inválida da exportação de eventos de rastreio."));
    TEventPage page;
    page.Total = CountRange(db, range);
    if (page.Total == 0)
        throw EConvertError(EmptyRange(range));
    QBuffer buffer(&page.Bytes);
    buffer.open(QIODevice::WriteOnly);
    TEpcisDocumentWriter writer(buffer, QDateTime::currentDateTime(), cursor->Writer);
    int budget = invoices;
    const auto take = [&](const TKey& key) {
        if (budget-- == 0)
            return false;
        const TInvoiceEvent event = LoadShippingEvent(db, naming, range.Branch, key.Invoice);
        if (cursor->Events) {
            writer.AddEvent(event.Event);
        } else {
            for (const TUnitMasterData& unit : event.Units)
                writer.AddUnit(unit);
        }
        cursor->Last = key;
        return true;
    };
    bool ended = WalkConfirmations(db, range, cursor->Last, take);
    if (ended && !cursor->Events) {
        cursor->Events = true;
        cursor->Last = {};
        ended = WalkConfirmations(db, range, {}, take);
    }
    if (ended)
        writer.Finish();
    cursor->Writer = writer.State();
    page.Written = writer.EventCount();
    page.Cursor = ended ? QString() : EncodeCursor(*cursor);
    return page;
}
