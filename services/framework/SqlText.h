#pragma once
// What the framework's query needs to know about SQL text: which dialect a
// connection speaks, and which named parameters (":NAME") a text holds.
#include <QString>
#include <QStringList>

// The dialects a query keeps a text for.
enum class TSqlDialect { Generic, Oracle, MSSQL, IB };

// The dialect of a QtSql driver: "QOCI" Oracle, "QODBC" Microsoft SQL Server
// (the only server this host reaches through ODBC), "QIBASE" the SQL_IB text;
// every other driver, SQLite and PostgreSQL among them, the generic text.
TSqlDialect SqlDialectOf(const QString& driverName);

// The names of the ":NAME" parameters of `sql` in order of first occurrence,
// each once (names compare case-insensitively; the first spelling is kept).
// Not parameters: text in quotes ('...' and "..."), comments (-- and /* */)
// and "::" (a type cast). Written here because QtSql 6.4 gives no way to
// list the placeholders of a prepared statement.
QStringList SqlParameterNames(const QString& sql);
