// The packet decoder (data/PacketCodec.h), both forms, and the deltas built
// from what it decoded (data/ClientDataSet.h): the whole input is one packet,
// as a packet value of a message or a delta sent for deletion. A packet read
// is written in both forms, each of which must read back to a packet that
// writes the same bytes; then some of its rows are deleted in a client data
// set, and the delta and the rows left must account for every row, read back
// whole, and undo to the packet loaded.
#include "Fuzz.h"

#include "data/ClientDataSet.h"
#include "data/PacketCodec.h"
#include "rtl/Exceptions.h"

namespace {

QByteArray Plain(const TDataPacket& packet) { return EncodePacket(packet, TPacketForm::Plain); }

void CheckDeletions(const TDataPacket& packet, size_t seed)
{
    TClientDataSet data;
    data.SetData(packet);
    for (size_t k = 1; k <= 3 && data.RecordCount() > 0; ++k) {
        data.SetRecNo(int((seed * k) % size_t(data.RecordCount())) + 1);
        data.Delete();
    }
    const TDataPacket delta = data.Delta();
    Fuzz::Require(delta.RowCount() == data.ChangeCount(), "a delta holds every deleted row");
    Fuzz::Require(delta.RowCount() + data.Data().RowCount() == packet.RowCount(), "deleted and kept rows add up");
    Fuzz::Require(delta.Fields() == packet.Fields(), "a delta has the fields of its data set");
    for (const TPacketForm form : {TPacketForm::Plain, TPacketForm::Compact})
        Fuzz::Require(Plain(DecodePacket(EncodePacket(delta, form))) == Plain(delta), "a delta reads back whole");
    data.CancelUpdates();
    Fuzz::Require(Plain(data.Data()) == Plain(packet), "cancelled deletions give the packet back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TDataPacket packet;
    try {
        packet = DecodePacket(Fuzz::Bytes(data, size));
    } catch (const EDatabaseError&) {
        return 0;
    }
    for (const TPacketForm form : {TPacketForm::Plain, TPacketForm::Compact}) {
        const QByteArray once = EncodePacket(packet, form);
        const TDataPacket back = DecodePacket(once);
        Fuzz::Require(back.RowCount() == packet.RowCount() && back.Fields() == packet.Fields(),
                      "a written packet reads back with its rows and fields");
        Fuzz::Require(EncodePacket(back, form) == once, "a packet read back writes the same bytes");
    }
    CheckDeletions(packet, size);
    return 0;
}
