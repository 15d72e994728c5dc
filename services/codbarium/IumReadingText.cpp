#include "IumReadingText.h"

#include "framework/Consiste.h"
#include "framework/Varneth.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <QStringList>

namespace IumReading {

QString ScanToCode(const QString& typed, QChar replacement)
{
    QString code = Consiste::AllTrim(typed);
    code.replace(QChar(GroupSeparatorMark), QChar(Varneth::GroupSeparator));
    code.replace(replacement, QChar(Varneth::GroupSeparator));
    return code;
}

QString StoredCode(const QString& code)
{
    return WithoutSymbologyIdentifier(code);
}

QString SeparatorHint(const QString& code)
{
    try {
        ParseIumCode(code);
        return QString();
    } catch (const EConvertError&) {
    }
    for (QChar c : StoredCode(code)) {
        if (c.isPrint() && c != u' ' && !IsGs1Character(c))
            return QStringLiteral(" Se o leitor envia '%1' como separador de grupo, informe-o em group_separator, "
                                  "na seção [scanner] da configuração do host.")
                .arg(c);
    }
    return QString();
}

QString DescribeIumCode(const TIumCode& code)
{
    QStringList parts{QStringLiteral("GTIN %1").arg(code.Gtin), QStringLiteral("série %1").arg(code.Serial)};
    if (code.Expiry.isValid())
        parts << QStringLiteral("validade %1").arg(DateToStr(DateTimeFromQDate(code.Expiry)));
    if (!code.Lot.isEmpty())
        parts << QStringLiteral("lote %1").arg(code.Lot);
    if (!code.Registration.isEmpty())
        parts << QStringLiteral("registro %1").arg(code.Registration);
    return parts.join(QStringLiteral(", "));
}

QString PendingCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 leitura aguardando o servidor")
                      : QStringLiteral("%1 leituras aguardando o servidor").arg(count);
}

} // namespace IumReading
