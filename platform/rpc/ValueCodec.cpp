#include "rpc/ValueCodec.h"

#include "data/PacketCodec.h"
#include "rpc/ProtocolError.h"
#include "rtl/DateTime.h"

namespace Rpc {

namespace {

[[noreturn]] void Malformed(const QString& what)
{
    throw EProtocolError(QStringLiteral("Mensagem malformada do protocolo: %1.").arg(what));
}

double ReadNumber(TCborReader& in)
{
    double value = 0;
    if (!in.TakeNumber(value))
        Malformed(QStringLiteral("número esperado"));
    return value;
}

constexpr qint64 ValueCost = sizeof(QVariant);

QVariant ReadItem(TCborReader& in, const TRpcLimits& limits, TDecodeBudget& budget, int depth);

// A definite list is allocated once, for the items the input can hold (one
// byte each at least); an indefinite one grows as items arrive.
QVariantList ReadArray(TCborReader& in, const TRpcLimits& limits, TDecodeBudget& budget, int depth)
{
    if (depth >= limits.MaxDepth)
        Malformed(QStringLiteral("aninhamento acima de %1 níveis").arg(limits.MaxDepth));
    QVariantList items;
    TCborArray array(in, "lista");
    const bool definite = array.Length() >= 0;
    if (definite) {
        if (array.Length() > in.Remaining())
            Malformed(QStringLiteral("lista de %1 itens declarada, mais do que os dados contêm").arg(array.Length()));
        budget.Charge(array.Length() * ValueCost + TDecodeBudget::BlockCost);
        items.reserve(qsizetype(array.Length()));
    }
    while (array.More()) {
        if (!definite)
            budget.Charge(3 * ValueCost);
        items.append(ReadItem(in, limits, budget, depth + 1));
    }
    return items;
}

QVariant ReadItem(TCborReader& in, const TRpcLimits& limits, TDecodeBudget& budget, int depth)
{
    const TCborHead& h = in.Head();
    switch (h.Kind) {
    case TCborKind::Text:
        budget.ChargeText(in);
        return in.TakeString(limits.MaxTextBytes);
    case TCborKind::Unsigned:
    case TCborKind::Negative:
    case TCborKind::Float:
        return ReadNumber(in);
    case TCborKind::Simple: {
        const quint64 simple = h.Value;
        if (simple != Cbor::False && simple != Cbor::True && simple != Cbor::Null && simple != Cbor::Undefined)
            Malformed(QStringLiteral("valor simples desconhecido"));
        in.Next();
        if (simple == Cbor::False || simple == Cbor::True)
            return simple == Cbor::True;
        return QVariant();
    }
    case TCborKind::Array:
        return ReadArray(in, limits, budget, depth);
    case TCborKind::Tag: {
        const quint64 tag = h.Value;
        in.Next();
        if (tag == TagDateTime)
            return QVariant::fromValue(TDateTime(ReadNumber(in)));
        if (tag == TagDataPacket) {
            if (depth >= limits.MaxDepth)
                Malformed(QStringLiteral("aninhamento acima de %1 níveis").arg(limits.MaxDepth));
            try {
                return QVariant::fromValue(ReadPacket(in, limits.Packet, budget));
            } catch (const EDatabaseError& e) {
                throw EProtocolError(e.Message());
            }
        }
        Malformed(QStringLiteral("marca CBOR %1 desconhecida").arg(tag));
    }
    case TCborKind::End:
        Malformed(QStringLiteral("dados incompletos"));
    default:
        Malformed(QStringLiteral("tipo CBOR fora do modelo de valores"));
    }
}

} // namespace

void WriteValue(TCborWriter& out, const QVariant& value, TPacketForm form)
{
    const QMetaType type = value.metaType();
    if (!value.isValid() || value.isNull()) {
        out.Null();
    } else if (type == QMetaType::fromType<QString>()) {
        out.Text(value.toString());
    } else if (type == QMetaType::fromType<TDateTime>()) {
        out.Tag(TagDateTime);
        out.Double(value.value<TDateTime>().Val);
    } else if (type == QMetaType::fromType<bool>()) {
        out.Bool(value.toBool());
    } else if (type == QMetaType::fromType<double>() || type == QMetaType::fromType<int>()
               || type == QMetaType::fromType<qlonglong>() || type == QMetaType::fromType<uint>()
               || type == QMetaType::fromType<qulonglong>() || type == QMetaType::fromType<float>()) {
        out.Double(value.toDouble());
    } else if (type == QMetaType::fromType<TDataPacket>()) {
        out.Tag(TagDataPacket);
        out.Encoded(EncodePacket(value.value<TDataPacket>(), form));
    } else if (type == QMetaType::fromType<TEncodedPacket>()) {
        out.Tag(TagDataPacket);
        const auto* packet = static_cast<const TEncodedPacket*>(value.constData());
        // Every peer reads the plain form; only some the compact one.
        const bool plainOnly = form == TPacketForm::Plain && packet->Form == TPacketForm::Compact;
        out.Encoded(plainOnly ? Reencode(*packet, form).Cbor : packet->Cbor);
    } else if (type == QMetaType::fromType<QVariantList>()) {
        const QVariantList items = value.toList();
        out.StartArray(quint64(items.size()));
        for (const QVariant& item : items)
            WriteValue(out, item, form);
    } else {
        throw EProtocolError(QStringLiteral("Valor de tipo %1 não pode ser enviado ao servidor de aplicação.")
                                 .arg(QString::fromLatin1(type.name())));
    }
}

QVariant ReadValue(TCborReader& in, const TRpcLimits& limits, TDecodeBudget& budget, int depth)
{
    try {
        return ReadItem(in, limits, budget, depth);
    } catch (const ECborError& e) {
        Malformed(e.Message());
    }
}

QVariant ReadValue(TCborReader& in, const TRpcLimits& limits, int depth)
{
    TDecodeBudget budget(in.Remaining());
    return ReadValue(in, limits, budget, depth);
}


QString KindName(const QVariant& value)
{
    const QMetaType type = value.metaType();
    if (!value.isValid() || value.isNull())
        return QStringLiteral("nulo");
    if (type == QMetaType::fromType<QString>())
        return QStringLiteral("texto");
    if (type == QMetaType::fromType<TDateTime>())
        return QStringLiteral("data");
    if (type == QMetaType::fromType<double>())
        return QStringLiteral("número");
    if (type == QMetaType::fromType<bool>())
        return QStringLiteral("lógico");
    if (type == QMetaType::fromType<QVariantList>())
        return QStringLiteral("lista");
    if (type == QMetaType::fromType<TDataPacket>() || type == QMetaType::fromType<TEncodedPacket>())
        return QStringLiteral("pacote de dados");
    return QString::fromLatin1(type.name());
}

} // namespace Rpc
