#include "rpc/Messages.h"

#include "rpc/Frame.h"
#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"

#include <QCborStreamReader>

namespace Rpc {

namespace {

[[noreturn]] void Malformed(const QString& what)
{
    throw EProtocolError(QStringLiteral("Mensagem malformada do protocolo: %1.").arg(what));
}

void WriteOptionalText(QCborStreamWriter& out, const QString& text)
{
    if (text.isEmpty())
        out.append(nullptr);
    else
        out.append(text);
}

struct TWriter {
    QCborStreamWriter& out;

    void operator()(const THello& m)
    {
        out.startArray(4);
        out.append(QStringLiteral("hello"));
        out.append(m.Version);
        out.append(m.Module);
        WriteOptionalText(out, m.ServerId);
        out.endArray();
    }
    void operator()(const TWelcome& m)
    {
        out.startArray(4);
        out.append(QStringLiteral("welcome"));
        out.append(m.Version);
        out.append(m.Module);
        WriteOptionalText(out, m.ServerId);
        out.endArray();
    }
    void operator()(const TCall& m)
    {
        out.startArray(5);
        out.append(QStringLiteral("call"));
        out.append(m.Id);
        out.append(m.Method);
        out.startArray(quint64(m.Args.size()));
        for (const QVariant& arg : m.Args)
            WriteValue(out, arg);
        out.endArray();
        out.startArray(quint64(m.ByRef.size()));
        for (int index : m.ByRef)
            out.append(quint64(index));
        out.endArray();
        out.endArray();
    }
    void operator()(const TResult& m)
    {
        out.startArray(4);
        out.append(QStringLiteral("result"));
        out.append(m.Id);
        WriteValue(out, m.Value);
        out.startArray(quint64(m.RefValues.size()));
        for (const QVariant& value : m.RefValues)
            WriteValue(out, value);
        out.endArray();
        out.endArray();
    }
    void operator()(const TFault& m)
    {
        out.startArray(4);
        out.append(QStringLiteral("fault"));
        if (m.Id)
            out.append(*m.Id);
        else
            out.append(nullptr);
        out.append(m.Code);
        out.append(m.Message);
        out.endArray();
    }
};

// Reads the items of the message array in order; every helper checks the
// kind of the item it expects.
class TMessageReader {
public:
    TMessageReader(const QByteArray& payload, const TRpcLimits& limits)
        : in_(payload)
        , limits_(limits)
        , size_(payload.size())
    {
    }

    QString Enter()
    {
        if (!in_.isArray() || !in_.isLengthKnown())
            Malformed(QStringLiteral("a mensagem deve ser uma lista de tamanho definido"));
        length_ = in_.length();
        if (length_ == 0 || !in_.enterContainer())
            Malformed(QStringLiteral("mensagem vazia"));
        return ReadText(in_);
    }
    void ExpectLength(quint64 length, const QString& kind)
    {
        if (length_ != length)
            Malformed(QStringLiteral("\"%1\" deve ter %2 elementos").arg(kind).arg(length));
    }
    QString Text() { return ReadText(in_); }
    quint64 Unsigned() { return ReadUnsigned(in_); }
    QString OptionalText()
    {
        if (in_.isNull()) {
            in_.next();
            return QString();
        }
        return ReadText(in_);
    }
    std::optional<quint64> OptionalUnsigned()
    {
        if (in_.isNull()) {
            in_.next();
            return std::nullopt;
        }
        return ReadUnsigned(in_);
    }
    QVariant Value() { return ReadValue(in_, limits_, 1); }
    QVariantList ValueList()
    {
        const QVariant list = ReadValue(in_, limits_, 1);
        if (list.metaType() != QMetaType::fromType<QVariantList>())
            Malformed(QStringLiteral("lista esperada"));
        return list.toList();
    }
    QList<int> IndexList()
    {
        if (!in_.isArray() || !in_.enterContainer())
            Malformed(QStringLiteral("lista de índices esperada"));
        QList<int> indexes;
        while (in_.hasNext()) {
            const quint64 index = ReadUnsigned(in_);
            if (index > quint64(std::numeric_limits<int>::max()))
                Malformed(QStringLiteral("índice fora do intervalo"));
            indexes.append(int(index));
        }
        if (!in_.leaveContainer())
            Malformed(QStringLiteral("lista de índices incompleta"));
        return indexes;
    }
    void Leave()
    {
        if (in_.hasNext() || !in_.leaveContainer())
            Malformed(QStringLiteral("elementos a mais na mensagem"));
        if (in_.lastError() != QCborError::NoError)
            Malformed(in_.lastError().toString());
        if (in_.currentOffset() != size_)
            Malformed(QStringLiteral("bytes a mais depois da mensagem"));
    }

private:
    QCborStreamReader in_;
    const TRpcLimits& limits_;
    qint64 size_;
    quint64 length_ = 0;
};

} // namespace

QByteArray EncodeFrame(const TMessage& message, const TRpcLimits& limits)
{
    TFrameBuilder frame;
    std::visit(TWriter{frame.Writer()}, message);
    return frame.Finish(limits.MaxFrameSize);
}

TMessage DecodeMessage(const QByteArray& payload, const TRpcLimits& limits)
{
    TMessageReader in(payload, limits);
    const QString kind = in.Enter();
    TMessage result;
    if (kind == QLatin1String("hello") || kind == QLatin1String("welcome")) {
        in.ExpectLength(4, kind);
        const quint64 version = in.Unsigned();
        const QString module = in.Text();
        const QString serverId = in.OptionalText();
        if (kind == QLatin1String("hello"))
            result = THello{version, module, serverId};
        else
            result = TWelcome{version, module, serverId};
    } else if (kind == QLatin1String("call")) {
        in.ExpectLength(5, kind);
        TCall call;
        call.Id = in.Unsigned();
        call.Method = in.Text();
        call.Args = in.ValueList();
        call.ByRef = in.IndexList();
        for (qsizetype i = 0; i < call.ByRef.size(); ++i) {
            if (call.ByRef[i] >= call.Args.size() || (i > 0 && call.ByRef[i] <= call.ByRef[i - 1]))
                Malformed(QStringLiteral("índices por referência inválidos"));
        }
        result = std::move(call);
    } else if (kind == QLatin1String("result")) {
        in.ExpectLength(4, kind);
        TResult reply;
        reply.Id = in.Unsigned();
        reply.Value = in.Value();
        reply.RefValues = in.ValueList();
        result = std::move(reply);
    } else if (kind == QLatin1String("fault")) {
        in.ExpectLength(4, kind);
        TFault fault;
        fault.Id = in.OptionalUnsigned();
        fault.Code = in.Text();
        fault.Message = in.Text();
        result = std::move(fault);
    } else {
        Malformed(QStringLiteral("tipo de mensagem desconhecido \"%1\"").arg(kind.left(40)));
    }
    in.Leave();
    return result;
}

} // namespace Rpc
