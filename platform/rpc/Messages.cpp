#include "rpc/Messages.h"

#include "rpc/Compression.h"
#include "rpc/Frame.h"
#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"

#include <algorithm>


namespace Rpc {

namespace {

[[noreturn]] void Malformed(const QString& what)
{
    throw EProtocolError(QStringLiteral("Mensagem malformada do protocolo: %1.").arg(what));
}

void WriteOptionalText(TCborWriter& out, const QString& text)
{
    if (text.isEmpty())
        out.Null();
    else
        out.Text(text);
}

const QString compactName = QStringLiteral("compact");
const QString zstdName = QStringLiteral("zstd");
const QString noticesName = QStringLiteral("notices");
const QString requestIdName = QStringLiteral("request-id");

struct TWriter {
    TCborWriter& out;
    TPacketForm form;

    // "hello" and "welcome" carry the same items; a hello may add credentials.
    template <class TGreeting>
    void Greeting(const QString& kind, const TGreeting& m, const std::optional<TCredentials>& credentials)
    {
        out.StartArray(credentials ? 6 : m.Features ? 5 : 4);
        out.Text(kind);
        out.Unsigned(m.Version);
        out.Text(m.Module);
        WriteOptionalText(out, m.ServerId);
        if (m.Features || credentials) {
            const TFeatures features = m.Features.value_or(TFeatures{});
            out.StartArray(quint64(features.Compact) + quint64(features.Zstd) + quint64(features.Notices)
                           + quint64(features.RequestId));
            if (features.Compact)
                out.Text(compactName);
            if (features.Zstd)
                out.Text(zstdName);
            if (features.Notices)
                out.Text(noticesName);
            if (features.RequestId)
                out.Text(requestIdName);
        }
        if (credentials) {
            out.StartArray(2);
            out.Text(credentials->User);
            out.Text(credentials->Password);
        }
    }
    void operator()(const THello& m) { Greeting(QStringLiteral("hello"), m, m.Credentials); }
    void operator()(const TWelcome& m) { Greeting(QStringLiteral("welcome"), m, std::nullopt); }
    void operator()(const TCall& m)
    {
        out.StartArray(m.RequestId.isEmpty() ? 5 : 6);
        out.Text(QStringLiteral("call"));
        out.Unsigned(m.Id);
        out.Text(m.Method);
        out.StartArray(quint64(m.Args.size()));
        for (const QVariant& arg : m.Args)
            WriteValue(out, arg, form);
        out.StartArray(quint64(m.ByRef.size()));
        for (int index : m.ByRef)
            out.Unsigned(quint64(index));
        if (!m.RequestId.isEmpty())
            out.Text(m.RequestId);
    }
    void operator()(const TResult& m)
    {
        out.StartArray(4);
        out.Text(QStringLiteral("result"));
        out.Unsigned(m.Id);
        WriteValue(out, m.Value, form);
        out.StartArray(quint64(m.RefValues.size()));
        for (const QVariant& value : m.RefValues)
            WriteValue(out, value, form);
    }
    void operator()(const TFault& m)
    {
        out.StartArray(4);
        out.Text(QStringLiteral("fault"));
        if (m.Id)
            out.Unsigned(*m.Id);
        else
            out.Null();
        out.Text(m.Code);
        out.Text(m.Message);
    }
    void operator()(const TNotice& m)
    {
        out.StartArray(8);
        out.Text(QStringLiteral("notice"));
        for (const QString* text : {&m.Event, &m.Branch, &m.Invoice, &m.Product})
            out.Text(*text);
        if (m.Count)
            out.Double(*m.Count);
        else
            out.Null();
        out.Text(m.User);
        out.Text(m.Station);
    }
};

// Reads the items of the message array in order; every helper checks the
// kind of the item it expects. CBOR errors surface as ECborError, which
// DecodeMessage turns into EProtocolError.
class TMessageReader {
public:
    TMessageReader(const QByteArray& payload, const TRpcLimits& limits)
        : in_(payload)
        , limits_(limits)
        , budget_(payload.size())
    {
    }

