#pragma once
// Texts of the IUM reading screen: the scan as the server receives it, and
// the elements of an accepted code as the screen shows them. Pure functions
// of their arguments.
#include "server/Gs1.h"

#include <QChar>
#include <QString>

namespace IumReading {

// What the scan field shows in place of a group separator typed by the
// scanner (a line edit drops control characters): the mark every code
// shown to a person carries (server/Gs1.h).
inline constexpr char16_t GroupSeparatorMark = ::GroupSeparatorMark;

// The scan as typed, ready for the server: the blanks around it removed
// (Consiste::AllTrim), then the mark and `replacement` (the character the
// host's scanner types for the separator, Varneth) turned into the ASCII
// group separator, character 29.
QString ScanToCode(const QString& typed, QChar replacement);

// The code the server stores for `code` (a scan as ScanToCode gives it):
// without a symbology identifier.
QString StoredCode(const QString& code);

// The hint added to a refusal of `code` (as ScanToCode gives it) that a
// wrong group-separator setting explains: the code does not parse and holds
// a printable character that is neither GS1 data nor the separator's
// stand-in. "" when there is nothing to hint.
QString SeparatorHint(const QString& code);

// "1 leitura aguardando o servidor", "3 leituras aguardando o servidor".
QString PendingCount(qsizetype count);

// The elements of a code, e.g.
// "GTIN 07891234567895, série ABC123, validade 31/12/2027, lote L7";
// the optional elements appear only when the code carries them.
QString DescribeIumCode(const TIumCode& code);

} // namespace IumReading
