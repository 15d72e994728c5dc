#include "FieldValues.h"

#include "server/Gs1.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace {

bool AllDigits(QByteArrayView text)
{
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.isEmpty();
}

int Number(QByteArrayView digits)
{
    int value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

// Characters, not bytes: VARCHAR(n) counts characters on PostgreSQL.
qsizetype Characters(QByteArrayView utf8)
{
    qsizetype count = 0;
    for (const char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

QString Quoted(QByteArrayView text)
{
    QString shown = QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 60)));
    if (text.size() > 60)
        shown += QStringLiteral("…");
    return u'"' + shown + u'"';
}

enum class TDateRead { Ok, Shape, Nonexistent };

// "dd/mm/aaaa" or "aaaa-mm-dd"; the rest of the text after the date in `rest`.
TDateRead ReadDate(QByteArrayView text, QDate& date, QByteArrayView& rest)
{
    int day = 0, month = 0, year = 0;
    if (text.size() >= 10 && text[2] == '/' && text[5] == '/' && AllDigits(text.first(2)) && AllDigits(text.sliced(3, 2))
        && AllDigits(text.sliced(6, 4))) {
        day = Number(text.first(2));
        month = Number(text.sliced(3, 2));
        year = Number(text.sliced(6, 4));
    } else if (text.size() >= 10 && text[4] == '-' && text[7] == '-' && AllDigits(text.first(4))
               && AllDigits(text.sliced(5, 2)) && AllDigits(text.sliced(8, 2))) {
        year = Number(text.first(4));
        month = Number(text.sliced(5, 2));
        day = Number(text.sliced(8, 2));
    } else {
        return TDateRead::Shape;
    }
    rest = text.sliced(10);
    date = QDate(year, month, day);
    return date.isValid() && year >= 1 ? TDateRead::Ok : TDateRead::Nonexistent;
}

// "hh:mm", "hh:mm:ss" or "hh:mm:ss.zzz" (1 to 3 digits of the second's fraction).
bool ReadTime(QByteArrayView text, QTime& time)
{
    if (text.size() < 5 || text[2] != ':' || !AllDigits(text.first(2)) || !AllDigits(text.sliced(3, 2)))
        return false;
    int seconds = 0, ms = 0;
    if (text.size() > 5) {
        if (text.size() < 8 || text[5] != ':' || !AllDigits(text.sliced(6, 2)))
            return false;
        seconds = Number(text.sliced(6, 2));
        if (text.size() > 8) {
            const QByteArrayView fraction = text.sliced(9);
            if (text[8] != '.' || fraction.size() > 3 || !AllDigits(fraction))
                return false;
            ms = Number(fraction) * (fraction.size() == 1 ? 100 : fraction.size() == 2 ? 10 : 1);
        }
    }
    time = QTime(Number(text.first(2)), Number(text.sliced(3, 2)), seconds, ms);
    return time.isValid();
}

// The ISO 8601 text the server binds a QDate or a QDateTime as
// ("yyyy-MM-dd", "yyyy-MM-ddTHH:mm:ss.zzz"), written digit by digit: Qt's
// formatting of a date and time consults the local time zone each time.
QByteArray IsoText(const QDate& date, const QTime* time)
{
    char text[24];
    const auto put = [&text](int at, int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, date.year(), 4);
    text[4] = text[7] = '-';
    put(5, date.month(), 2);
    put(8, date.day(), 2);
    if (!time)
        return QByteArray(text, 10);
    text[10] = 'T';
    put(11, time->hour(), 2);
    text[13] = text[16] = ':';
    put(14, time->minute(), 2);
    put(17, time->second(), 2);
    text[19] = '.';
    put(20, time->msec(), 3);
    return QByteArray(text, 23);
}

bool ParseDateField(const TImportColumn& column, QByteArrayView text, TFieldValue& value, QString& problem)
{
    QDate date;
    QByteArrayView rest;
    const TDateRead read = ReadDate(text, date, rest);
    const bool timestamp = column.Type == TColumnType::Timestamp;
    if (read == TDateRead::Nonexistent) {
        problem = QStringLiteral("data inexistente: %1").arg(Quoted(text));
        return false;
    }
    QTime time(0, 0);
    if (read == TDateRead::Shape || (!timestamp && !rest.isEmpty())
        || (!rest.isEmpty() && ((rest[0] != ' ' && rest[0] != 'T') || !ReadTime(rest.sliced(1), time)))) {
        problem = timestamp ? QStringLiteral("data e hora em formato desconhecido: %1 (use dd/mm/aaaa hh:mm:ss ou "
                                             "aaaa-mm-dd hh:mm:ss; a hora é opcional)")
                                  .arg(Quoted(text))
                            : QStringLiteral("data em formato desconhecido: %1 (use dd/mm/aaaa ou aaaa-mm-dd)")
                                  .arg(Quoted(text));
        return false;
    }
    value.Kind = TFieldValue::TKind::Text;
    value.Text = IsoText(date, timestamp ? &time : nullptr);
    return true;
}

bool ParseTaxId(QByteArrayView text, TFieldValue& value, QString& problem)
{
    QByteArray digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c != '.' && c != '-' && c != '/' && c != ' ') {
            problem = QStringLiteral("CPF ou CNPJ com caracteres inválidos: %1").arg(Quoted(text));
            return false;
        }
    }
    if (digits.size() == 11 ? !ValidCpf(digits) : digits.size() == 14 ? !ValidCnpj(digits) : true) {
        problem = digits.size() == 11   ? QStringLiteral("CPF com dígitos verificadores errados: %1").arg(Quoted(text))
                  : digits.size() == 14 ? QStringLiteral("CNPJ com dígitos verificadores errados: %1").arg(Quoted(text))
                                        : QStringLiteral("CPF tem 11 dígitos e CNPJ 14: %1").arg(Quoted(text));
        return false;
    }
    value.Kind = TFieldValue::TKind::Text;
    value.Text = digits;
    return true;
}

