#include "Problems.h"

void TProblems::Add(const QString& file, qint64 line, const QString& column, const QString& problem)
{
    if (count_++ >= Shown)
        return;
    QString where = file;
    if (line > 0)
        where += QStringLiteral(", linha %1").arg(line);
    if (!column.isEmpty())
        where += QStringLiteral(", coluna %1").arg(column);
    first_ << where + QStringLiteral(": ") + problem;
}

QString TProblems::Text() const
{
    QString text = first_.join(u'\n');
    if (count_ > Shown)
        text += QStringLiteral("\n... e mais %1 problemas").arg(count_ - Shown);
    return text;
}
