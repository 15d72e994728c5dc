// The frame reader (rpc/Frame.h) over a byte stream that arrives in pieces
// of any size, as a socket delivers it, with an admission check that refuses
// some announced lengths (the server's request budget does).
//
// Input: byte 0 sets the size of the pieces, byte 1 the largest length the
// admission takes; the rest is the stream. Every frame the reader returns is
// checked against the stream cut by hand.
#include "Fuzz.h"

#include "rpc/Frame.h"
#include "rpc/ProtocolError.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 MaxFrame = 64 * 1024;

// Serves the stream up to what has "arrived"; Arrive lets the next piece in.
class TArrivingStream : public QIODevice {
public:
    TArrivingStream(QByteArrayView bytes, qsizetype piece) : bytes_(bytes), piece_(piece)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool AllArrived() const { return arrived_ == bytes_.size(); }
    void Arrive() { arrived_ = std::min(bytes_.size(), arrived_ + piece_); }
    qsizetype Taken() const { return taken_; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 n = std::min<qint64>(max, arrived_ - taken_);
        std::memcpy(out, bytes_.data() + taken_, size_t(n));
        taken_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArrayView bytes_;
    qsizetype piece_;
    qsizetype arrived_ = 0;
    qsizetype taken_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const qsizetype piece = data[0] % 32 + 1;
    const quint32 admitted = quint32(data[1]) * 256;
    const QByteArrayView stream = Fuzz::Bytes(data + 2, size - 2);

    TArrivingStream device(stream, piece);
    bool refused = false;
    Rpc::TFrameReader reader(MaxFrame, [&](quint32 length) {
        if (length > admitted) {
            refused = true;
            throw EProtocolError(QStringLiteral("acima do orçamento"));
        }
    });
    qsizetype next = 0;  // where the next frame begins in `stream`
    try {
        while (!device.AllArrived()) {
            device.Arrive();
            while (reader.ReadFrom(device)) {
                Fuzz::Require(next + 4 <= stream.size(), "a frame is ready only once its header is in");
                const quint32 length = qFromBigEndian<quint32>(stream.data() + next);
                const QByteArray payload = reader.TakeFrame();
                Fuzz::Require(payload == stream.sliced(next + 4, length), "a frame is its payload as sent");
                Fuzz::Require(length > 0 && length <= MaxFrame && length <= admitted, "frames within the bounds");
                next += 4 + length;
                Fuzz::Require(reader.BytesRead() == next, "nothing is read beyond the frame returned");
            }
            Fuzz::Require(reader.BytesRead() == device.Taken(), "bytes read are counted");
            Fuzz::Require(reader.Arrived() <= reader.Announced() || reader.Announced() == 0,
                          "no more payload than announced");
        }
        Fuzz::Require(stream.size() - next < 4 + qsizetype(reader.Announced()) || stream.size() - next < 4,
                      "a whole frame left in the stream is returned");
    } catch (const EProtocolError&) {
        // Refused at a header: its length is 0, above the bound, or not admitted.
        Fuzz::Require(next + 4 <= stream.size(), "a refusal follows a whole header");
        const quint32 length = qFromBigEndian<quint32>(stream.data() + next);
        Fuzz::Require(length == 0 || length > MaxFrame || refused, "only a bad length is refused");
    }
    return 0;
}
