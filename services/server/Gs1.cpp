#include "Gs1.h"

#include "Gs1Identifiers.h"
#include "rtl/Exceptions.h"

#include <QStringList>

namespace {

constexpr QChar GroupSeparator(29);

// The symbology identifiers of symbols that carry GS1 data.
constexpr QStringView Gs1Symbologies[] = {u"]d2", u"]C1", u"]Q3", u"]e0"};

class TRefusal {
public:
    explicit TRefusal(const QString& what) : what_(what) {}
    [[noreturn]] void operator()(const QString& why) const
    {
        throw EConvertError(QStringLiteral("%1 inválido: %2.").arg(what_, why));
    }

private:
    QString what_;
};

bool AllDigits(QStringView text)
{
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return !text.isEmpty();
}

int Number(QStringView digits) { return digits.toInt(); }

// The length of the symbology identifier `scan` begins with: "]", a letter,
// a digit (']' is no GS1 character, so data never begins so).
qsizetype IdentifierLength(QStringView scan)
{
    const auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    return scan.size() >= 3 && scan.front() == u']' && letter(scan.at(1)) && scan.at(2) >= u'0' && scan.at(2) <= u'9'
               ? 3
               : 0;
}

// A character as a message shows it: printable ones quoted, others by code.
QString Shown(QChar c)
{
    return c.isPrint() && c != u' ' ? QStringLiteral("'%1'").arg(c) : QStringLiteral("de código %1").arg(c.unicode());
}

// A value as a message shows it, the separator visible.
QString Shown(QStringView text) { return Gs1ForDisplay(text.toString()); }

bool InSet(QChar c, TGs1Set set)
{
    const char16_t u = c.unicode();
    const bool digit = u >= u'0' && u <= u'9';
    const bool capital = u >= u'A' && u <= u'Z';
    switch (set) {
    case TGs1Set::Numeric: return digit;
    case TGs1Set::Set82: return IsGs1Character(c);
    case TGs1Set::Set39: return digit || capital || u == u'#' || u == u'-' || u == u'/';
    case TGs1Set::Set64: return digit || capital || (u >= u'a' && u <= u'z') || u == u'-' || u == u'_' || u == u'=';
    }
    return false;
}

bool HasValidCheckPair(QStringView value)
{
    return value.size() >= 3 && value.size() <= 25 && value.right(2) == Gs1CheckPair(value.left(value.size() - 2));
}

bool IsTime(QStringView hhmi) { return Number(hhmi.left(2)) <= 23 && Number(hhmi.mid(2, 2)) <= 59; }

// `value` (digits of the right length already) passes `check`.
bool Passes(QStringView value, TGs1Check check, const QDate& today)
{
    switch (check) {
    case TGs1Check::None: return true;
    case TGs1Check::CheckDigit: return HasValidCheckDigit(value);
    case TGs1Check::CheckPair: return HasValidCheckPair(value);
    case TGs1Check::DateDayZero: return Gs1Date(value, today).isValid();
    case TGs1Check::Date: return value.mid(4, 2) != u"00" && Gs1Date(value.left(6), today).isValid();
    case TGs1Check::DateHour: return Passes(value.left(6), TGs1Check::Date, today) && Number(value.mid(6, 2)) <= 23;
    case TGs1Check::DateTime: return Passes(value.left(6), TGs1Check::Date, today) && IsTime(value.mid(6, 4));
    case TGs1Check::LongDate:
        return QDate(Number(value.left(4)), Number(value.mid(4, 2)), Number(value.mid(6, 2))).isValid();
    case TGs1Check::LongDateTime: return Passes(value.left(8), TGs1Check::LongDate, today) && IsTime(value.mid(8, 4));
    case TGs1Check::Time: return IsTime(value);
    case TGs1Check::MinutesSeconds:
        return (value.size() == 2 || value.size() == 4) && Number(value.left(2)) <= 59 && Number(value.mid(2)) <= 59;
    }
    return false;
}

QString CheckFailure(TGs1Check check)
{
    switch (check) {
    case TGs1Check::CheckDigit: return QStringLiteral("dígito verificador não confere no identificador (%1): %2");
    case TGs1Check::CheckPair: return QStringLiteral("caracteres verificadores não conferem no identificador (%1): %2");
    case TGs1Check::Time:
    case TGs1Check::MinutesSeconds: return QStringLiteral("identificador (%1) com hora inválida: %2");
    default: return QStringLiteral("identificador (%1) com data inválida: %2");
    }
}

void CheckPiece(const TGs1Identifier& id, const TGs1Component& part, QStringView piece, const QDate& today,
                const TRefusal& refuse)
{
    for (QChar c : piece) {
        if (InSet(c, part.Set))
            continue;
        if (part.Set == TGs1Set::Numeric)
            refuse(QStringLiteral("identificador (%1) aceita só dígitos: %2").arg(id.Ai, Shown(piece)));
        refuse(QStringLiteral("caractere %1 não permitido no identificador (%2)").arg(Shown(c), id.Ai));
    }
    if (!Passes(piece, part.Check, today))
        refuse(CheckFailure(part.Check).arg(id.Ai, Shown(piece)));
}

// Checks `value` against the components of `id`.
void CheckValue(const TGs1Identifier& id, QStringView value, const QDate& today, const TRefusal& refuse)
{
    if (value.isEmpty())
        refuse(QStringLiteral("campo (%1) vazio").arg(id.Ai));
    const int fixed = id.FixedLength();
    if (fixed > 0 && value.size() != fixed)
        refuse(QStringLiteral("campo (%1) com %2 caracteres; deve ter %3").arg(id.Ai).arg(value.size()).arg(fixed));
    if (value.size() > id.MaxLength())
        refuse(QStringLiteral("campo (%1) com mais de %2 caracteres").arg(id.Ai).arg(id.MaxLength()));
    qsizetype at = 0;
    for (const TGs1Component& part : id.Components) {
        const qsizetype left = value.size() - at;
        if (left == 0 && part.Optional)
            break;
        const bool fixedPart = part.MinLength == part.MaxLength;
        if (left == 0 || (fixedPart && left < part.MaxLength))
            refuse(QStringLiteral("campo (%1) incompleto: %2").arg(id.Ai, Shown(value)));
        const qsizetype take = fixedPart ? part.MaxLength : qMin<qsizetype>(left, part.MaxLength);
        CheckPiece(id, part, value.mid(at, take), today, refuse);
        at += take;
    }
}

// The elements of `rest`, every value checked, repeats dropped; no pairing
// rule yet.
QList<TGs1Element> Elements(QStringView rest, const QDate& today, const TRefusal& refuse)
{
    QList<TGs1Element> elements;
    while (!rest.isEmpty()) {
        if (rest.front() == GroupSeparator) {
            rest = rest.mid(1);
            continue;
        }
        const TGs1Identifier* id = FindGs1Identifier(rest);
        if (!id)
            refuse(QStringLiteral("identificador de aplicação desconhecido em \"%1\"").arg(Shown(rest.left(4))));
        rest = rest.mid(id->Ai.size());
        qsizetype end = rest.indexOf(GroupSeparator);
        if (end < 0)
            end = rest.size();
        if (id->Predefined) {
            // Its length is known: the value ends there, separator or not.
            const int length = id->FixedLength();
            if (end < length)
                refuse(QStringLiteral("campo (%1) incompleto: %2 de %3 caracteres").arg(id->Ai).arg(end).arg(length));
            end = length;
        }
        const QStringView value = rest.left(end);
        rest = rest.mid(end);
        CheckValue(*id, value, today, refuse);
        const auto same = std::find_if(elements.cbegin(), elements.cend(), [&](const auto& e) { return e.Ai == id->Ai; });
        if (same == elements.cend())
            elements.append({id->Ai, value.toString()});
        else if (same->Value != value)
            refuse(QStringLiteral("identificador (%1) repetido com valores diferentes: %2 e %3")
                       .arg(id->Ai, Shown(same->Value), Shown(value)));
    }
    return elements;
}

void CheckPairings(const TGs1Code& code, const TRefusal& refuse)
{
    const auto has = [&code](const QString& ai) {
        return std::any_of(code.Elements.cbegin(), code.Elements.cend(), [&](const auto& e) { return e.Ai == ai; });
    };
    for (const TGs1Element& element : code.Elements) {
        for (const QStringList& group : FindGs1Identifier(element.Ai)->Requires) {
            if (std::any_of(group.cbegin(), group.cend(), has))
                continue;
            QStringList names;
            for (const QString& ai : group)
                names << QStringLiteral("(%1)").arg(ai);
            const QString last = names.takeLast();
            refuse(names.isEmpty() ? QStringLiteral("identificador (%1) exige o identificador %2").arg(element.Ai, last)
                                   : QStringLiteral("identificador (%1) exige um dos identificadores %2 ou %3")
                                         .arg(element.Ai, names.join(QStringLiteral(", ")), last));
        }
    }
    for (const auto& [a, b] : Gs1ExclusivePairs())
        if (has(a) && has(b))
            refuse(QStringLiteral("identificadores (%1) e (%2) não podem estar no mesmo código").arg(a, b));
}

// The symbology identifier and the elements, not yet paired.
TGs1Code Split(const QString& scan, const QDate& today, const TRefusal& refuse)
{
    TGs1Code code;
    code.SymbologyIdentifier = scan.left(IdentifierLength(scan));
    if (!code.SymbologyIdentifier.isEmpty()) {
        if (std::find(std::begin(Gs1Symbologies), std::end(Gs1Symbologies), code.SymbologyIdentifier)
            == std::end(Gs1Symbologies))
            refuse(QStringLiteral("o leitor informa um símbolo sem dados GS1 (identificador de simbologia %1)")
                       .arg(code.SymbologyIdentifier));
    }
    code.Code = scan.mid(code.SymbologyIdentifier.size());
    code.Elements = Elements(code.Code, today, refuse);
    // Nothing, or separators alone.
    if (code.Elements.isEmpty())
        refuse(QStringLiteral("leitura vazia"));
    return code;
}

} // namespace

