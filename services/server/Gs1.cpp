#include "Gs1.h"

#include "rtl/Exceptions.h"

namespace {

constexpr QChar GroupSeparator(29);
constexpr int MaxVariableLength = 20;

[[noreturn]] void Invalid(const QString& why)
{
    throw EConvertError(QStringLiteral("Código IUM inválido: %1.").arg(why));
}

bool AllDigits(QStringView text)
{
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return !text.isEmpty();
}

// A (17) date; DD = 00 stands for the last day of the month.
QDate ExpiryDate(QStringView yymmdd, const QDate& today)
{
    if (!AllDigits(yymmdd))
        Invalid(QStringLiteral("data de validade (17) deve ter 6 dígitos"));
    const int yy = yymmdd.left(2).toInt();
    const int mm = yymmdd.mid(2, 2).toInt();
    const int dd = yymmdd.mid(4, 2).toInt();
    const int century = today.year() / 100 * 100;
    const int diff = yy - today.year() % 100;
    int year = century + yy;
    if (diff >= 51)
        year -= 100;
    else if (diff <= -50)
        year += 100;
    if (mm < 1 || mm > 12)
        Invalid(QStringLiteral("mês %1 inválido na data de validade (17)").arg(yymmdd.mid(2, 2)));
    const QDate first(year, mm, 1);
    const QDate date = dd == 0 ? first.addDays(first.daysInMonth() - 1) : QDate(year, mm, dd);
    if (!date.isValid())
        Invalid(QStringLiteral("dia %1 inválido na data de validade (17)").arg(yymmdd.mid(4, 2)));
    return date;
}

} // namespace

bool IsValidGtin(const QString& digits)
{
    const qsizetype n = digits.size();
    if ((n != 8 && n != 12 && n != 13 && n != 14) || !AllDigits(digits))
        return false;
    return GtinCheckDigit(digits.left(n - 1)) == digits.at(n - 1);
}

QChar GtinCheckDigit(const QString& body)
{
    // Weights 3 and 1 alternate from the rightmost digit of the body.
    int sum = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const int digit = body.at(body.size() - 1 - i).unicode() - u'0';
        sum += (i % 2 == 0) ? 3 * digit : digit;
    }
    return QChar(u'0' + (10 - sum % 10) % 10);
}

TIumCode ParseIumCode(const QString& scan, const QDate& today)
{
    TIumCode code;
    QStringView rest(scan);
    if (rest.startsWith(u"]d2"))
        rest = rest.mid(3);
    code.Code = rest.toString();
    if (rest.isEmpty())
        Invalid(QStringLiteral("leitura vazia"));

    bool seen01 = false, seen17 = false, seen10 = false, seen21 = false, seen713 = false;
    auto once = [](bool& seen, const char* ai) {
        if (seen)
            Invalid(QStringLiteral("identificador (%1) repetido").arg(QLatin1String(ai)));
        seen = true;
    };
    // A variable-length field: up to the next separator or the end.
    auto variable = [&rest](const char* ai) {
        qsizetype end = rest.indexOf(GroupSeparator);
        if (end < 0)
            end = rest.size();
        const QStringView value = rest.left(end);
        rest = rest.mid(end);
        if (value.isEmpty())
            Invalid(QStringLiteral("campo (%1) vazio").arg(QLatin1String(ai)));
        if (value.size() > MaxVariableLength)
            Invalid(QStringLiteral("campo (%1) com mais de %2 caracteres").arg(QLatin1String(ai)).arg(MaxVariableLength));
        for (QChar c : value)
            if (!IsGs1Character(c))
                Invalid(QStringLiteral("caractere não permitido no campo (%1)").arg(QLatin1String(ai)));
        return value.toString();
    };
    auto fixed = [&rest](const char* ai, qsizetype length) {
        if (rest.size() < length)
            Invalid(QStringLiteral("campo (%1) incompleto").arg(QLatin1String(ai)));
        const QStringView value = rest.left(length);
        rest = rest.mid(length);
        return value;
    };

    while (!rest.isEmpty()) {
        if (rest.front() == GroupSeparator) {
            rest = rest.mid(1);
            continue;
        }
        if (rest.startsWith(u"01")) {
            rest = rest.mid(2);
            once(seen01, "01");
            const QStringView gtin = fixed("01", 14);
            if (!AllDigits(gtin))
                Invalid(QStringLiteral("GTIN (01) deve ter 14 dígitos"));
            code.Gtin = gtin.toString();
            if (!IsValidGtin(code.Gtin))
                Invalid(QStringLiteral("dígito verificador do GTIN %1 não confere").arg(code.Gtin));
        } else if (rest.startsWith(u"17")) {
            rest = rest.mid(2);
            once(seen17, "17");
            code.Expiry = ExpiryDate(fixed("17", 6), today);
        } else if (rest.startsWith(u"10")) {
            rest = rest.mid(2);
            once(seen10, "10");
            code.Lot = variable("10");
        } else if (rest.startsWith(u"21")) {
            rest = rest.mid(2);
            once(seen21, "21");
            code.Serial = variable("21");
        } else if (rest.startsWith(u"713")) {
            rest = rest.mid(3);
            once(seen713, "713");
            code.Registration = variable("713");
        } else {
            Invalid(QStringLiteral("identificador de aplicação não suportado em \"%1\"").arg(rest.left(4).toString()));
        }
    }
    if (!seen01)
        Invalid(QStringLiteral("falta o GTIN (01)"));
    if (!seen21)
        Invalid(QStringLiteral("falta o número de série (21)"));
    return code;
}

bool IsGs1Character(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z'))
        return true;
    return QStringView(u"!\"%&'()*+,-./:;<=>?_").contains(c);
}
