// The filter-expression parser (data/FilterExpression.h): the input is a
// filter text, parsed, bound to the IUM readings' layout (with a float
// field added) and evaluated over a few rows that repeat values and hold
// nulls. When the filter is an AND of string equalities, the rows the
// packet's index answers must be the rows the evaluation lets through.
#include "Fuzz.h"

#include "data/FilterExpression.h"
#include "rtl/Exceptions.h"
#include "server/PacketLayouts.h"

namespace {

TDataPacket Rows()
{
    QList<TFieldDesc> fields = Layout::Readings();
    fields.append({QStringLiteral("QTITEMPROD"), TFieldType::ftFloat, 0});
    TDataPacketBuilder rows(fields);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < fields.size(); ++c) {
            if ((r + c) % 5 == 4)
                rows.AddNull();
            else if (fields[c].Type != TFieldType::ftString)
                rows.AddNumber(45000.0 + r % 3 + (r % 2) * 0.5);
            else
                rows.AddString(QStringLiteral("%1").arg(r % (c % 3 + 1), c % 4 + 1, 10, QLatin1Char('0')));
        }
        rows.EndRow();
    }
    return rows.Build();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TDataPacket packet = Rows();
    TFilterExpression::Bound bound;
    try {
        const TFilterExpression filter = TFilterExpression::Parse(QString::fromUtf8(Fuzz::Bytes(data, size)));
        bound = filter.Bind(packet.Fields());
    } catch (const EDatabaseError&) {
        return 0;
    }
    std::vector<int> passing;
    for (int row = 0; row < packet.RowCount(); ++row)
        if (bound.Matches(packet, row))
            passing.push_back(row);
    if (bound.indexable) {
        static const std::vector<int> none;
        const std::vector<int>& indexed =
            bound.contradictory ? none : packet.RowsMatching(bound.keyColumns, bound.keyValues);
        Fuzz::Require(indexed == passing, "the index answers an equality filter as its evaluation does");
    }
    return 0;
}
