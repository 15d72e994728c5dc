#pragma once
// Payloads written item by item, for tests that need what no encoder of the
// system writes (counts at and past the limits, worst cases for memory).
#include "data/Cbor.h"

#include <QByteArray>
#include <QString>
#include <functional>

using TWrite = std::function<void(TCborWriter&)>;

// A call of `method` whose argument array `args` writes (the array itself),
// with no by-reference indexes.
QByteArray CallPayload(const TWrite& args, const QString& method = QStringLiteral("m"));

// The start of a data packet value (tag, fields): `fields` fields of `kind`
// named F0, F1..., each of size `size`. The caller writes the rows array.
void StartPacket(TCborWriter& w, int fields, int kind, quint64 size);
