#include "ImportRules.h"

namespace ImportRules {

QString Name(const char* text)
{
    return QString::fromLatin1(text);
}

QStringList Columns(const TImportTable& table, const QString& alias)
{
    QStringList names;
    for (const TImportColumn& column : table.Columns)
        names << (alias.isEmpty() ? Name(column.Name) : alias + u'.' + Name(column.Name));
    return names;
}

QStringList KeyColumns(const TImportTable& table)
{
    return Columns(table).first(table.KeyColumns);
}

namespace {

// The columns an import may change in a record that exists.
QList<int> Changeable(const TImportTable& table, const QList<bool>& present, bool quantities)
{
    QList<int> columns;
    for (int i = table.KeyColumns; i < table.Columns.size(); ++i) {
        const TImportColumn& column = table.Columns[i];
        if (present[i] && !column.NewOnly && (!quantities || column.Type == TColumnType::Quantity))
            columns << i;
    }
    return columns;
}

} // namespace

QString Differs(const TImportTable& table, const QList<bool>& present, const std::function<QString(int)>& value,
                bool quantities)
{
    QStringList terms;
    for (const int i : Changeable(table, present, quantities))
        terms << QStringLiteral("t.%1 IS DISTINCT FROM %2").arg(Name(table.Columns[i].Name), value(i));
    return terms.isEmpty() ? QStringLiteral("1 = 0") : u'(' + terms.join(QStringLiteral(" OR ")) + u')';
}

QStringList Sets(const TImportTable& table, const QList<bool>& present, const std::function<QString(int)>& value)
{
    QStringList sets;
    for (const int i : Changeable(table, present, false))
        sets << QStringLiteral("%1 = %2").arg(Name(table.Columns[i].Name), value(i));
    return sets;
}

QString Duplicate(const TImportTable& table, const QStringList& key)
{
    QStringList pairs;
    for (qsizetype i = 0; i < key.size(); ++i)
        pairs << Name(table.Columns[i].Name) + u'=' + key[i];
    return QStringLiteral("chave repetida no arquivo (%1): o registro aparece mais de uma vez")
        .arg(pairs.join(QStringLiteral(", ")));
}

QString Unknown(const TImportTable& parent, const QStringList& values)
{
    return QStringLiteral("%1 %2 não existe (nem no banco nem em %3)")
        .arg(Name(parent.Record), values.join(u'/'), Name(parent.File));
}

QString Confirmed(const QString& branch, const QString& invoice)
{
    return QStringLiteral("a nota fiscal %2 da filial %1 já foi confirmada na conferência: a importação não a altera "
                          "nem a seus itens")
        .arg(branch, invoice);
}

QString HasReadings(const QString& branch, const QString& invoice, const QString& product)
{
    return QStringLiteral("a nota fiscal %2 da filial %1 já tem leituras de IUM: a importação não inclui itens nela "
                          "nem muda a quantidade de um item (produto %3)")
        .arg(branch, invoice, product);
}

QString ProductRead(const QString& product)
{
    return QStringLiteral("o produto %1 já tem leituras de IUM: a importação não muda seu GTIN nem seu controle de IUM")
        .arg(product);
}

QString ReadingDiffers(const TImportTable& table, const QString& branch, const QString& invoice)
{
    return QStringLiteral("esta %1 da nota fiscal %2 da filial %3 já está registrada com outros dados: a importação "
                          "não muda o que a conferência registrou")
        .arg(Name(table.Record), invoice, branch);
}

} // namespace ImportRules

#include "records/FieldValues.h"
#include "storage/Statement.h"

namespace ImportRules {

void Bind(TStatement& statement, int index, const TFieldValue& value)
{
    switch (value.Kind) {
    case TFieldValue::TKind::Null:
        statement.BindNull(index);
        break;
    case TFieldValue::TKind::Text:
        statement.BindText(index, value.Text);
        break;
    case TFieldValue::TKind::Number:
        statement.BindNumber(index, value.Number);
        break;
    }
}

} // namespace ImportRules
