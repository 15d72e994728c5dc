#include "rpc/Frame.h"

#include "rpc/Compression.h"
#include "rpc/ProtocolError.h"

#include <QtEndian>

namespace Rpc {

TFrameBuilder::TFrameBuilder()
    : bytes_(FrameHeaderSize, '\0')  // room for the length
{
}

QByteArray TFrameBuilder::Finish(quint32 maxFrameSize, bool compress)
{
    if (compress && bytes_.size() - FrameHeaderSize >= MinCompressedPayload) {
        const QByteArray packed = Compress(QByteArrayView(bytes_).sliced(FrameHeaderSize));
        if (!packed.isEmpty()) {
            QByteArray frame(FrameHeaderSize, '\0');
            frame += packed;
            bytes_ = std::move(frame);
        }
    }
    const qint64 payloadSize = bytes_.size() - FrameHeaderSize;
    if (payloadSize > qint64(maxFrameSize))
        throw EProtocolError(QStringLiteral("A mensagem de %1 bytes excede o limite de %2 bytes por quadro.")
                                 .arg(payloadSize)
                                 .arg(maxFrameSize));
    qToBigEndian(quint32(payloadSize), bytes_.data());
    return std::move(bytes_);
}

bool TFrameReader::ReadFrom(QIODevice& device)
{
    if (ready_)
        return true;
    while (headerHave_ < FrameHeaderSize) {
        const qint64 got = device.read(header_ + headerHave_, FrameHeaderSize - headerHave_);
        if (got <= 0)
            return false;
        bytesRead_ += got;
        headerHave_ += int(got);
        if (headerHave_ == FrameHeaderSize) {
            const quint32 length = qFromBigEndian<quint32>(header_);
            if (length == 0)
                throw EProtocolError(QStringLiteral("Quadro vazio recebido."));
            if (length > maxFrameSize_)
                throw EProtocolError(QStringLiteral("Quadro de %1 bytes excede o limite de %2 bytes.")
                                         .arg(length)
                                         .arg(maxFrameSize_));
            if (admit_)
                admit_(length);
            payload_ = QByteArray(qsizetype(length), Qt::Uninitialized);
            payloadHave_ = 0;
        }
    }
    while (payloadHave_ < payload_.size()) {
        const qint64 got = device.read(payload_.data() + payloadHave_, payload_.size() - payloadHave_);
        if (got <= 0)
            return false;
        bytesRead_ += got;
        payloadHave_ += got;
    }
    ready_ = true;
    return true;
}

QByteArray TFrameReader::TakeFrame()
{
    Q_ASSERT(ready_);
    ready_ = false;
    headerHave_ = 0;
    payloadHave_ = 0;
    return std::move(payload_);
}

} // namespace Rpc
