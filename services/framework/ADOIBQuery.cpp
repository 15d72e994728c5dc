#include "ADOIBQuery.h"

#include "DtmDBGeral.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/StrUtils.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>
#include <numeric>

namespace {

[[noreturn]] void raiseDatabaseError(const QSqlError& error)
{
    throw EDatabaseError(error.databaseText().isEmpty() ? error.text() : error.databaseText());
}

TFieldType kindOfColumn(const QSqlField& column)
{
    switch (column.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return TFieldType::ftFloat;
    case QMetaType::QDate:
    case QMetaType::QDateTime: return TFieldType::ftDateTime;
    default: return TFieldType::ftString;
    }
}

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return true;
    default: return false;
    }
}

// The value a parameter binds: its kind decides the type the database sees.
QVariant boundValue(const TParam* param)
{
    if (!param || param->IsNull())
        return QVariant();
    const QVariant& v = param->Value();
    switch (param->DataType()) {
    case TFieldType::ftString: return v.toString();
    case TFieldType::ftFloat: return v.toDouble();
    case TFieldType::ftDateTime:
        if (v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime)
            return v.toDateTime();
        return ToQDateTime(TDateTime(v.toDouble()));
    }
    return v;
}

class TPacketReader {
public:
    TPacketReader(const TDataSet& dataSet, const QSqlRecord& record) : dataSet_(dataSet)
    {
        QList<TFieldDesc> fields;
        for (int i = 0; i < record.count(); ++i) {
            const QSqlField column = record.field(i);
            const TField* field = dataSet.FindField(column.name());
            TFieldDesc d;
            d.Name = column.name();
            d.Type = field ? field->DataType() : kindOfColumn(column);
            if (d.Type == TFieldType::ftString)
                d.Size = field ? field->Size() : qMax(0, column.length());
            fields.append(d);
        }
        fields_ = fields;
        builder_ = std::make_unique<TDataPacketBuilder>(fields);
    }

    void AddRow(const QSqlQuery& query)
    {
        for (int i = 0; i < fields_.size(); ++i) {
            const QVariant v = query.value(i);
            if (v.isNull())
                builder_->AddNull();
            else if (fields_.at(i).Type == TFieldType::ftString)
                builder_->AddString(v.toString());
            else if (fields_.at(i).Type == TFieldType::ftFloat)
                builder_->AddNumber(number(v, fields_.at(i).Name));
            else
                builder_->AddNumber(dateTime(v, fields_.at(i).Name));
        }
        builder_->EndRow();
    }

    TDataPacket Build() { return builder_->Build(); }

private:
    [[noreturn]] void refuse(const QVariant& v, const QString& column, const QString& kind) const
    {
        throw EDatabaseError(QStringLiteral("%1: o valor '%2' da coluna %3 não é %4.")
                                 .arg(dataSet_.Name(), v.toString(), column, kind));
    }

    double number(const QVariant& v, const QString& column) const
    {
        bool ok = isNumber(v);
        const double value = ok ? v.toDouble() : v.toString().trimmed().toDouble(&ok);
        if (!ok)
            refuse(v, column, QStringLiteral("um número"));
        return value;
    }

    // Dates come as QDate/QDateTime from drivers that type them, and as ISO
    // text ("2024-05-31", "2024-05-31 14:30:00", "2024-05-31T14:30:00")
    // from SQLite, which stores them as text.
    double dateTime(const QVariant& v, const QString& column) const
    {
        if (v.typeId() == QMetaType::QDate)
            return DateTimeFromQDate(v.toDate());
        QDateTime value = v.typeId() == QMetaType::QDateTime
                              ? v.toDateTime()
                              : QDateTime::fromString(v.toString().trimmed(), Qt::ISODateWithMs);
        if (!value.isValid() && v.typeId() == QMetaType::QString) {
            const QDate date = QDate::fromString(v.toString().trimmed(), Qt::ISODate);
            if (date.isValid())
                return DateTimeFromQDate(date);
        }
        if (!value.isValid())
            refuse(v, column, QStringLiteral("uma data"));
        return DateTimeFromQDateTime(value);
    }

    const TDataSet& dataSet_;
    QList<TFieldDesc> fields_;
    std::unique_ptr<TDataPacketBuilder> builder_;
};

