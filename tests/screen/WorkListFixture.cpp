#include "WorkListFixture.h"

QVariantMap WorkListTest::Invoice(const QString& branch, const QString& invoice)
{
    return {{"CDFILIAL", branch}, {"NREXPEDICAO", "0000000005"}, {"NRLANCTONF", invoice},
            {"NRINSJURCLIE", "12345678901"}, {"IDTPIJURCLIE", "F"}, {"IDSITSEPNF", "P"}};
}

QVariantMap WorkListTest::Item(const QString& branch, const QString& invoice, const QString& product,
                               const QVariant& toShip, const QVariant& read, const QVariant& status)
{
    return {{"CDFILIAL", branch},   {"NRLANCTONF", invoice}, {"CDPRODUTO", product},
            {"QTITEMPROD", toShip}, {"QTRESPRODPED", read},  {"IDSTATUSSEPSNCM", status}};
}

QVariantMap WorkListTest::Reading(const QString& branch, const QString& invoice, const QString& product,
                                  const QString& ium)
{
    return {{"CDFILIAL", branch}, {"NRLANCTONF", invoice}, {"CDPRODUTO", product}, {"CDIUMPROD", ium}};
}

void WorkListTest::SetUp()
{
    FilterTest::SetUp();
    // The first invoice is ready, the second has an item without its
    // readings, the third has one item.
    invoices = {Invoice("0001", "0000000001"), Invoice("0001", "0000000002"), Invoice("0001", "0000000003")};
    items = {Item("0001", "0000000001", "10", 2, 2, "S"), Item("0001", "0000000001", "11", 1, 1, "S"),
             Item("0001", "0000000002", "20", 1, 1, "S"), Item("0001", "0000000002", "21", 2, 2, "S"),
             Item("0001", "0000000002", "22", 1, 0, "N"), Item("0001", "0000000003", "30", 1, 1, "S")};
    readings = {Reading("0001", "0000000001", "10", "A-10-1"), Reading("0001", "0000000001", "10", "A-10-2"),
                Reading("0001", "0000000001", "11", "A-11-1"), Reading("0001", "0000000002", "20", "B-20-1"),
                Reading("0001", "0000000002", "21", "B-21-1"), Reading("0001", "0000000002", "21", "B-21-2"),
                Reading("0001", "0000000003", "30", "C-30-1")};
}

QStringList WorkListTest::Column(TDataSet* dataSet, const char* field)
{
    QStringList values;
    TField* f = dataSet->FieldByName(QLatin1String(field));
    for (int i = 0; i < dataSet->RecordCount(); ++i) {
        TDisplayRowScope row(dataSet, i);
        values << f->AsString();
    }
    return values;
}
