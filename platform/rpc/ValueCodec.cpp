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

void CheckReader(QCborStreamReader& in)
{
    if (in.lastError() != QCborError::NoError)
        Malformed(in.lastError().toString());
}

double ReadNumber(QCborStreamReader& in)
{
    double value = 0;
    if (in.isDouble())
        value = in.toDouble();
    else if (in.isFloat())
        value = in.toFloat();
    else if (in.isFloat16())
        value = double(float(in.toFloat16()));
    else if (in.isUnsignedInteger())
        value = double(quint64(in.toUnsignedInteger()));
    else if (in.isNegativeInteger())
        value = -1.0 - double(quint64(in.toNegativeInteger()) - 1);
    else
        Malformed(QStringLiteral("número esperado"));
    in.next();
    CheckReader(in);
    return value;
}

QVariantList ReadArray(QCborStreamReader& in, const TRpcLimits& limits, int depth)
{
    if (depth >= limits.MaxDepth)
        Malformed(QStringLiteral("aninhamento acima de %1 níveis").arg(limits.MaxDepth));
    QVariantList items;
    if (in.isLengthKnown() && in.length() < 1024)
        items.reserve(qsizetype(in.length()));
    if (!in.enterContainer())
        Malformed(QStringLiteral("lista inválida"));
    while (in.hasNext()) {
        items.append(ReadValue(in, limits, depth + 1));
    }
    CheckReader(in);
    if (!in.leaveContainer())
        Malformed(QStringLiteral("lista incompleta"));
    return items;
}

} // namespace

QString ReadText(QCborStreamReader& in)
{
    if (!in.isString())
        Malformed(QStringLiteral("texto esperado"));
    QString text;
    auto chunk = in.readString();
    while (chunk.status == QCborStreamReader::Ok) {
        text += chunk.data;
        chunk = in.readString();
    }
    if (chunk.status == QCborStreamReader::Error)
        Malformed(QStringLiteral("texto inválido"));
    return text;
}

quint64 ReadUnsigned(QCborStreamReader& in)
{
    if (!in.isUnsignedInteger())
        Malformed(QStringLiteral("inteiro sem sinal esperado"));
    const quint64 value = quint64(in.toUnsignedInteger());
    in.next();
    CheckReader(in);
    return value;
}

void WriteValue(QCborStreamWriter& out, const QVariant& value)
{
    const QMetaType type = value.metaType();
    if (!value.isValid() || value.isNull()) {
        out.append(nullptr);
    } else if (type == QMetaType::fromType<QString>()) {
        out.append(value.toString());
    } else if (type == QMetaType::fromType<TDateTime>()) {
        out.append(QCborTag(TagDateTime));
        out.append(value.value<TDateTime>().Val);
    } else if (type == QMetaType::fromType<bool>()) {
        out.append(value.toBool());
    } else if (type == QMetaType::fromType<double>() || type == QMetaType::fromType<int>()
               || type == QMetaType::fromType<qlonglong>() || type == QMetaType::fromType<uint>()
               || type == QMetaType::fromType<qulonglong>() || type == QMetaType::fromType<float>()) {
        out.append(value.toDouble());
    } else if (type == QMetaType::fromType<TDataPacket>()) {
        out.append(QCborTag(TagDataPacket));
        WritePacket(out, value.value<TDataPacket>());
    } else if (type == QMetaType::fromType<QVariantList>()) {
        const QVariantList items = value.toList();
        out.startArray(quint64(items.size()));
        for (const QVariant& item : items)
            WriteValue(out, item);
        out.endArray();
    } else {
        throw EProtocolError(QStringLiteral("Valor de tipo %1 não pode ser enviado ao servidor de aplicação.")
                                 .arg(QString::fromLatin1(type.name())));
    }
}

QVariant ReadValue(QCborStreamReader& in, const TRpcLimits& limits, int depth)
{
    CheckReader(in);
    switch (in.type()) {
    case QCborStreamReader::String:
        return ReadText(in);
    case QCborStreamReader::UnsignedInteger:
    case QCborStreamReader::NegativeInteger:
    case QCborStreamReader::Float16:
    case QCborStreamReader::Float:
    case QCborStreamReader::Double:
        return ReadNumber(in);
    case QCborStreamReader::SimpleType:
        if (in.isTrue() || in.isFalse()) {
            const bool flag = in.isTrue();
            in.next();
            CheckReader(in);
            return flag;
        }
        if (in.isNull() || in.isUndefined()) {
            in.next();
            CheckReader(in);
            return QVariant();
        }
        Malformed(QStringLiteral("valor simples desconhecido"));
    case QCborStreamReader::Array:
        return ReadArray(in, limits, depth);
    case QCborStreamReader::Tag: {
        const quint64 tag = quint64(in.toTag());
        in.next();
        CheckReader(in);
        if (tag == TagDateTime)
            return QVariant::fromValue(TDateTime(ReadNumber(in)));
        if (tag == TagDataPacket) {
            if (depth >= limits.MaxDepth)
                Malformed(QStringLiteral("aninhamento acima de %1 níveis").arg(limits.MaxDepth));
            try {
                return QVariant::fromValue(ReadPacket(in, limits.Packet));
            } catch (const EDatabaseError& e) {
                throw EProtocolError(e.Message());
            }
        }
        Malformed(QStringLiteral("marca CBOR %1 desconhecida").arg(tag));
    }
    case QCborStreamReader::Invalid:
        Malformed(QStringLiteral("dados incompletos"));
    default:
        Malformed(QStringLiteral("tipo CBOR fora do modelo de valores"));
    }
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
    if (type == QMetaType::fromType<TDataPacket>())
        return QStringLiteral("pacote de dados");
    return QString::fromLatin1(type.name());
}

} // namespace Rpc
