#pragma once
#include <QString>

// The kinds of field a data set and a data packet know.
enum class TFieldType { ftString = 1, ftFloat = 2, ftDateTime = 3 };

// Portuguese name of a kind, for error messages.
inline QString FieldTypeName(TFieldType t)
{
    switch (t) {
    case TFieldType::ftString: return QStringLiteral("texto");
    case TFieldType::ftFloat: return QStringLiteral("número");
    case TFieldType::ftDateTime: return QStringLiteral("data");
    }
    return QStringLiteral("desconhecido");
}
