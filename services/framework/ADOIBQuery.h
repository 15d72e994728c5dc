#pragma once
// TADOIBQuery: a read-only SQL query as a data set. It keeps one text per
// database dialect and runs the one that fits the database of its
// connection; a data source, a grid or a lookup list takes it like any data
// set.
//
// Texts. `SQL` (generic), `SQL_ORACLE`, `SQL_MSSQL` and `SQL_IB` hold their
// lines exactly as stored (trailing blanks included); a text runs as its
// lines joined by "\n". The text that runs is chosen by the connection's
// driver (SqlDialectOf, SqlText.h): Oracle, SQL Server and QIBASE their
// own, every other database (SQLite, PostgreSQL) the generic one. A dialect
// whose text is empty runs the generic text. A change of a text counts at the
// next Open. The generic texts may call NVL(a, b): on SQLite the host's
// connection provides it (SqliteFunctions.h); a PostgreSQL database must
// define it in its schema.
//
// Parameters. The ":NAME" placeholders of the texts are the parameters.
// ParamByName gives the one of that name (case-insensitive), made on first
// use; a name that no text holds raises EDatabaseError. Values are bound
// through QSqlQuery::bindValue, never written into the text; a parameter
// that was never given a value, or was cleared, is NULL.
//
// Open runs the text and loads every row into the data set (a snapshot: the
// query keeps no cursor on the database). Each column takes the kind of the
// data set's field of that name; a column without such a field takes the kind
// its database type suggests (numbers float, dates date-time, the rest
// string). Strings are kept as the database returns them, never cut to the
// field's size. With persistent fields, every one must come in the result
// (TDataSet's rule). Open on an open query does nothing; to run it again
// with other parameter values, Close and Open.
//
// On the shared data module of a networked site (TdtmDBGeral::Remote) the
// generic text runs on the application server instead, with the parameters'
// values; the server runs only the texts it knows, and its refusal raises
// EServerError.
//
// Failures raise EDatabaseError: no open connection, an empty text, the
// database refusing the statement (its own message, unchanged), a value that
// does not fit the kind of its field. The query then keeps what it held.
//
// Of the settings below only MaxRecords changes what Open does (0: all rows).
// The others describe cursor, locking and caching of access paths this host
// does not use: they are kept for the compositions that set them.
#include "data/DataSet.h"
#include "data/Field.h"
#include "framework/SqlText.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class TADOIBStringField : public TStringField {
public:
    using TStringField::TStringField;
};

// One named parameter of a query. Its kind converts the value when bound:
// string to text, float to a number, date-time (a TDateTime, QDate or
// QDateTime) to a QDateTime.
class TParam {
public:
    explicit TParam(QString name) : name_(std::move(name)) {}
    const QString& Name() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    const QVariant& Value() const { return value_; }
    void SetValue(const QVariant& value) { value_ = value; }
    void SetAsString(const QString& value) { value_ = value; }
    void Clear() { value_ = QVariant(); }
    bool IsNull() const { return value_.isNull(); }

private:
    QString name_;
    TFieldType dataType_ = TFieldType::ftString;
    QVariant value_;
};

enum class TCursorLocation { clUseServer, clUseClient };
enum class TCursorType { ctUnspecified, ctOpenForwardOnly, ctKeyset, ctDynamic, ctStatic };
enum class TLockType { ltUnspecified, ltReadOnly, ltPessimistic, ltOptimistic, ltBatchOptimistic };

class TADOIBQuery : public TDataSet {
public:
    explicit TADOIBQuery(TComponent* owner = nullptr);

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;
    // The text for a dialect, the generic one where the dialect has none.
    const QStringList& TextOf(TSqlDialect dialect) const;

    // The QtSql connection the query runs on, by its connection name; the
    // query holds the name only, so it never keeps a connection alive.
    void SetConnection(const QSqlDatabase& connection) { connectionName_ = connection.connectionName(); }
    const QString& ConnectionName() const { return connectionName_; }
    // The database and transaction of the other access path; not used here.
    TComponent* Database() const { return database_; }
    void SetDatabase(TComponent* database) { database_ = database; }
    TComponent* Transaction() const { return transaction_; }
    void SetTransaction(TComponent* transaction) { transaction_ = transaction; }

    TParam* ParamByName(const QString& name);  // owned by the query

    void Open() override;

    TCursorLocation CursorLocation() const { return cursorLocation_; }
    void SetCursorLocation(TCursorLocation v) { cursorLocation_ = v; }
    TCursorType CursorType() const { return cursorType_; }
    void SetCursorType(TCursorType v) { cursorType_ = v; }
    TLockType LockType() const { return lockType_; }
    void SetLockType(TLockType v) { lockType_ = v; }
    int CacheSize() const { return cacheSize_; }
    void SetCacheSize(int v) { cacheSize_ = v; }
    int MaxRecords() const { return maxRecords_; }
    void SetMaxRecords(int v) { maxRecords_ = v; }
    bool Prepared() const { return prepared_; }
    void SetPrepared(bool v) { prepared_ = v; }
    bool EnableBCD() const { return enableBCD_; }
    void SetEnableBCD(bool v) { enableBCD_ = v; }
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool v) { paramCheck_ = v; }
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool v) { cachedUpdates_ = v; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool v) { autoCalcFields_ = v; }

private:
    TParam* findParam(const QString& name) const;
    // Open on the data module of a networked site: the generic text runs on
    // the application server (TdtmDBGeral::RemoteQuery).
    void OpenRemote();

    QString connectionName_;
    TComponent* database_ = nullptr;
    TComponent* transaction_ = nullptr;
    std::vector<std::unique_ptr<TParam>> params_;

    TCursorLocation cursorLocation_ = TCursorLocation::clUseClient;
    TCursorType cursorType_ = TCursorType::ctKeyset;
    TLockType lockType_ = TLockType::ltOptimistic;
    int cacheSize_ = 1;
    int maxRecords_ = 0;
    bool prepared_ = false;
    bool enableBCD_ = true;
    bool paramCheck_ = true;
    bool cachedUpdates_ = false;
    bool autoCalcFields_ = true;
};