QString TGs1Code::Value(QStringView ai) const
{
    for (const TGs1Element& element : Elements)
        if (element.Ai == ai)
            return element.Value;
    return QString();
}

TGs1Code ParseGs1(const QString& scan, const QDate& today, const QString& what)
{
    const TRefusal refuse(what);
    TGs1Code code = Split(scan, today, refuse);
    CheckPairings(code, refuse);
    return code;
}

QString Gs1ElementString(const QList<TGs1Element>& elements)
{
    QString text;
    for (qsizetype i = 0; i < elements.size(); ++i) {
        text += elements[i].Ai + elements[i].Value;
        const TGs1Identifier* id = FindGs1Identifier(elements[i].Ai);
        if (i + 1 < elements.size() && !(id && id->Predefined))
            text += GroupSeparator;
    }
    return text;
}

QString Gs1ForDisplay(const QString& code)
{
    QString shown = code;
    return shown.replace(GroupSeparator, QChar(GroupSeparatorMark));
}

QString WithoutSymbologyIdentifier(const QString& scan)
{
    return scan.mid(IdentifierLength(scan));
}

TIumCode ParseIumCode(const QString& scan, const QDate& today)
{
    const TRefusal refuse(QStringLiteral("Código IUM"));
    // The IUM's own rule first: its message says what an IUM lacks.
    const TGs1Code gs1 = Split(scan, today, refuse);
    TIumCode code;
    code.Code = gs1.Code;
    code.Gtin = gs1.Value(u"01");
    if (code.Gtin.isEmpty())
        refuse(QStringLiteral("falta o GTIN (01)"));
    code.Serial = gs1.Value(u"21");
    if (code.Serial.isEmpty())
        refuse(QStringLiteral("falta o número de série (21)"));
    CheckPairings(gs1, refuse);
    code.Lot = gs1.Value(u"10");
    code.Registration = gs1.Value(u"713");
    if (const QString expiry = gs1.Value(u"17"); !expiry.isEmpty())
        code.Expiry = Gs1Date(expiry, today);
    return code;
}

