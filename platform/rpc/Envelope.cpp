#include "rpc/Envelope.h"

namespace Rpc {

QVariant Success(const QVariant& payload)
{
    return QVariantList{true, payload};
}

QVariant Failure(const QString& message)
{
    return QVariantList{false, message};
}

QString Quoted(const QString& value)
{
    if (value.size() <= QuotedLength)
        return value;
    return value.left(QuotedLength) + QStringLiteral("… (cortado: mais %1 caracteres)").arg(value.size() - QuotedLength);
}

std::optional<TEnvelope> ParseEnvelope(const QVariant& result)
{
    if (result.metaType() != QMetaType::fromType<QVariantList>())
        return std::nullopt;
    const QVariantList items = result.toList();
    if (items.size() != 2 || items[0].metaType() != QMetaType::fromType<bool>())
        return std::nullopt;
    if (items[0].toBool())
        return TEnvelope{true, items[1], QString()};
    if (items[1].metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return TEnvelope{false, QVariant(), items[1].toString()};
}

} // namespace Rpc
