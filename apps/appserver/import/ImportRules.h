#pragma once
// What both ways of merging an import (StagedMerge on PostgreSQL, RowMerge
// on SQLite) share: the SQL fragments over a table's format, and the
// messages of the checks, so that a file gets the same problems whichever
// database it goes to.
#include "records/ImportFormat.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace ImportRules {

QString Name(const char* text);
// The table's columns, each prefixed "alias." when an alias is given.
QStringList Columns(const TImportTable& table, const QString& alias = QString());
QStringList KeyColumns(const TImportTable& table);

// "t.C IS DISTINCT FROM <value of C> OR ..." in parentheses, over the
// columns an import may change in a record that exists (present in the
// file, not in the key, not NewOnly); `value` gives the other side of
// column i. "1 = 0" when there is none. `quantities`: those of type
// Quantity only.
QString Differs(const TImportTable& table, const QList<bool>& present, const std::function<QString(int)>& value,
                bool quantities = false);
// "C = <value of C>, ..." over the same columns; empty when none.
QStringList Sets(const TImportTable& table, const QList<bool>& present, const std::function<QString(int)>& value);

// The problems, without the file and line the caller adds.
QString Duplicate(const TImportTable& table, const QStringList& key);
QString Unknown(const TImportTable& parent, const QStringList& values);
QString Confirmed(const QString& branch, const QString& invoice);
QString HasReadings(const QString& branch, const QString& invoice, const QString& product);
QString ProductRead(const QString& product);
QString ReadingDiffers(const TImportTable& table, const QString& branch, const QString& invoice);

} // namespace ImportRules

class TStatement;
struct TFieldValue;

namespace ImportRules {
// A record's value into a statement's parameter `index`.
void Bind(TStatement& statement, int index, const TFieldValue& value);
} // namespace ImportRules
