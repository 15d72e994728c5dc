#include "DemoData.h"

#include "records/FieldValues.h"
#include "rtl/Exceptions.h"
#include "server/Gs1.h"
#include "storage/Database.h"

#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>

namespace {

struct TBranch {
    const char* code;
    const char* name;
    bool warehouses;
    bool locations;
    int share;  // percent of the invoices
};

const TBranch branches[] = {
    {"0001", "Matriz São Paulo", true, true, 80},
    {"0002", "Filial Campinas", false, false, 12},
    {"0003", "Filial Curitiba", true, false, 8},
};

const char* const productWords[] = {"Parafuso sextavado", "Porca autotravante", "Arruela lisa", "Luva nitrílica",
                                    "Seringa descartável", "Cateter venoso", "Filtro de óleo", "Correia dentada",
                                    "Rolamento blindado", "Válvula esfera", "Cabo flexível", "Disjuntor bipolar",
                                    "Lâmpada LED", "Fita isolante", "Tinta acrílica", "Solvente industrial",
                                    "Caixa organizadora", "Etiqueta térmica", "Sensor indutivo", "Medicamento genérico"};
const char* const sizes[] = {"P", "M", "G", "10 mm", "20 mm", "1 L", "5 L", "500 g", "1 kg", "cx 100"};
const char* const units[] = {"UN", "CX", "PC", "KG", "LT"};
const char* const firstNames[] = {"Ana", "Bruno", "Carla", "Diego", "Eduarda", "Felipe", "Gabriela", "Heitor",
                                  "Isabela", "João", "Larissa", "Marcos", "Natália", "Otávio", "Paula", "Rafael"};
const char* const lastNames[] = {"Silva", "Souza", "Oliveira", "Santos", "Pereira", "Lima", "Carvalho", "Ferreira",
                                 "Rodrigues", "Almeida", "Costa", "Gomes", "Ribeiro", "Martins"};
const char* const companies[] = {"Hospital", "Drogaria", "Distribuidora", "Comercial", "Indústria", "Mercado",
                                 "Clínica", "Atacadista", "Farmácia", "Construtora"};
const char* const places[] = {"Paulista", "Central", "do Vale", "Norte", "Sul", "Bandeirantes", "Ipiranga",
                              "Horizonte", "Aliança", "Progresso", "Litoral", "Serra Azul"};

// Brazilian registration numbers with valid check digits (the import's
// own computation): CPF (11 digits, person type F) and CNPJ (14, type J).
QString Cpf(QRandomGenerator& random)
{
    QByteArray body;
    for (int i = 0; i < 9; ++i)
        body += char('0' + random.bounded(10));
    return QString::fromLatin1(body + TaxIdCheckDigits(body));
}

QString Cnpj(QRandomGenerator& random)
{
    QByteArray body;
    for (int i = 0; i < 8; ++i)
        body += char('0' + random.bounded(10));
    body += "0001";
    return QString::fromLatin1(body + TaxIdCheckDigits(body));
}

QString Number(qint64 value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

template <class T, size_t N>
const T& Pick(QRandomGenerator& random, const T (&items)[N])
{
    return items[random.bounded(int(N))];
}

// A single-row INSERT with named parameters, run for many rows at once: rows
// are gathered (Bind, then Exec, as with TSql) and written by one multi-row
// INSERT per batch, which both engines take far faster than row by row.
// Rows that others reference are written first: Flush writes the parents'
// pending rows before its own.
class TRowInserter {
public:
    TRowInserter(TDatabase& db, const QString& insert, QList<TRowInserter*> parents = {})
        : db_(db)
        , head_(insert.left(insert.indexOf(QLatin1String("VALUES")) + 6))
        , tuple_(insert.mid(head_.size()).trimmed())
        , parents_(std::move(parents))
    {
    }
    TRowInserter& Bind(const QString& name, const QVariant& value)
    {
        row_.insert(name, value);
        return *this;
    }
    void Exec()
    {
        rows_.append(std::exchange(row_, {}));
        if (rows_.size() == BatchRows)
            Flush();
    }
    void Flush()
    {
        for (TRowInserter* parent : parents_)
            parent->Flush();
        if (rows_.isEmpty())
            return;
        TSql insert(db_, Text(rows_.size()));
        for (qsizetype r = 0; r < rows_.size(); ++r)
            for (auto value = rows_[r].cbegin(); value != rows_[r].cend(); ++value)
                insert.Bind(QStringLiteral("%1_%2").arg(value.key()).arg(r), value.value());
        insert.Exec();
        rows_.clear();
    }

private:
    static constexpr int BatchRows = 100;

    // The INSERT of `rows` rows, row r's parameters suffixed _r.
    const QString& Text(qsizetype rows)
    {
        QString& text = texts_[rows];
        if (text.isEmpty()) {
            static const QRegularExpression parameter(QStringLiteral(":(\\w+)"));
            QStringList tuples;
            for (qsizetype r = 0; r < rows; ++r)
                tuples << QString(tuple_).replace(parameter, QStringLiteral(":\\1_%1").arg(r));
            text = head_ + u' ' + tuples.join(u',');
        }
        return text;
    }

    TDatabase& db_;
    QString head_;   // INSERT INTO ... VALUES
    QString tuple_;  // (:A, :B, ...)
    QList<TRowInserter*> parents_;
    QHash<QString, QVariant> row_;
    QList<QHash<QString, QVariant>> rows_;
    QHash<qsizetype, QString> texts_;
};

struct TProduct {
    QString code;
    QString gtin14;
    bool controlled;
};

class TDemoBuilder {
public:
    TDemoBuilder(TDatabase& db, int scale, const QDate& today)
        : db_(db)
        , scale_(scale)
        , today_(today)
        , random_(13000u + quint32(scale))
    {
    }

    TDemoSummary Build()
    {
        TScopedTransaction transaction(db_, TScopedTransaction::TKind::Write);
        TSql existing(db_, QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL"));
        existing.Exec();
        if (existing.Next() && existing.Number(0) > 0)
            throw EDatabaseError(QStringLiteral("O banco de dados já tem notas fiscais; use um arquivo novo para os dados de demonstração."));
        Branches();
        Customers();
        Products();
        for (const TBranch& branch : branches)
            Invoices(branch);
        transaction.Commit();
        return summary_;
    }

private:
    void Branches()
    {
        TSql branch(db_, QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDUTILALMOX, IDUTILLOCAL)"
                                        " VALUES (:CDFILIAL, :NMFILIAL, :IDUTILALMOX, :IDUTILLOCAL)"));
        TSql warehouse(db_, QStringLiteral("INSERT INTO ALMOXARIFE (CDFILIAL, CDALMOXARIFE, DSALMOXARIFE)"
                                           " VALUES (:CDFILIAL, :CDALMOXARIFE, :DSALMOXARIFE)"));
        TSql location(db_, QStringLiteral("INSERT INTO LOCALESTOQUE (CDFILIAL, CDLOCALESTOQ, DSLOCALESTOQ)"
                                          " VALUES (:CDFILIAL, :CDLOCALESTOQ, :DSLOCALESTOQ)"));
        const char* const warehouseNames[] = {"Almoxarifado Central", "Almoxarifado de Expedição",
                                              "Almoxarifado de Controlados"};
        for (const TBranch& b : branches) {
            const QString code = QString::fromLatin1(b.code);
            branch.Bind(QStringLiteral(":CDFILIAL"), code)
                .Bind(QStringLiteral(":NMFILIAL"), QString::fromUtf8(b.name))
                .Bind(QStringLiteral(":IDUTILALMOX"), b.warehouses ? QStringLiteral("S") : QStringLiteral("N"))
                .Bind(QStringLiteral(":IDUTILLOCAL"), b.locations ? QStringLiteral("S") : QStringLiteral("N"))
                .Exec();
            if (b.warehouses) {
                for (int i = 0; i < 3; ++i)
                    warehouse.Bind(QStringLiteral(":CDFILIAL"), code)
                        .Bind(QStringLiteral(":CDALMOXARIFE"), Number(i + 1, 2))
                        .Bind(QStringLiteral(":DSALMOXARIFE"), QString::fromUtf8(warehouseNames[i]))
                        .Exec();
            }
            if (b.locations) {
                for (int aisle = 0; aisle < 4; ++aisle)
                    for (int shelf = 1; shelf <= 5; ++shelf)
                        location.Bind(QStringLiteral(":CDFILIAL"), code)
                            .Bind(QStringLiteral(":CDLOCALESTOQ"), QStringLiteral("%1%2").arg(QChar(u'A' + aisle)).arg(Number(shelf, 2)))
                            .Bind(QStringLiteral(":DSLOCALESTOQ"),
                                  QStringLiteral("Corredor %1, prateleira %2").arg(QChar(u'A' + aisle)).arg(shelf))
                            .Exec();
            }
        }
    }

    void Customers()
    {
        TSql insert(db_, QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMRAZSOCCLIE, NMFANTCLIE, IDTPIJURCLIE, NRINSJURCLIE)"
                                        " VALUES (:CDCLIENTE, :NMRAZSOCCLIE, :NMFANTCLIE, :IDTPIJURCLIE, :NRINSJURCLIE)"));
        const int count = 20 + 4 * scale_;
        for (int i = 1; i <= count; ++i) {
            const bool company = i % 3 != 0;
            QString legal, trade;
            if (company) {
                trade = QStringLiteral("%1 %2").arg(QString::fromUtf8(Pick(random_, companies)),
                                                     QString::fromUtf8(Pick(random_, places)));
                legal = trade + QStringLiteral(" Ltda.");
            } else {
                legal = QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(Pick(random_, firstNames)),
                                                        QString::fromUtf8(Pick(random_, lastNames)),
                                                        QString::fromUtf8(Pick(random_, lastNames)));
                trade = legal;
            }
            const QString code = Number(i, 8);
            insert.Bind(QStringLiteral(":CDCLIENTE"), code)
                .Bind(QStringLiteral(":NMRAZSOCCLIE"), legal)
                .Bind(QStringLiteral(":NMFANTCLIE"), trade)
                .Bind(QStringLiteral(":IDTPIJURCLIE"), company ? QStringLiteral("J") : QStringLiteral("F"))
                .Bind(QStringLiteral(":NRINSJURCLIE"), company ? Cnpj(random_) : Cpf(random_))
                .Exec();
            customers_.append(code);
        }
    }

    void Products()
    {
        TSql insert(db_, QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, CDARVPROD, NMPRODUTO, SGUNIDADE, CDGTIN, IDCONTROLAIUM)"
                                        " VALUES (:CDPRODUTO, :CDARVPROD, :NMPRODUTO, :SGUNIDADE, :CDGTIN, :IDCONTROLAIUM)"));
        for (int i = 1; i <= 120; ++i) {
            // Brazilian GS1 prefix 789; every fifth product carries a GTIN-14
            // (a logistic unit, indicator digit 1).
            const QString body = QStringLiteral("789%1").arg(Number(10000 + i * 37, 9));
            QString gtin = body + GtinCheckDigit(body);
            if (i % 5 == 0) {
                const QString body14 = QStringLiteral("1") + body;
                gtin = body14 + GtinCheckDigit(body14);
            }
            const bool controlled = i % 6 != 0;
            const QString code = Number(i, 10);
            insert.Bind(QStringLiteral(":CDPRODUTO"), code)
                .Bind(QStringLiteral(":CDARVPROD"), QStringLiteral("%1%2%3").arg(i % 9 + 1).arg(Number(i % 17, 2)).arg(Number(i, 4)))
                .Bind(QStringLiteral(":NMPRODUTO"), QStringLiteral("%1 %2").arg(QString::fromUtf8(productWords[i % 20]),
                                                                                QString::fromUtf8(sizes[(i / 20) % 10])))
                .Bind(QStringLiteral(":SGUNIDADE"), QString::fromLatin1(units[i % 5]))
                .Bind(QStringLiteral(":CDGTIN"), gtin)
                .Bind(QStringLiteral(":IDCONTROLAIUM"), controlled ? QStringLiteral("S") : QStringLiteral("N"))
                .Exec();
            products_.append({code, gtin.size() == 14 ? gtin : QStringLiteral("0") + gtin, controlled});
        }
    }

    void Invoices(const TBranch& branch)
    {
        const QString code = QString::fromLatin1(branch.code);
        const int invoices = std::max(2, 50 * scale_ * branch.share / 100);
        const int perExpedition = 5;

        TRowInserter expedition(db_, QStringLiteral("INSERT INTO EXPEDICAO (CDFILIAL, NREXPEDICAO, DTEXPEDICAO, IDSTATUSSEP)"
                                            " VALUES (:CDFILIAL, :NREXPEDICAO, :DTEXPEDICAO, :IDSTATUSSEP)"));
        TRowInserter order(db_, QStringLiteral("INSERT INTO PEDIDO (CDFILIAL, NRPEDIDO, DTPEDIDO, CDCLIENTE)"
                                       " VALUES (:CDFILIAL, :NRPEDIDO, :DTPEDIDO, :CDCLIENTE)"));
        TRowInserter invoice(db_, QStringLiteral(
            "INSERT INTO NOTAFISCAL (CDFILIAL, NRLANCTONF, NREXPEDICAO, NRPEDIDO, DTPEDIDO, DTENTRSAID, CDCLIENTE,"
            "  CDFILIEMIT, CDFILIDEST, CDTIPOOPER, IDENTRSAIDOP, IDSITSEPNF, QTVOLNF, IDCONFRASTR, DTCONFRASTR)"
            " VALUES (:CDFILIAL, :NRLANCTONF, :NREXPEDICAO, :NRPEDIDO, :DTPEDIDO, :DTENTRSAID, :CDCLIENTE,"
            "  :CDFILIEMIT, :CDFILIDEST, :CDTIPOOPER, :IDENTRSAIDOP, :IDSITSEPNF, :QTVOLNF, :IDCONFRASTR, :DTCONFRASTR)"),
            {&expedition, &order});
        TRowInserter item(db_, QStringLiteral(
            "INSERT INTO ITEMNOTA (CDFILIAL, NRLANCTONF, CDPRODUTO, NRITEMPED, QTITEMPROD, CDALMOXARIFE, CDLOCALESTOQ, IDCOLETA)"
            " VALUES (:CDFILIAL, :NRLANCTONF, :CDPRODUTO, :NRITEMPED, :QTITEMPROD, :CDALMOXARIFE, :CDLOCALESTOQ, :IDCOLETA)"),
            {&invoice});
        TRowInserter reading(db_, QStringLiteral(
            "INSERT INTO LEITURAIUM (CDFILIAL, NRLANCTONF, CDPRODUTO, CDIUMPROD, CDGTIN, NRSERIE, CDALMOXARIFE,"
            "  CDLOCALESTOQ, NRLOTEESTQ, NRSUBLOTE, DTVALILOTE, NRREGISTRO, DTLEITURA)"
            " VALUES (:CDFILIAL, :NRLANCTONF, :CDPRODUTO, :CDIUMPROD, :CDGTIN, :NRSERIE, :CDALMOXARIFE,"
            "  :CDLOCALESTOQ, :NRLOTEESTQ, :NRSUBLOTE, :DTVALILOTE, :NRREGISTRO, :DTLEITURA)"),
            {&item});

        const QString statuses[] = {QStringLiteral("P"), QStringLiteral("A"), QStringLiteral("C")};
        QString currentExpedition;
        QDate expeditionDay;
        for (int n = 0; n < invoices; ++n) {
            // Outgoing dates spread over the last four weeks and the next three days.
            const QDate outgoing = today_.addDays(3 - (qint64(n) * 31 / invoices));
            if (n % perExpedition == 0) {
                currentExpedition = Number(++expeditions_, 10);
                expeditionDay = outgoing;
                expedition.Bind(QStringLiteral(":CDFILIAL"), code)
                    .Bind(QStringLiteral(":NREXPEDICAO"), currentExpedition)
                    .Bind(QStringLiteral(":DTEXPEDICAO"), QDateTime(expeditionDay, QTime(7, 0)))
                    .Bind(QStringLiteral(":IDSTATUSSEP"), statuses[(n / perExpedition) % 3])
                    .Exec();
            }
            const QString number = Number(++invoiceNumbers_, 10);
            const QString orderNumber = Number(500000 + invoiceNumbers_, 10);
            const QDate orderDay = outgoing.addDays(-random_.bounded(1, 6));
            const QString customer = customers_.at(random_.bounded(int(customers_.size())));
            order.Bind(QStringLiteral(":CDFILIAL"), code)
                .Bind(QStringLiteral(":NRPEDIDO"), orderNumber)
                .Bind(QStringLiteral(":DTPEDIDO"), orderDay)
                .Bind(QStringLiteral(":CDCLIENTE"), customer)
                .Exec();

            // Kinds: 0 complete, 1 incomplete (readings missing), 2 already
            // confirmed, 3 with a zero-quantity item and no reading.
            const int kind = n % 10 < 6 ? 0 : n % 10 < 8 ? 1 : n % 10 == 8 ? 2 : 3;
            const bool transfer = n % 17 == 0;
            const QDateTime out(outgoing, QTime(8 + n % 9, (n * 7) % 60));
            invoice.Bind(QStringLiteral(":CDFILIAL"), code)
                .Bind(QStringLiteral(":NRLANCTONF"), number)
                .Bind(QStringLiteral(":NREXPEDICAO"), currentExpedition)
                .Bind(QStringLiteral(":NRPEDIDO"), orderNumber)
                .Bind(QStringLiteral(":DTPEDIDO"), orderDay)
                .Bind(QStringLiteral(":DTENTRSAID"), out)
                .Bind(QStringLiteral(":CDCLIENTE"), customer)
                .Bind(QStringLiteral(":CDFILIEMIT"), code)
                .Bind(QStringLiteral(":CDFILIDEST"), transfer ? QVariant(QStringLiteral("0002")) : QVariant())
                .Bind(QStringLiteral(":CDTIPOOPER"), transfer ? QStringLiteral("TR") : QStringLiteral("VD"))
                .Bind(QStringLiteral(":IDENTRSAIDOP"), QStringLiteral("S"))
                .Bind(QStringLiteral(":IDSITSEPNF"), kind == 1 ? QStringLiteral("N") : QStringLiteral("S"))
                .Bind(QStringLiteral(":QTVOLNF"), double(1 + random_.bounded(40)))
                .Bind(QStringLiteral(":IDCONFRASTR"), kind == 2 ? QStringLiteral("S") : QStringLiteral("N"))
                .Bind(QStringLiteral(":DTCONFRASTR"), kind == 2 ? QVariant(QDateTime(outgoing, QTime(7, 30))) : QVariant())
                .Exec();
            ++summary_.Invoices;

            // Ten distinct products per invoice.
            const int first = random_.bounded(int(products_.size()));
            for (int k = 0; k < 10; ++k) {
                const TProduct& product = products_.at((first + k * 7) % products_.size());
                const bool zeroItem = kind == 3 && k == 9;
                const double quantity = zeroItem ? 0.0
                                        : product.controlled ? double(random_.bounded(1, 25))
                                                             : random_.bounded(1, 200) / 4.0;
                const QVariant warehouse = branch.warehouses ? QVariant(Number(k % 3 + 1, 2)) : QVariant();
                const QVariant location = branch.locations
                                              ? QVariant(QStringLiteral("%1%2").arg(QChar(u'A' + k % 4)).arg(Number(k % 5 + 1, 2)))
                                              : QVariant();
                item.Bind(QStringLiteral(":CDFILIAL"), code)
                    .Bind(QStringLiteral(":NRLANCTONF"), number)
                    .Bind(QStringLiteral(":CDPRODUTO"), product.code)
                    .Bind(QStringLiteral(":NRITEMPED"), QString(QChar(u'0' + k)))
                    .Bind(QStringLiteral(":QTITEMPROD"), quantity)
                    .Bind(QStringLiteral(":CDALMOXARIFE"), warehouse)
                    .Bind(QStringLiteral(":CDLOCALESTOQ"), location)
                    .Bind(QStringLiteral(":IDCOLETA"), product.controlled ? QStringLiteral("S") : QStringLiteral("N"))
                    .Exec();
                ++summary_.Items;
                if (!product.controlled)
                    continue;
                int reads = int(quantity);
                if (kind == 1 && k % 3 == 0)
                    reads = reads / 2;
                const QDate expiry = outgoing.addDays(180 + random_.bounded(540));
                const QString lot = QStringLiteral("L%1%2").arg(expiry.toString(QStringLiteral("yyMM"))).arg(Number(k, 2));
                for (int r = 0; r < reads; ++r) {
                    const QString serial = Number(++serials_, 10);
                    const QString ium = QStringLiteral("01") + product.gtin14 + QStringLiteral("21") + serial
                                        + QChar(29) + QStringLiteral("17") + expiry.toString(QStringLiteral("yyMMdd"))
                                        + QStringLiteral("10") + lot;
                    reading.Bind(QStringLiteral(":CDFILIAL"), code)
                        .Bind(QStringLiteral(":NRLANCTONF"), number)
                        .Bind(QStringLiteral(":CDPRODUTO"), product.code)
                        .Bind(QStringLiteral(":CDIUMPROD"), ium)
                        .Bind(QStringLiteral(":CDGTIN"), product.gtin14)
                        .Bind(QStringLiteral(":NRSERIE"), serial)
                        .Bind(QStringLiteral(":CDALMOXARIFE"), warehouse)
                        .Bind(QStringLiteral(":CDLOCALESTOQ"), location)
                        .Bind(QStringLiteral(":NRLOTEESTQ"), lot)
                        .Bind(QStringLiteral(":NRSUBLOTE"), Number(r % 4 + 1, 2))
                        .Bind(QStringLiteral(":DTVALILOTE"), expiry)
                        .Bind(QStringLiteral(":NRREGISTRO"), QVariant())
                        .Bind(QStringLiteral(":DTLEITURA"), QDateTime(outgoing.addDays(-1), QTime(6, 0)).addSecs(r * 20 + k))
                        .Exec();
                    ++summary_.Readings;
                }
            }
        }
        reading.Flush();  // and, before, every other pending row
    }

    TDatabase& db_;
    int scale_;
    QDate today_;
    QRandomGenerator random_;
    QStringList customers_;
    QList<TProduct> products_;
    qint64 expeditions_ = 0;
    qint64 invoiceNumbers_ = 0;
    qint64 serials_ = 0;
    TDemoSummary summary_;
};

} // namespace

TDemoSummary CreateDemoData(TDatabase& db, int scale, const QDate& today)
{
    return TDemoBuilder(db, std::max(1, scale), today).Build();
}
