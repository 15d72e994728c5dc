#pragma once
// Frames of the socket protocol: a 4-byte big-endian payload length followed
// by the payload, which is exactly one CBOR data item (docs/protocol.md,
// "Frames").
#include "data/Cbor.h"

#include <QByteArray>
#include <QIODevice>
#include <functional>

namespace Rpc {

constexpr int FrameHeaderSize = 4;

// Builds one frame: write the payload's CBOR item through Writer(), then
// Finish() returns the frame with its length in front, the payload
// compressed when `compress` and that makes it smaller (Compression.h).
// Finish raises EProtocolError when the payload exceeds maxFrameSize.
class TFrameBuilder {
public:
    TFrameBuilder();
    TFrameBuilder(const TFrameBuilder&) = delete;
    TFrameBuilder& operator=(const TFrameBuilder&) = delete;

    TCborWriter& Writer() { return writer_; }
    QByteArray Finish(quint32 maxFrameSize, bool compress = false);

private:
    QByteArray bytes_;
    TCborWriter writer_{bytes_};
};

// Splits a byte stream into frame payloads without copying them twice: the
// payload buffer is allocated once from the announced length and filled
// straight from the device.
//
// ReadFrom consumes at most up to the end of the current frame and returns
// true when a whole frame is ready (take it with TakeFrame before reading
// on). It raises EProtocolError when a length is 0 or above maxFrameSize;
// the stream is then unusable and the connection must be dropped.
//
// `admit`, when given, is called with each announced length before the
// payload's buffer is allocated; whatever it throws leaves ReadFrom the same
// way (the stream is then unusable too).
class TFrameReader {
public:
    using TAdmit = std::function<void(quint32 length)>;
    explicit TFrameReader(quint32 maxFrameSize, TAdmit admit = {})
        : maxFrameSize_(maxFrameSize)
        , admit_(std::move(admit))
    {
    }

    bool ReadFrom(QIODevice& device);
    // The bound of the frames whose header has not arrived yet.
    void SetMaxFrameSize(quint32 maxFrameSize) { maxFrameSize_ = maxFrameSize; }
    QByteArray TakeFrame();
    // Part of a frame (header or payload) has arrived and more is awaited.
    bool Pending() const { return headerHave_ > 0; }
    // Bytes taken from devices so far, headers included.
    qint64 BytesRead() const { return bytesRead_; }
    // The payload length the current frame's header announced (0 until the
    // header is in, and after TakeFrame), and how much of it has arrived.
    qint64 Announced() const { return headerHave_ == FrameHeaderSize ? payload_.size() : 0; }
    qint64 Arrived() const { return payloadHave_; }

private:
    quint32 maxFrameSize_;
    TAdmit admit_;
    char header_[FrameHeaderSize] = {};
    int headerHave_ = 0;
    QByteArray payload_;
    qint64 payloadHave_ = 0;
    bool ready_ = false;
    qint64 bytesRead_ = 0;
};

} // namespace Rpc