bool ParseQuantity(QByteArrayView text, TFieldValue& value, QString& problem)
{
    double number = 0;
    int decimals = 0;
    if (!ParseDecimal(text, number, decimals)) {
        problem = QStringLiteral("quantidade que não é um número: %1 (use 1.234,5 ou 1234.5)").arg(Quoted(text));
        return false;
    }
    if (decimals > 3 || number >= 1e12) {
        problem = QStringLiteral("quantidade fora do limite (até 999.999.999.999,999, três casas decimais): %1")
                      .arg(Quoted(text));
        return false;
    }
    value.Kind = TFieldValue::TKind::Number;
    value.Number = number;
    return true;
}

} // namespace

bool ParseDecimal(QByteArrayView text, double& value, int& decimals)
{
    const qsizetype comma = text.indexOf(',');
    QByteArray plain;  // digits and '.', as strtod reads them in the C locale
    QByteArrayView whole = comma < 0 ? text : text.first(comma);
    QByteArrayView fraction = comma < 0 ? QByteArrayView() : text.sliced(comma + 1);
    if (comma < 0) {
        const qsizetype point = text.indexOf('.');
        if (point >= 0) {
            whole = text.first(point);
            fraction = text.sliced(point + 1);
        }
        if (!AllDigits(whole) || (point >= 0 && !AllDigits(fraction)))
            return false;
        plain = whole.toByteArray();
    } else {
        if (!AllDigits(fraction))
            return false;
        // Thousands: groups of three after the first, as "1.234.567".
        const QList<QByteArray> groups = whole.toByteArray().split('.');
        for (qsizetype i = 0; i < groups.size(); ++i) {
            const QByteArray& group = groups[i];
            if (!AllDigits(group) || (i > 0 && group.size() != 3) || (i == 0 && groups.size() > 1 && group.size() > 3))
                return false;
            plain += group;
        }
    }
    decimals = int(fraction.size());
    if (!fraction.isEmpty())
        plain += '.' + fraction.toByteArray();
    bool ok = false;
    value = plain.toDouble(&ok);
    return ok && std::isfinite(value);
}

QByteArray TaxIdCheckDigits(QByteArrayView body)
{
    QByteArray digits = body.toByteArray();
    for (int round = 0; round < 2; ++round) {
        // CPF weights run down from size + 1 to 2; CNPJ's from 9 to 2,
        // cycling, from the right.
        int sum = 0;
        const qsizetype n = digits.size();
        for (qsizetype i = 0; i < n; ++i) {
            const qsizetype fromRight = n - i;  // 1 for the last digit
            const int weight = body.size() == 9 ? int(fromRight + 1) : int((fromRight - 1) % 8 + 2);
            sum += (digits[i] - '0') * weight;
        }
        const int rest = sum % 11;
        digits += char('0' + (rest < 2 ? 0 : 11 - rest));
    }
    return digits.sliced(body.size());
}

bool ValidCpf(QByteArrayView digits)
{
    return digits.size() == 11 && AllDigits(digits) && TaxIdCheckDigits(digits.first(9)) == digits.sliced(9);
}

bool ValidCnpj(QByteArrayView digits)
{
    return digits.size() == 14 && AllDigits(digits) && TaxIdCheckDigits(digits.first(12)) == digits.sliced(12);
}

bool ParseField(const TImportColumn& column, const QByteArray& text, TFieldValue& value, QString& problem)
{
    value = TFieldValue();
    if (text.isEmpty()) {
        if (!column.Required)
            return true;
        problem = QStringLiteral("campo obrigatório vazio");
        return false;
    }
    switch (column.Type) {
    case TColumnType::Text:
        if (Characters(text) > column.Size) {
            problem = QStringLiteral("valor com %1 caracteres; a coluna aceita até %2: %3")
                          .arg(Characters(text))
                          .arg(column.Size)
                          .arg(Quoted(text));
            return false;
        }
        break;
    case TColumnType::Flag:
        if (text != "S" && text != "N") {
            problem = QStringLiteral("valor %1 inválido: use S ou N").arg(Quoted(text));
            return false;
        }
        break;
    case TColumnType::Choice:
        if (text.size() != 1 || !QByteArrayView(column.Choices).contains(text[0])) {
            QStringList choices;
            for (const char* c = column.Choices; *c; ++c)
                choices << QString(QLatin1Char(*c));
            problem = QStringLiteral("valor %1 inválido: use %2").arg(Quoted(text), choices.join(QStringLiteral(", ")));
            return false;
        }
        break;
    case TColumnType::Date:
    case TColumnType::Timestamp:
        return ParseDateField(column, text, value, problem);
    case TColumnType::Quantity:
        return ParseQuantity(text, value, problem);
    case TColumnType::Gtin:
        if (!AllDigits(text) || !IsValidGtin(QString::fromLatin1(text))) {
            problem = QStringLiteral("GTIN inválido (8, 12, 13 ou 14 dígitos com o dígito verificador certo): %1")
                          .arg(Quoted(text));
            return false;
        }
        break;
    case TColumnType::Gln:
        if (text.size() != 13 || !AllDigits(text) || !HasValidCheckDigit(QString::fromLatin1(text))) {
            problem = QStringLiteral("GLN inválido (13 dígitos com o dígito verificador certo): %1").arg(Quoted(text));
            return false;
        }
        break;
    case TColumnType::TaxId:
        return ParseTaxId(text, value, problem);
    }
    value.Kind = TFieldValue::TKind::Text;
    value.Text = text;
    return true;
}
