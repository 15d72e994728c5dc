#include "CsvWriter.h"

#include <csv.h>

namespace {

bool NeedsQuotes(const QByteArray& field, char separator)
{
    if (field.isEmpty())
        return false;
    const char first = field.front(), last = field.back();
    return field.contains(separator) || field.contains('"') || field.contains('\n') || field.contains('\r')
           || first == ' ' || first == '\t' || last == ' ' || last == '\t';
}

} // namespace

QByteArray CsvLine(const QList<QByteArray>& fields, char separator)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += separator;
        const QByteArray& field = fields[i];
        if (!NeedsQuotes(field, separator)) {
            line += field;
            continue;
        }
        QByteArray quoted(field.size() * 2 + 2, Qt::Uninitialized);
        const size_t size = csv_write(quoted.data(), size_t(quoted.size()), field.constData(), size_t(field.size()));
        line += quoted.first(qsizetype(size));
    }
    return line + "\r\n";
}
