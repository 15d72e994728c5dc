#include "StrUtils.h"

namespace {
bool trimmable(QChar c) { return c.unicode() <= u' '; }
} // namespace

QString QuotedStr(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'\'';
    for (QChar c : text) {
        out += c;
        if (c == u'\'')
            out += u'\'';
    }
    out += u'\'';
    return out;
}

QString TrimLeft(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && trimmable(text.at(i)))
        ++i;
    return text.mid(i);
}

QString TrimRight(const QString& text)
{
    qsizetype n = text.size();
    while (n > 0 && trimmable(text.at(n - 1)))
        --n;
    return text.left(n);
}

QString Trim(const QString& text) { return TrimRight(TrimLeft(text)); }

bool IsBlank(const QString& text)
{
    for (QChar c : text)
        if (!trimmable(c))
            return false;
    return true;
}

int StrToIntDef(const QString& text, int fallback)
{
    bool ok = false;
    const int v = Trim(text).toInt(&ok);
    return ok ? v : fallback;
}
