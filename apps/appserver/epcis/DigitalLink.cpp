#include "DigitalLink.h"

#include "rtl/Exceptions.h"
#include "server/Gs1.h"

namespace {

const QString gs1Domain = QStringLiteral("https://id.gs1.org");

bool AllDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

QString Gln(const QString& gln)
{
    if (gln.size() != 13 || !AllDigits(gln) || !HasValidCheckDigit(gln))
        throw EConvertError(QStringLiteral("O GLN %1 não é válido: são 13 dígitos com o dígito verificador.").arg(gln));
    return gln;
}

} // namespace

QString Gtin14(const QString& gtin)
{
    if (!AllDigits(gtin) || !IsValidGtin(gtin))
        return QString();
    return gtin.rightJustified(14, u'0');
}

QString PercentEncodeAiValue(const QString& value)
{
    // The unreserved characters of URIs that set 82 holds stay as they are;
    // '~' is unreserved too but not in set 82.
    return QString::fromLatin1(value.toUtf8().toPercentEncoding(QByteArray(), QByteArrayLiteral("~")));
}

QString ProductUri(const QString& gtin)
{
    const QString digits = Gtin14(gtin);
    if (digits.isEmpty())
        throw EConvertError(QStringLiteral("O GTIN %1 não é válido (8, 12, 13 ou 14 dígitos com o dígito verificador).")
                                .arg(gtin));
    return gs1Domain + QStringLiteral("/01/") + digits;
}

QString UnitUri(const QString& gtin, const QString& serial)
{
    const QString product = ProductUri(gtin);
    if (serial.isEmpty() || serial.size() > 20)
        throw EConvertError(QStringLiteral("A série \"%1\" do GTIN %2 não forma um URI GS1 Digital Link: tem de ter de 1 a "
                                           "20 caracteres.")
                                .arg(serial, gtin));
    for (const QChar c : serial) {
        if (!IsGs1Character(c))
            throw EConvertError(QStringLiteral("A série \"%1\" do GTIN %2 não forma um URI GS1 Digital Link: o caractere "
                                               "'%3' não é do conjunto de caracteres GS1.")
                                    .arg(serial, gtin, QString(c)));
    }
    return product + QStringLiteral("/21/") + PercentEncodeAiValue(serial);
}

QString PartyUri(const QString& gln)
{
    return gs1Domain + QStringLiteral("/417/") + Gln(gln);
}

QString LocationUri(const QString& gln)
{
    return gs1Domain + QStringLiteral("/414/") + Gln(gln);
}
