#include "FormatFloat.h"

#include "FormatSettings.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

// Shortest fixed-notation decimal form of |value|, split at the point.
void decimalDigits(double value, QString& intPart, QString& fracPart)
{
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
    const QString s = QString::fromLatin1(buf, int(res.ptr - buf));
    const int dot = int(s.indexOf(u'.'));
    intPart = dot < 0 ? s : s.left(dot);
    fracPart = dot < 0 ? QString() : s.mid(dot + 1);
}

// Rounds the decimal digits to `decimals` places, half away from zero.
void roundDigits(QString& intPart, QString& fracPart, int decimals)
{
    if (fracPart.size() <= decimals)
        return;
    const bool up = fracPart.at(decimals) >= u'5';
    fracPart.truncate(decimals);
    if (!up)
        return;
    QString all = intPart + fracPart;
    int i = int(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[i] == u'9') {
            all[i] = u'0';
        } else {
            all[i] = QChar(all[i].unicode() + 1);
            break;
        }
    }
    if (i < 0)
        all.prepend(u'1');
    intPart = all.left(all.size() - decimals);
    fracPart = all.right(decimals);
}

QStringList splitSections(const QString& format)
{
    QStringList sections;
    QString cur;
    QChar quote;
    for (QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            sections << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    sections << cur;
    return sections;
}

struct Token {
    enum Kind { Digit0, DigitHash, Point, Literal } kind;
    QString text;
};

struct Picture {
    std::vector<Token> tokens;
    int maxDecimals = 0;
    int minDecimals = 0;
    int minIntDigits = 0;
    bool grouping = false;
};

Picture parse(const QString& section)
{
    Picture p;
    bool afterPoint = false;
    int intPlaceholders = 0;
    int firstZeroInt = -1;
    for (int i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (c == u'"' || c == u'\'') {
            int end = int(section.indexOf(c, i + 1));
            if (end < 0)
                end = int(section.size());
            p.tokens.push_back({Token::Literal, section.mid(i + 1, end - i - 1)});
            i = end;
        } else if (c == u'0' || c == u'#') {
            const bool zero = c == u'0';
            p.tokens.push_back({zero ? Token::Digit0 : Token::DigitHash, {}});
            if (afterPoint) {
                ++p.maxDecimals;
                if (zero)
                    p.minDecimals = p.maxDecimals;
            } else {
                if (zero && firstZeroInt < 0)
                    firstZeroInt = intPlaceholders;
                ++intPlaceholders;
            }
        } else if (c == u'.' && !afterPoint) {
            afterPoint = true;
            p.tokens.push_back({Token::Point, {}});
        } else if (c == u',' && !afterPoint) {
            p.grouping = true;
        } else {
            p.tokens.push_back({Token::Literal, QString(c)});
        }
    }
    p.minIntDigits = firstZeroInt < 0 ? 0 : intPlaceholders - firstZeroInt;
    return p;
}

QString render(const Picture& p, QString intPart, QString fracPart)
{
    const TFormatSettings& fs = FormatSettings();
    while (intPart.size() > 1 && intPart.startsWith(u'0'))
        intPart.remove(0, 1);
    if (intPart == u"0")
        intPart.clear();
    if (intPart.size() < p.minIntDigits)
        intPart = intPart.rightJustified(p.minIntDigits, u'0');
    while (fracPart.size() > p.minDecimals && fracPart.endsWith(u'0'))
        fracPart.chop(1);
    if (fracPart.size() < p.minDecimals)
        fracPart = fracPart.leftJustified(p.minDecimals, u'0');

    if (p.grouping) {
        QString grouped;
        const int n = int(intPart.size());
        for (int i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0)
                grouped += fs.ThousandSeparator;
            grouped += intPart.at(i);
        }
        intPart = grouped;
    }

    // Integer digits go on the first integer placeholder; literals keep their
    // place; fraction digits fill the placeholders after the point in order.
    QString out;
    bool intDone = false;
    bool afterPoint = false;
    int fracIndex = 0;
    for (const Token& t : p.tokens) {
        switch (t.kind) {
        case Token::Literal:
            out += t.text;
            break;
        case Token::Point:
            if (!intDone) {
                out += intPart;
                intDone = true;
            }
            afterPoint = true;
            if (!fracPart.isEmpty())
                out += fs.DecimalSeparator;
            break;
        case Token::Digit0:
        case Token::DigitHash:
            if (afterPoint) {
                if (fracIndex < fracPart.size())
                    out += fracPart.at(fracIndex);
                ++fracIndex;
            } else if (!intDone) {
                out += intPart;
                intDone = true;
            }
            break;
        }
    }
    if (!intDone)
        out += intPart;
    return out;
}

} // namespace

QString FloatToStr(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    QString intPart, fracPart;
    decimalDigits(value, intPart, fracPart);
    QString out = intPart;
    if (!fracPart.isEmpty())
        out += FormatSettings().DecimalSeparator + fracPart;
    return (value < 0 ? QStringLiteral("-") : QString()) + out;
}

QString FormatFloat(const QString& format, double value)
{
    if (format.isEmpty() || std::isnan(value) || std::isinf(value))
        return FloatToStr(value);
    const QStringList sections = splitSections(format);
    const Picture positive = parse(sections.at(0));

    QString intPart, fracPart;
    decimalDigits(value, intPart, fracPart);
    const bool negative = value < 0;
    const bool useNegSection = negative && sections.size() >= 2 && !sections.at(1).isEmpty();
    const Picture& pic = useNegSection ? parse(sections.at(1)) : positive;
    roundDigits(intPart, fracPart, pic.maxDecimals);

    const bool isZero = QString(intPart + fracPart).count(u'0') == intPart.size() + fracPart.size();
    if (isZero) {
        if (sections.size() >= 3 && !sections.at(2).isEmpty())
            return render(parse(sections.at(2)), intPart, fracPart);
        return render(positive, intPart, fracPart);
    }
    if (useNegSection)
        return render(pic, intPart, fracPart);
    return (negative ? QStringLiteral("-") : QString()) + render(pic, intPart, fracPart);
}
