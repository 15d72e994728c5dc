#pragma once
// One CSV field read as its column's value, in the forms Brazilian files
// come in: decimal comma or point ("1.234,5", "1234.5"), dates dd/mm/aaaa
// or aaaa-mm-dd, CPF/CNPJ with or without punctuation. A value is stored in
// the one form the database already holds: dates as ISO 8601 text ("yyyy-MM-dd",
// times "yyyy-MM-ddTHH:mm:ss.zzz", as the server binds its own), tax numbers
// as digits, quantities as numbers.
#include "ImportFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct TFieldValue {
    enum class TKind { Null, Text, Number } Kind = TKind::Null;
    QByteArray Text;  // UTF-8
    double Number = 0;
};

// The value of `text` (valid UTF-8, already without surrounding blanks) in
// `column`; an empty text is null. A text kept as it is shares `text`'s
// bytes. On a wrong value returns false and sets `problem`, a Portuguese
// sentence without the file, line or column.
bool ParseField(const TImportColumn& column, const QByteArray& text, TFieldValue& value, QString& problem);

// A quantity: digits with a decimal comma and '.' between thousands
// ("1.234,5"), or a decimal point and no thousands ("1234.5"). nullopt-like:
// false for anything else.
bool ParseDecimal(QByteArrayView text, double& value, int& decimals);

// Whether `digits` (digits only) is a CPF (11) or a CNPJ (14) whose check
// digits are right.
bool ValidCpf(QByteArrayView digits);
bool ValidCnpj(QByteArrayView digits);
// The two check digits that complete a CPF's first 9 or a CNPJ's first 12
// digits.
QByteArray TaxIdCheckDigits(QByteArrayView body);
