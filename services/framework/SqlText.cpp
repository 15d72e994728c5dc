#include "SqlText.h"

TSqlDialect SqlDialectOf(const QString& driverName)
{
    if (driverName == u"QOCI")
        return TSqlDialect::Oracle;
    if (driverName == u"QODBC")
        return TSqlDialect::MSSQL;
    if (driverName == u"QIBASE")
        return TSqlDialect::IB;
    return TSqlDialect::Generic;
}

namespace {
bool isNameStart(QChar c) { return c == u'_' || (c.unicode() < 128 && c.isLetter()); }
bool isNamePart(QChar c) { return isNameStart(c) || (c >= u'0' && c <= u'9'); }
} // namespace

QStringList SqlParameterNames(const QString& sql)
{
    QStringList names;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == u'\'' || c == u'"') {
            // A doubled quote inside is the quote itself: skipping to the next
            // quote and going on from there treats it as two adjacent texts.
            const qsizetype close = sql.indexOf(c, i + 1);
            i = close < 0 ? n : close + 1;
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            i = end < 0 ? n : end + 1;
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u':' && i + 1 < n && sql.at(i + 1) == u':') {
            i += 2;
        } else if (c == u':' && i + 1 < n && isNameStart(sql.at(i + 1))) {
            qsizetype end = i + 1;
            while (end < n && isNamePart(sql.at(end)))
                ++end;
            const QString name = sql.mid(i + 1, end - i - 1);
            if (!names.contains(name, Qt::CaseInsensitive))
                names.append(name);
            i = end;
        } else {
            ++i;
        }
    }
    return names;
}
