#include "rpc/Compression.h"

#include "rpc/ProtocolError.h"

#include <zstd.h>

namespace Rpc {

namespace {

// Fast enough to keep up with a 1 Gbit/s link on one core; the higher levels
// gain little on a work list.
constexpr int Level = 3;

[[noreturn]] void Bad(const QString& what)
{
    throw EProtocolError(QStringLiteral("Quadro comprimido inválido: %1.").arg(what));
}

} // namespace

bool IsCompressed(QByteArrayView payload)
{
    return payload.size() >= 4 && quint8(payload[0]) == 0x28 && quint8(payload[1]) == 0xb5
           && quint8(payload[2]) == 0x2f && quint8(payload[3]) == 0xfd;
}

QByteArray Compress(QByteArrayView payload)
{
    QByteArray out(qsizetype(ZSTD_compressBound(size_t(payload.size()))), Qt::Uninitialized);
    const size_t size = ZSTD_compress(out.data(), size_t(out.size()), payload.data(), size_t(payload.size()), Level);
    if (ZSTD_isError(size) || qsizetype(size) >= payload.size())
        return QByteArray();
    out.truncate(qsizetype(size));
    out.squeeze();
    return out;
}

QByteArray Decompress(QByteArrayView payload, quint32 maxSize)
{
    if (ZSTD_findFrameCompressedSize(payload.data(), size_t(payload.size())) != size_t(payload.size()))
        Bad(QStringLiteral("não é exatamente um quadro zstd"));
    const unsigned long long size = ZSTD_getFrameContentSize(payload.data(), size_t(payload.size()));
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN)
        Bad(QStringLiteral("tamanho do conteúdo ausente"));
    if (size == 0 || size > maxSize)
        Bad(QStringLiteral("conteúdo de %1 bytes fora do limite de %2 bytes").arg(size).arg(maxSize));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    const size_t got = ZSTD_decompress(out.data(), size_t(out.size()), payload.data(), size_t(payload.size()));
    if (ZSTD_isError(got) || got != size)
        Bad(QString::fromLatin1(ZSTD_isError(got) ? ZSTD_getErrorName(got) : "conteúdo menor que o declarado"));
    return out;
}

quint64 DeclaredContentSize(QByteArrayView payload)
{
    const unsigned long long size = ZSTD_getFrameContentSize(payload.data(), size_t(payload.size()));
    return size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN ? 0 : quint64(size);
}

} // namespace Rpc
