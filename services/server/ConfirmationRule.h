#pragma once
// When an invoice may be confirmed as ready for traceability. The screen
// enables its confirm button by this rule and the application server checks
// it again before it records a confirmation, so both refuse the same
// invoices: an invoice is ready when it has at least one item and none of
// its items blocks it.
#include <QString>

namespace ConfirmationRule {

enum class TItemBlock {
    None,
    NothingToShipNorRead,  // quantity to ship and quantity read both exactly 0 (null counts as 0)
    ReadingsMissing,       // status exactly "N" (case-sensitive): readings differ from the quantity
};

// Quantities are tested first, then the status.
inline TItemBlock ItemBlock(double toShip, double read, const QString& status)
{
    if (toShip == 0 && read == 0)
        return TItemBlock::NothingToShipNorRead;
    if (status == QLatin1String("N"))
        return TItemBlock::ReadingsMissing;
    return TItemBlock::None;
}

} // namespace ConfirmationRule
