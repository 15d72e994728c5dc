#pragma once
// Display formats for numbers, in the classic picture language:
//   0  a digit, always shown        #  a digit, shown when significant
//   .  the decimal point            ,  (before the point) group thousands
//   'x' or "x"  literal text        ;  separates the sections
// One section serves every number; two give positive;negative (the negative
// section shows no sign of its own); three add a section for zero.
// Numbers are rounded half away from zero on their shortest decimal form, so
// 0,125 with two decimals shows 0,13 and 1,005 shows 1,01. A number that rounds
// to zero shows in the zero section and never as "-0".
// Separators come from the process-wide format settings. An empty format gives
// the shortest text that reads back as the same number. Scientific notation is
// not part of the language here: "E" is a literal.
#include <QString>

QString FormatFloat(const QString& format, double value);
// The shortest text that reads back as the same number, with the decimal separator.
QString FloatToStr(double value);
