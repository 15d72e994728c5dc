#pragma once
// The IUM code: a GS1 element string as a scanner types it (a keyboard-wedge
// scanner sends the group separator as the character 29, and may put the
// symbology identifier "]d2" of a GS1 DataMatrix in front). One parser serves
// the application server, which refuses a bad reading, and the reading
// screen, which describes an accepted one (the server alone judges a scan).
//
// Written by hand because no library on the system parses GS1 element
// strings; it supports exactly the application identifiers an IUM carries:
//   (01) GTIN-14, fixed length, with a valid check digit      required
//   (21) serial number, up to 20 characters                   required
//   (17) expiry date YYMMDD, DD = 00 meaning the month's last day
//   (10) lot, up to 20 characters
//   (713) registration number, up to 20 characters
// Variable-length fields end at a group separator or at the end of the scan;
// their characters must belong to GS1's character set 82.
#include <QDate>
#include <QString>

struct TIumCode {
    QString Gtin;          // 14 digits
    QString Serial;
    QDate Expiry;          // invalid when the scan carries none
    QString Lot;
    QString Registration;
    QString Code;          // the scan without the symbology identifier
};

// Raises EConvertError with a Portuguese message saying what is wrong.
// `today` fixes the century of a two-digit expiry year (GS1's sliding window:
// up to 49 years back, 50 ahead).
TIumCode ParseIumCode(const QString& scan, const QDate& today = QDate::currentDate());

// True for the 82 characters of GS1's character set: the printable ASCII
// characters without space, '#', '$', '@', '[', '\', ']', '^', '`', '{', '|',
// '}', '~'.
bool IsGs1Character(QChar c);

// GTIN check digits (GTIN-8, -12, -13 and -14 alike).
bool IsValidGtin(const QString& digits);
// The check digit that completes `body` (the GTIN without its last digit).
QChar GtinCheckDigit(const QString& body);
