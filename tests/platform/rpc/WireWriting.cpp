#include "WireWriting.h"

#include "rpc/ValueCodec.h"

QByteArray CallPayload(const TWrite& args, const QString& method)
{
    QByteArray bytes;
    TCborWriter w(bytes);
    w.StartArray(5);
    w.Text(u"call");
    w.Unsigned(1);
    w.Text(method);
    args(w);
    w.StartArray(0);
    return bytes;
}

void StartPacket(TCborWriter& w, int fields, int kind, quint64 size)
{
    w.Tag(Rpc::TagDataPacket);
    w.StartArray(2);
    w.StartArray(quint64(fields));
    for (int f = 0; f < fields; ++f) {
        w.StartArray(3);
        w.Text(QStringLiteral("F%1").arg(f));
        w.Unsigned(quint64(kind));
        w.Unsigned(size);
    }
}