// The parameters of `text` as a packet of one row, one field each of its
// parameter's kind (a TDateTime's number for a date), for the application
// server, which binds them as the database would.
TDataPacket parameterPacket(const QString& text, const std::function<TParam*(const QString&)>& find)
{
    QList<TFieldDesc> fields;
    const QStringList names = SqlParameterNames(text);
    for (const QString& name : names) {
        const TParam* param = find(name);
        fields.append({name, param ? param->DataType() : TFieldType::ftString, 0});
    }
    TDataPacketBuilder row(fields);
    for (int i = 0; i < names.size(); ++i) {
        const QVariant value = boundValue(find(names[i]));
        if (value.isNull())
            row.AddNull();
        else if (fields[i].Type == TFieldType::ftString)
            row.AddString(value.toString());
        else if (fields[i].Type == TFieldType::ftFloat)
            row.AddNumber(value.toDouble());
        else
            row.AddNumber(DateTimeFromQDateTime(value.toDateTime()));
    }
    row.EndRow();
    return row.Build();
}

} // namespace

TADOIBQuery::TADOIBQuery(TComponent* owner) : TDataSet(owner) {}

const QStringList& TADOIBQuery::TextOf(TSqlDialect dialect) const
{
    const QStringList* text = &SQL;
    switch (dialect) {
    case TSqlDialect::Generic: break;
    case TSqlDialect::Oracle: text = &SQL_ORACLE; break;
    case TSqlDialect::MSSQL: text = &SQL_MSSQL; break;
    case TSqlDialect::IB: text = &SQL_IB; break;
    }
    return text->isEmpty() ? SQL : *text;
}

TParam* TADOIBQuery::findParam(const QString& name) const
{
    for (const auto& p : params_)
        if (p->Name().compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    return nullptr;
}

TParam* TADOIBQuery::ParamByName(const QString& name)
{
    if (TParam* p = findParam(name))
        return p;
    for (const QStringList* text : {&SQL, &SQL_ORACLE, &SQL_MSSQL, &SQL_IB}) {
        if (SqlParameterNames(text->join(u'\n')).contains(name, Qt::CaseInsensitive)) {
            params_.push_back(std::make_unique<TParam>(name));
            return params_.back().get();
        }
    }
    throw EDatabaseError(QStringLiteral("%1: parâmetro '%2' não encontrado.").arg(Name(), name));
}

void TADOIBQuery::Open()
{
    if (Active())
        return;
    if (dtmDBGeral && dtmDBGeral->Remote() && connectionName_ == dtmDBGeral->ConnectionName()) {
        OpenRemote();
        return;
    }
    const QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.isOpen())
        throw EDatabaseError(QStringLiteral("%1: sem conexão com o banco de dados.").arg(Name()));
    const QString text = TextOf(SqlDialectOf(db.driverName())).join(u'\n');
    if (IsBlank(text))
        throw EDatabaseError(QStringLiteral("%1: não há texto SQL para executar.").arg(Name()));

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(text))
        raiseDatabaseError(query.lastError());
    for (const QString& name : SqlParameterNames(text))
        query.bindValue(u':' + name, boundValue(findParam(name)));
    if (!query.exec())
        raiseDatabaseError(query.lastError());

    TPacketReader reader(*this, query.record());
    for (int rows = 0; (maxRecords_ <= 0 || rows < maxRecords_) && query.next(); ++rows)
        reader.AddRow(query);
    if (query.lastError().isValid())
        raiseDatabaseError(query.lastError());
    LoadPacket(reader.Build());
}

void TADOIBQuery::OpenRemote()
{
    const QString text = TextOf(TSqlDialect::Generic).join(u'\n');
    if (IsBlank(text))
        throw EDatabaseError(QStringLiteral("%1: não há texto SQL para executar.").arg(Name()));
    TDataPacket rows =
        dtmDBGeral->RemoteQuery(text, parameterPacket(text, [this](const QString& name) { return findParam(name); }));
    if (maxRecords_ > 0 && rows.RowCount() > maxRecords_) {
        std::vector<int> first(static_cast<size_t>(maxRecords_));
        std::iota(first.begin(), first.end(), 0);
        rows = rows.Select(first);
    }
    LoadPacket(rows);
}
