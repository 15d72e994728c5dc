// The CBOR reader and the value reader (data/Cbor.h, rpc/ValueCodec.h): one
// value, as every argument, result and by-reference value is read, within
// the server's limits for a request. A value read is then used as the server
// and the client use values (dates become calendar days), and written back
// in both packet forms: what is written must read back and write the same
// bytes again.
#include "Fuzz.h"

#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"
#include "rtl/DateTime.h"

namespace {

Rpc::TRpcLimits Limits()
{
    Rpc::TRpcLimits limits;
    limits.MaxTextBytes = 4096;
    return limits;
}

void Use(const QVariant& value)
{
    (void)Rpc::KindName(value);
    if (value.metaType() == QMetaType::fromType<TDateTime>()) {
        const TDateTime date = value.value<TDateTime>();
        (void)ToQDate(date);
        (void)DateTimeToStr(date);
    } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        for (const QVariant& item : value.toList())
            Use(item);
    }
}

QByteArray Written(const QVariant& value, TPacketForm form)
{
    QByteArray bytes;
    TCborWriter out(bytes);
    Rpc::WriteValue(out, value, form);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Rpc::TRpcLimits limits = Limits();
    QVariant value;
    try {
        TCborReader in(Fuzz::Bytes(data, size));
        value = Rpc::ReadValue(in, limits);
    } catch (const EProtocolError&) {
        return 0;
    } catch (const ECborError&) {
        return 0;  // the reader's first head, read on construction
    }
    Use(value);
    for (const TPacketForm form : {TPacketForm::Plain, TPacketForm::Compact}) {
        const QByteArray once = Written(value, form);
        TCborReader in(once);
        const QVariant back = Rpc::ReadValue(in, limits);
        Fuzz::Require(in.AtEnd(), "a written value reads back whole");
        Fuzz::Require(Written(back, form) == once, "a value read back writes the same bytes");
    }
    return 0;
}
