#include "Gs1Identifiers.h"

#include <QHash>

#include <algorithm>

namespace {

// One row: every identifier from `first` to `last` (same length) has the
// value `format` and requires the identifiers `needs`.
//
// `format`: components separated by blanks, an optional one in brackets;
// each is a set letter (N, X, Y, Z), a length ("14" fixed, "..20" up to 20)
// and an optional check after a comma, as GS1's syntax dictionary writes them.
// `needs`: groups separated by ';', each a list of alternatives.
struct TRow {
    const char* first;
    const char* last;
    const char* format;
    const char* needs;
};

constexpr const char* TradeItem = "01 02 03 8006 8026";

const TRow Rows[] = {
    {"00", "00", "N18,csum", ""},
    {"01", "01", "N14,csum", ""},
    {"02", "02", "N14,csum", "00"},
    {"03", "03", "N14,csum", ""},
    {"10", "10", "X..20", TradeItem},
    {"11", "11", "N6,yymmd0", TradeItem},
    {"12", "12", "N6,yymmd0", "8020"},
    {"13", "13", "N6,yymmd0", TradeItem},
    {"15", "17", "N6,yymmd0", TradeItem},
    {"20", "20", "N2", "01 02 03"},
    {"21", "21", "X..20", "01 03 8006"},
    {"22", "22", "X..20", "01"},
    {"235", "235", "X..28", "01"},
    {"240", "241", "X..30", TradeItem},
    {"242", "242", "N..6", "01 03"},
    {"243", "243", "X..20", "01"},
    {"250", "250", "X..30", "01 8006;21"},
    {"251", "251", "X..30", "01 8006"},
    {"253", "253", "N13,csum [X..17]", ""},
    {"254", "254", "X..20", "414"},
    {"255", "255", "N13,csum [N..12]", ""},
    {"30", "30", "N..8", "01 02 03 8006 8026"},
    {"37", "37", "N..8", "02 8026"},
    {"3900", "3909", "N..15", "255 8020"},
    {"3910", "3919", "N3 N..15", "8020"},
    {"3920", "3929", "N..15", "01"},
    {"3930", "3939", "N3 N..15", "01"},
    {"3940", "3943", "N4", "255"},
    {"3950", "3955", "N6", "01"},
    {"400", "401", "X..30", ""},
    {"402", "402", "N17,csum", ""},
    {"403", "403", "X..30", ""},
    {"410", "417", "N13,csum", ""},
    {"420", "420", "X..20", ""},
    {"421", "421", "N3 X..9", ""},
    {"422", "422", "N3", TradeItem},
    {"423", "423", "N3 [N..12]", TradeItem},
    {"424", "424", "N3", TradeItem},
    {"425", "425", "N3 [N..12]", TradeItem},
    {"426", "426", "N3", TradeItem},
    {"427", "427", "X..3", "422"},
    {"4300", "4301", "X..35", ""},
    {"4302", "4306", "X..70", ""},
    {"4307", "4307", "X2", ""},
    {"4308", "4308", "X..30", ""},
    {"4309", "4309", "N20", ""},
    {"4310", "4311", "X..35", ""},
    {"4312", "4316", "X..70", ""},
    {"4317", "4317", "X2", ""},
    {"4318", "4318", "X..20", ""},
    {"4319", "4319", "X..30", ""},
    {"4320", "4320", "X..35", ""},
    {"4321", "4323", "N1", ""},
    {"4324", "4325", "N10,yymmddhhmi", ""},
    {"4326", "4326", "N6,yymmdd", ""},
    {"4330", "4333", "N6 [X1]", ""},
    {"7001", "7001", "N13", "01"},
    {"7002", "7002", "X..30", "01"},
    {"7003", "7003", "N10,yymmddhhmi", "01"},
    {"7004", "7004", "N..4", "01"},
    {"7005", "7005", "X..12", "01"},
    {"7006", "7006", "N6,yymmdd", "01"},
    {"7007", "7007", "N6,yymmdd [N6,yymmdd]", "01"},
    {"7008", "7008", "X..3", "01"},
    {"7009", "7009", "X..10", "01"},
    {"7010", "7010", "X..2", "01"},
    {"7011", "7011", "N6,yymmdd [N4,hhmi]", "01"},
    {"7020", "7022", "X..20", "01"},
    {"7023", "7023", "X..30", "8004"},
    {"7030", "7039", "N3 X..27", "01"},
    {"7040", "7040", "N1 X3", ""},
    {"710", "716", "X..20", "01"},
    {"7230", "7239", "X2 X..28", ""},
    {"7240", "7240", "X..20", "01"},
    {"7241", "7241", "N2", ""},
    {"7242", "7242", "X..25", ""},
    {"7250", "7250", "N8,yyyymmdd", ""},
    {"7251", "7251", "N12,yyyymmddhhmi", ""},
    {"7252", "7252", "N1", ""},
    {"7253", "7254", "X..40", ""},
    {"7255", "7255", "X..10", ""},
    {"7256", "7256", "X..90", ""},
    {"7257", "7257", "X..70", ""},
    {"7258", "7258", "N1 X1 N1", ""},
    {"7259", "7259", "X..40", ""},
    {"8001", "8001", "N14", "01"},
    {"8002", "8002", "X..20", ""},
    {"8003", "8003", "N14,csum [X..16]", ""},
    {"8004", "8004", "X..30", ""},
    {"8005", "8005", "N6", "01 02"},
    {"8006", "8006", "N14,csum N2 N2", ""},
    {"8007", "8007", "X..34", ""},
    {"8008", "8008", "N8,yymmddhh [N..4,mmss]", "01"},
    {"8009", "8009", "X..50", ""},
    {"8010", "8010", "Y..30", ""},
    {"8011", "8011", "N..12", "8010"},
    {"8012", "8012", "X..20", "01 8006"},
    {"8013", "8013", "X..25,csumalpha", ""},
    {"8014", "8014", "X..25", ""},
    {"8017", "8018", "N18,csum", ""},
    {"8019", "8019", "N..10", "8017 8018"},
    {"8020", "8020", "X..25", "415"},
    {"8026", "8026", "N14,csum N2 N2", "37"},
    {"8030", "8030", "Z..90", ""},
    {"8110", "8110", "X..70", ""},
    {"8111", "8111", "N4", "255"},
    {"8112", "8112", "X..70", ""},
    {"8200", "8200", "X..70", "01"},
    {"90", "90", "X..30", ""},
    {"91", "99", "X..90", ""},
};

// The trade measures: (3ppn) with a decimal point position n from 0 to 5,
// six digits, for each of these ranges of (3pp).
const std::pair<int, int> MeasureRanges[] = {{310, 316}, {320, 329}, {330, 337}, {340, 349}, {350, 357}, {360, 369}};

TGs1Check CheckNamed(QStringView name)
{
    static const QHash<QString, TGs1Check> checks{
        {QStringLiteral("csum"), TGs1Check::CheckDigit},
        {QStringLiteral("csumalpha"), TGs1Check::CheckPair},
        {QStringLiteral("yymmd0"), TGs1Check::DateDayZero},
        {QStringLiteral("yymmdd"), TGs1Check::Date},
        {QStringLiteral("yymmddhh"), TGs1Check::DateHour},
        {QStringLiteral("yymmddhhmi"), TGs1Check::DateTime},
        {QStringLiteral("yyyymmdd"), TGs1Check::LongDate},
        {QStringLiteral("yyyymmddhhmi"), TGs1Check::LongDateTime},
        {QStringLiteral("hhmi"), TGs1Check::Time},
        {QStringLiteral("mmss"), TGs1Check::MinutesSeconds},
    };
    // The table above is ours: a name it does not know is a typing error
    // that the identifier table test shows at once.
    return checks.value(name.toString(), TGs1Check::None);
}

TGs1Component ComponentOf(QStringView text)
{
    TGs1Component part;
    if (text.startsWith(u'[')) {
        part.Optional = true;
        text = text.mid(1, text.size() - 2);
    }
    const qsizetype comma = text.indexOf(u',');
    if (comma >= 0) {
        part.Check = CheckNamed(text.mid(comma + 1));
        text = text.left(comma);
    }
    switch (text.front().unicode()) {
    case u'X': part.Set = TGs1Set::Set82; break;
    case u'Y': part.Set = TGs1Set::Set39; break;
    case u'Z': part.Set = TGs1Set::Set64; break;
    default: part.Set = TGs1Set::Numeric; break;
    }
    if (text.mid(1).startsWith(u"..")) {
        part.MinLength = 1;
        part.MaxLength = text.mid(3).toInt();
    } else {
        part.MinLength = part.MaxLength = text.mid(1).toInt();
    }
    return part;
}

bool IsPredefined(QStringView ai)
{
    const int head = ai.left(2).toInt();
    return head <= 4 || (head >= 11 && head <= 20) || (head >= 31 && head <= 36) || head == 41;
}

TGs1Identifier Make(const QString& ai, const char* format, const char* needs)
{
    TGs1Identifier id;
    id.Ai = ai;
    for (const QString& part : QString::fromLatin1(format).split(u' ', Qt::SkipEmptyParts))
        id.Components.append(ComponentOf(part));
    for (const QString& group : QString::fromLatin1(needs).split(u';', Qt::SkipEmptyParts))
        id.Requires.append(group.split(u' ', Qt::SkipEmptyParts));
    id.Predefined = IsPredefined(ai);
    return id;
}

QList<TGs1Identifier> BuildTable()
{
    QList<TGs1Identifier> table;
    for (const TRow& row : Rows) {
        const int width = int(qstrlen(row.first));
        for (int n = QByteArray(row.first).toInt(); n <= QByteArray(row.last).toInt(); ++n)
            table.append(Make(QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')), row.format, row.needs));
    }
    for (const auto& [from, to] : MeasureRanges)
        for (int pp = from; pp <= to; ++pp)
            for (int n = 0; n <= 5; ++n)
                table.append(Make(QString::number(pp * 10 + n), "N6", TradeItem));
    std::sort(table.begin(), table.end(), [](const auto& a, const auto& b) { return a.Ai < b.Ai; });
    return table;
}

// Identifiers by their text, pointing into the table.
const QHash<QString, const TGs1Identifier*>& Index()
{
    static const QHash<QString, const TGs1Identifier*> index = [] {
        QHash<QString, const TGs1Identifier*> byAi;
        for (const TGs1Identifier& id : Gs1Identifiers())
            byAi.insert(id.Ai, &id);
        return byAi;
    }();
    return index;
}

} // namespace

int TGs1Identifier::FixedLength() const
{
    int length = 0;
    for (const TGs1Component& part : Components) {
        if (part.Optional || part.MinLength != part.MaxLength)
            return 0;
        length += part.MaxLength;
    }
    return length;
}

int TGs1Identifier::MaxLength() const
{
    int length = 0;
    for (const TGs1Component& part : Components)
        length += part.MaxLength;
    return length;
}

const QList<TGs1Identifier>& Gs1Identifiers()
{
    static const QList<TGs1Identifier> table = BuildTable();
    return table;
}

const TGs1Identifier* FindGs1Identifier(QStringView text)
{
    // Identifiers are 2 to 4 digits and none is the start of another.
    const auto& index = Index();
    for (qsizetype length = 2; length <= 4 && length <= text.size(); ++length) {
        const auto found = index.constFind(text.left(length).toString());
        if (found != index.constEnd())
            return found.value();
    }
    return nullptr;
}

const QList<std::pair<QString, QString>>& Gs1ExclusivePairs()
{
    // One trade item is named once: by (01), by (02) for a logistic unit's
    // contents, by (03) made to order, or as the component of (8006) or
    // (8026); a serial (21) and a third-party control (235) exclude each other.
    static const QList<std::pair<QString, QString>> pairs{
        {QStringLiteral("01"), QStringLiteral("02")},   {QStringLiteral("01"), QStringLiteral("03")},
        {QStringLiteral("02"), QStringLiteral("03")},   {QStringLiteral("01"), QStringLiteral("8006")},
        {QStringLiteral("01"), QStringLiteral("8026")}, {QStringLiteral("02"), QStringLiteral("8006")},
        {QStringLiteral("01"), QStringLiteral("37")},   {QStringLiteral("21"), QStringLiteral("235")},
    };
    return pairs;
}
