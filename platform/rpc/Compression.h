#pragma once
// Compressed frames (docs/protocol.md, "Compression"): once both peers have
// agreed on "zstd" in the handshake, a frame's payload may be one zstd frame
// (RFC 8878) whose content is the message. A message is a CBOR array, whose
// first byte is never the first byte of zstd's magic number, so a reader
// tells the two apart by their first bytes.
#include <QByteArray>
#include <QByteArrayView>

namespace Rpc {

// Payloads smaller than this are sent as they are: compressing them saves
// less than it costs.
constexpr qsizetype MinCompressedPayload = 1024;

bool IsCompressed(QByteArrayView payload);
// `payload` compressed, or nothing (an empty array) when that would not make
// it smaller.
QByteArray Compress(QByteArrayView payload);
// The message inside a compressed payload. Raises EProtocolError when it is
// not one whole zstd frame, or its content is empty or passes `maxSize`
// bytes; it never allocates beyond `maxSize`.
QByteArray Decompress(QByteArrayView payload, quint32 maxSize);
// The content size a compressed payload's frame header declares, or 0 when
// it declares none or is damaged (Decompress refuses it then).
quint64 DeclaredContentSize(QByteArrayView payload);

} // namespace Rpc
