#include "SqliteFunctions.h"

#include "rtl/Exceptions.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {

void nvl(sqlite3_context* context, int, sqlite3_value** arguments)
{
    sqlite3_result_value(context, sqlite3_value_type(arguments[0]) == SQLITE_NULL ? arguments[1] : arguments[0]);
}

} // namespace

void RegisterSqliteFunctions(const QSqlDatabase& db)
{
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw EDatabaseError(QStringLiteral("A conexão '%1' não é uma conexão SQLite aberta.").arg(db.connectionName()));
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    if (sqlite3_create_function_v2(connection, "NVL", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &nvl, nullptr,
                                   nullptr, nullptr)
        != SQLITE_OK)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(connection)));
}