QDate Gs1Date(QStringView yymmdd, const QDate& today)
{
    if (yymmdd.size() != 6 || !AllDigits(yymmdd))
        return QDate();
    const int yy = Number(yymmdd.left(2));
    const int mm = Number(yymmdd.mid(2, 2));
    const int dd = Number(yymmdd.mid(4, 2));
    const int diff = yy - today.year() % 100;
    int year = today.year() / 100 * 100 + yy;
    if (diff >= 51)
        year -= 100;
    else if (diff <= -50)
        year += 100;
    if (mm < 1 || mm > 12)
        return QDate();
    const QDate first(year, mm, 1);
    return dd == 0 ? first.addDays(first.daysInMonth() - 1) : QDate(year, mm, dd);
}

bool IsValidGtin(const QString& digits)
{
    const qsizetype n = digits.size();
    return (n == 8 || n == 12 || n == 13 || n == 14) && HasValidCheckDigit(digits);
}

bool HasValidCheckDigit(QStringView digits)
{
    return digits.size() >= 2 && AllDigits(digits) && GtinCheckDigit(digits.left(digits.size() - 1)) == digits.back();
}

QChar GtinCheckDigit(QStringView body)
{
    // Weights 3 and 1 alternate from the rightmost digit of the body.
    int sum = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const int digit = body.at(body.size() - 1 - i).unicode() - u'0';
        sum += (i % 2 == 0) ? 3 * digit : digit;
    }
    return QChar(u'0' + (10 - sum % 10) % 10);
}

QString Gs1CheckPair(QStringView body)
{
    // GS1's check-character pair: the body's characters, valued by their
    // place in set 82, weighted by the primes from the right, summed modulo
    // 1021, written as two characters of set 32.
    static constexpr QStringView set82 =
        u"!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    static constexpr QStringView set32 = u"23456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    static constexpr int primes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67, 71, 73, 79, 83};
    int sum = 0;
    for (qsizetype i = 0; i < body.size() && i < qsizetype(std::size(primes)); ++i)
        sum += int(set82.indexOf(body.at(body.size() - 1 - i))) * primes[i];
    sum %= 1021;
    return QString(set32.at(sum >> 5)) + set32.at(sum & 31);
}

bool IsGs1Character(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z'))
        return true;
    return QStringView(u"!\"%&'()*+,-./:;<=>?_").contains(c);
}
