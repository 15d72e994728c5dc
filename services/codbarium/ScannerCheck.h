#pragma once
// The scanner check: what one scan of the test symbol says about how the
// scanner is set up, in plain Portuguese. Pure functions of their arguments.
//
// The test symbol (ScannerTestElements) is a GS1 DataMatrix whose serial
// mixes upper and lower case with the symbols that move between the
// Brazilian ABNT2 and the US keyboard layouts (';' ':' '/' '?'), followed by
// a group separator and a lot. A scanner set up right types "]d2", the
// element string with the character 29 (or the host's stand-in for it,
// `scanner/group_separator`), then Enter.
//
// DiagnoseScan compares what arrived with that, character by character,
// and names each difference: the symbology identifier missing, the
// separator sent as another character (and the setting that would accept
// it) or dropped, no Enter at the end, letters with their case inverted
// (Caps Lock), symbols of the other keyboard layout, characters before or
// after the code. A scan that is not the test symbol at all says so.
#include "server/Gs1.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

namespace ScannerCheck {

// The test symbol's content.
QList<TGs1Element> ScannerTestElements();
// Its element string (with the character 29) as a scanner set up right
// types it, without the symbology identifier.
QString ScannerTestCode();

enum class TFinding {
    Ready,              // nothing to change
    NotTheTestSymbol,
    NoSymbologyId,      // advice only: the reading accepts it
    SeparatorOther,     // another character, not the host's stand-in
    SeparatorDropped,
    NoEnter,
    CaseInverted,
    UsLayoutOnAbnt2,    // the scanner types as a US keyboard, the station is ABNT2
    Abnt2LayoutOnUs,    // the other way round
    ExtraPrefix,
    ExtraSuffix,
    OtherDifference,
};

struct TDiagnosis {
    QList<TFinding> Findings;  // in the order above; just Ready when all is well
    QStringList Messages;      // one per finding, what it means and what to change
    bool Ready() const { return Findings == QList<TFinding>{TFinding::Ready}; }
};

// `typed`: the scan as the keys produced it, with the character 29 where
// the scanner sent a group separator; `enter`: whether Enter ended it;
// `replacement`: the host's stand-in for the separator (29 itself when
// none is set).
TDiagnosis DiagnoseScan(const QString& typed, bool enter, QChar replacement);

} // namespace ScannerCheck