    QString Enter()
    {
        if (in_.Kind() != TCborKind::Array || in_.Head().Indefinite)
            Malformed(QStringLiteral("a mensagem deve ser uma lista de tamanho definido"));
        length_ = in_.Head().Value;
        if (length_ == 0)
            Malformed(QStringLiteral("mensagem vazia"));
        in_.Next();
        return Text();
    }
    void ExpectLength(quint64 length, const QString& kind)
    {
        if (length_ != length)
            Malformed(QStringLiteral("\"%1\" deve ter %2 elementos").arg(kind).arg(length));
    }
    quint64 Length() const { return length_; }
    QString Text()
    {
        if (in_.Kind() != TCborKind::Text)
            Malformed(QStringLiteral("texto esperado"));
        budget_.ChargeText(in_);
        return in_.TakeString(limits_.MaxTextBytes);
    }
    quint64 Unsigned()
    {
        quint64 value = 0;
        if (!in_.TakeUnsigned(value))
            Malformed(QStringLiteral("inteiro sem sinal esperado"));
        return value;
    }
    QString OptionalText()
    {
        if (in_.IsSimple(Cbor::Null)) {
            in_.Next();
            return QString();
        }
        return Text();
    }
    std::optional<double> OptionalNumber()
    {
        if (in_.IsSimple(Cbor::Null)) {
            in_.Next();
            return std::nullopt;
        }
        const QVariant value = Value();
        if (value.metaType() != QMetaType::fromType<double>())
            Malformed(QStringLiteral("número esperado"));
        return value.toDouble();
    }
    std::optional<quint64> OptionalUnsigned()
    {
        if (in_.IsSimple(Cbor::Null)) {
            in_.Next();
            return std::nullopt;
        }
        return Unsigned();
    }
    // A value of the message (a result, an argument) may nest MaxDepth
    // arrays of its own: the lists of the message around it do not count.
    QVariant Value() { return ReadValue(in_, limits_, budget_, 0); }
    QVariantList ValueList()
    {
        const QVariant list = ReadValue(in_, limits_, budget_, -1);
        if (list.metaType() != QMetaType::fromType<QVariantList>())
            Malformed(QStringLiteral("lista esperada"));
        return list.toList();
    }
    // Ascending indexes of `arguments` arguments, without repeats: checked
    // as they come, so there are never more of them than arguments.
    QList<int> IndexList(qsizetype arguments)
    {
        if (in_.Kind() != TCborKind::Array)
            Malformed(QStringLiteral("lista de índices esperada"));
        QList<int> indexes;
        for (TCborArray list(in_, "índices"); list.More();) {
            // The list grows as indexes come: three of its slots each at its peak.
            budget_.Charge(3 * qint64(sizeof(int)) + (indexes.isEmpty() ? TDecodeBudget::BlockCost : 0));
            const quint64 index = Unsigned();
            if (index >= quint64(arguments) || (!indexes.isEmpty() && index <= quint64(indexes.back())))
                Malformed(QStringLiteral("índices por referência inválidos"));
            indexes.append(int(index));
        }
        return indexes;
    }
    // Names it does not know are another version's features: ignored.
    TFeatures Features()
    {
        TFeatures features;
        if (in_.Kind() != TCborKind::Array)
            Malformed(QStringLiteral("lista de recursos esperada"));
        for (TCborArray list(in_, "recursos"); list.More();) {
            const QString name = Text();
            features.Compact |= name == compactName;
            features.Zstd |= name == zstdName;
            features.Notices |= name == noticesName;
            features.RequestId |= name == requestIdName;
        }
        return features;
    }
    TCredentials Credentials()
    {
        if (in_.Kind() != TCborKind::Array || in_.Head().Indefinite || in_.Head().Value != 2)
            Malformed(QStringLiteral("as credenciais devem ser uma lista de usuário e senha"));
        in_.Next();
        TCredentials credentials;
        credentials.User = Text();
        credentials.Password = Text();
        return credentials;
    }
    // The message's items were counted on entry: what follows them is extra.
    void Leave()
    {
        if (!in_.AtEnd())
            Malformed(QStringLiteral("bytes a mais depois da mensagem"));
    }

private:
    TCborReader in_;
    const TRpcLimits& limits_;
    TDecodeBudget budget_;
    quint64 length_ = 0;
};

TMessage DecodeItems(const QByteArray& payload, const TRpcLimits& limits, const TFeatures& features)
{
    TMessageReader in(payload, limits);
    const QString kind = in.Enter();
    TMessage result;
    if (kind == QLatin1String("hello") || kind == QLatin1String("welcome")) {
        const bool hello = kind == QLatin1String("hello");
        if (in.Length() != 5 && !(hello && in.Length() == 6))
            in.ExpectLength(4, kind);
        const quint64 version = in.Unsigned();
        const QString module = in.Text();
        const QString serverId = in.OptionalText();
        std::optional<TFeatures> features;
        if (in.Length() >= 5)
            features = in.Features();
        std::optional<TCredentials> credentials;
        if (in.Length() == 6)
            credentials = in.Credentials();
        if (hello)
            result = THello{version, module, serverId, features, credentials};
        else
            result = TWelcome{version, module, serverId, features};
    } else if (kind == QLatin1String("call")) {
        // The sixth item, the request identifier, only once it is agreed.
        if (!(features.RequestId && in.Length() == 6))
            in.ExpectLength(5, kind);
        TCall call;
        call.Id = in.Unsigned();
        call.Method = in.Text();
        call.Args = in.ValueList();
        call.ByRef = in.IndexList(call.Args.size());
        if (in.Length() == 6) {
            call.RequestId = in.Text();
            if (!ValidRequestId(call.RequestId))
                Malformed(QStringLiteral("identificador de requisição inválido"));
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
    } else if (kind == QLatin1String("notice")) {
        in.ExpectLength(8, kind);
        TNotice notice;
        notice.Event = in.Text();
        notice.Branch = in.Text();
        notice.Invoice = in.Text();
        notice.Product = in.Text();
        notice.Count = in.OptionalNumber();
        notice.User = in.Text();
        notice.Station = in.Text();
        result = std::move(notice);
    } else {
        Malformed(QStringLiteral("tipo de mensagem desconhecido \"%1\"").arg(kind.left(40)));
    }
    in.Leave();
    return result;
}

} // namespace

bool ValidRequestId(const QString& id)
{
    if (id.isEmpty() || id.size() > MaxRequestIdLength)
        return false;
    return std::all_of(id.cbegin(), id.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
               || QStringView(u"-_.:{}").contains(c);
    });
}

QByteArray EncodeFrame(const TMessage& message, const TRpcLimits& limits, const TFeatures& features)
{
    TFrameBuilder frame;
    std::visit(TWriter{frame.Writer(), features.Compact ? TPacketForm::Compact : TPacketForm::Plain}, message);
    return frame.Finish(limits.MaxFrameSize, features.Zstd);
}

TMessage DecodeMessage(const QByteArray& payload, const TRpcLimits& limits, const TFeatures& features)
{
    if (IsCompressed(payload)) {
        if (!features.Zstd)
            Malformed(QStringLiteral("quadro comprimido sem que a compressão tenha sido combinada"));
        TFeatures inner = features;
        inner.Zstd = false;
        return DecodeMessage(Decompress(payload, limits.MaxFrameSize), limits, inner);
    }
    try {
        // References are the compact form's, which only an agreement allows.
        if (limits.Packet.references != features.Compact) {
            TRpcLimits agreed = limits;
            agreed.Packet.references = features.Compact;
            return DecodeItems(payload, agreed, features);
        }
        return DecodeItems(payload, limits, features);
    } catch (const ECborError& e) {
        Malformed(e.Message());
    }
}

} // namespace Rpc
