#include "Consiste.h"

#include "rtl/StrUtils.h"

QString Consiste::Ajusta(const QString& text, int width)
{
    const QString code = Trim(text);
    if (code.isEmpty())
        return code;
    return code.rightJustified(width, u'0');  // never truncates
}

bool Consiste::EmptyString(const QString& text) { return IsBlank(text); }

QString Consiste::AllTrim(const QString& text) { return Trim(text); }

QString Consiste::PictPess(const QString& personType)
{
    const QString type = Trim(personType);
    if (type == u"F")
        return QStringLiteral("999.999.999-99;0;_");
    if (type == u"J")
        return QStringLiteral("99.999.999/9999-99;0;_");
    return QString();
}
