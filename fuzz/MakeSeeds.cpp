// Writes the seed corpus of every fuzz target into the folder given
// (fuzz/corpus): a few valid inputs each, made by the real encoders from the
// values the clients and the server exchange, and the documented examples.
//   fuzz_make_seeds fuzz/corpus
#include "data/PacketCodec.h"
#include "rpc/Messages.h"
#include "rpc/ValueCodec.h"
#include "rtl/DateTime.h"
#include "server/Gs1.h"
#include "server/PacketLayouts.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QDir root;

void Seed(const char* target, const char* name, const QByteArray& bytes)
{
    root.mkpath(QLatin1String(target));
    QFile file(root.filePath(QStringLiteral("%1/%2").arg(QLatin1String(target), QLatin1String(name))));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s/%s\n", target, name);
        std::exit(1);
    }
}

void Seed(const char* target, const char* name, const QString& text) { Seed(target, name, text.toUtf8()); }

// IUM readings of two invoices, with a null expiry: repeated codes make the
// compact form use references.
TDataPacket Readings()
{
    TDataPacketBuilder rows(Layout::Readings());
    for (int r = 0; r < 4; ++r) {
        for (const TFieldDesc& field : Layout::Readings()) {
            if (field.Type != TFieldType::ftString)
                r == 3 ? rows.AddNull() : rows.AddNumber(EncodeDate(2027, 1 + r, 28).Val);
            else if (field.Name == QLatin1String("CDIUMPROD"))
                rows.AddString(QStringLiteral("0107891234567895\x1d" "21SN%1").arg(r));
            else if (field.Name == QLatin1String("NRLANCTONF"))
                rows.AddString(r < 2 ? QStringLiteral("000123") : QStringLiteral("000124"));
            else
                rows.AddString(field.Name.left(field.Size > 3 ? 3 : field.Size));
        }
        rows.EndRow();
    }
    return rows.Build();
}

// The expeditions' list: dates with a time, a float-free layout.
TDataPacket Expeditions()
{
    TDataPacketBuilder rows(Layout::Expeditions());
    rows.AddString(QStringLiteral("0001"));
    rows.AddString(QStringLiteral("E100"));
    rows.AddNumber(46000.75);
    rows.AddString(QStringLiteral("P"));
    rows.EndRow();
    return rows.Build();
}

QByteArray Value(const QVariant& value, TPacketForm form = TPacketForm::Plain)
{
    QByteArray bytes;
    TCborWriter out(bytes);
    Rpc::WriteValue(out, value, form);
    return bytes;
}

QVariant Date(int y, int m, int d) { return QVariant::fromValue(EncodeDate(y, m, d)); }

// A payload as the message target reads it: the features and end first.
QByteArray Payload(int flags, const Rpc::TMessage& message)
{
    Rpc::TRpcLimits limits;
    const Rpc::TFeatures features{(flags & 1) != 0, (flags & 2) != 0, (flags & 8) != 0};
    return char(flags) + Rpc::EncodeFrame(message, limits, features).sliced(4);
}

void Values()
{
    Seed("value", "text", Value(QStringLiteral("Conferência")));
    Seed("value", "date", Value(Date(2026, 12, 7)));
    Seed("value", "number-bool-null", Value(QVariantList{1.5, true, QVariant()}));
    Seed("value", "nested", Value(QVariantList{QVariantList{QStringLiteral("T"), QVariantList{}}}));
    Seed("value", "packet-plain", Value(QVariant::fromValue(Readings())));
    Seed("value", "packet-compact", Value(QVariant::fromValue(Readings()), TPacketForm::Compact));
    // What other CBOR libraries write by default: an integer, a half float,
    // undefined, an indefinite array and a chunked text.
    Seed("value", "other-writers", QByteArray::fromHex("9f18 2af9 3e00 f7 7f 62 5430 6131 ff ff"));
}

void Messages()
{
    const QString module = QStringLiteral("exp13000.rdmConfRastr");
    const QString id = QStringLiteral("{A6EFEC57-5263-4980-A6D9-9FC09FF4622A}");
    Seed("message", "hello", Payload(0, Rpc::THello{1, module, id, std::nullopt}));
    Seed("message", "hello-features", Payload(0, Rpc::THello{1, module, QString(), Rpc::TFeatures{true, true}}));
    Seed("message", "welcome", Payload(4 | 1, Rpc::TWelcome{1, module, id, Rpc::TFeatures{true, false}}));
    Seed("message", "call-getdados",
         Payload(1, Rpc::TCall{1, QStringLiteral("GetDados"),
                               {QStringLiteral("0001"), QStringLiteral("T"), QStringLiteral("T"), Date(2026, 1, 1),
                                Date(2026, 12, 31), QVariant::fromValue(TDateTime()), QVariant::fromValue(TDateTime())},
                               {1, 2}}));
    Seed("message", "call-delete-delta",
         Payload(1, Rpc::TCall{2, QStringLiteral("deleteIUMProd"), {QVariant::fromValue(Readings())}, {}}));
    Seed("message", "call-reading",
         Payload(0, Rpc::TCall{3, QStringLiteral("setLeituraIUM"),
                               {QStringLiteral("0001"), QStringLiteral("000123"),
                                QStringLiteral("]d20107891234567895\x1d" "21SN1")},
                               {}}));
    Seed("message", "call-reading-request-id",
         Payload(8, Rpc::TCall{4, QStringLiteral("setLeituraIUM"),
                               {QStringLiteral("0001"), QStringLiteral("000123"),
                                QStringLiteral("]d20107891234567895\x1d" "21SN1")},
                               {}, QStringLiteral("7f0c4b2e-2d6a-4c4e-9a51-0d3f2b9c1e77")}));
    const QVariant packets = QVariantList{true, QVariantList{QVariant::fromValue(Readings()),
                                                             QVariant::fromValue(Expeditions())}};
    Seed("message", "result-compact", Payload(4 | 1, Rpc::TResult{1, packets, {QStringLiteral("T")}}));
    // Large enough (1 KiB and more) to travel compressed.
    QVariantList many;
    for (int i = 0; i < 24; ++i)
        many.append(QVariant::fromValue(Readings()));
    Seed("message", "result-zstd", Payload(4 | 2 | 1, Rpc::TResult{4, QVariantList{true, many}, {}}));
    Seed("message", "fault", Payload(4, Rpc::TFault{7, Rpc::Fault::Arguments, QStringLiteral("Número de argumentos inválido.")}));
    Seed("message", "fault-connection", Payload(4, Rpc::TFault{std::nullopt, Rpc::Fault::Busy, QStringLiteral("Ocupado.")}));
}

void Frames()
{
    Rpc::TRpcLimits limits;
    QByteArray stream = Rpc::EncodeFrame(Rpc::THello{1, QStringLiteral("Est00000.rdmEstoque"), QString(), std::nullopt}, limits);
    stream += Rpc::EncodeFrame(Rpc::TCall{1, QStringLiteral("Utiliza_Almoxarifado"), {QStringLiteral("0001")}, {}}, limits);
    Seed("frame", "two-frames-in-pieces-of-3", QByteArray("\x02\xff", 2) + stream);
    Seed("frame", "two-frames-at-once", QByteArray("\x1f\xff", 2) + stream);
    Seed("frame", "over-budget", QByteArray("\x00\x00", 2) + stream);
}

void Packets()
{
    Seed("packet", "readings-plain", EncodePacket(Readings(), TPacketForm::Plain));
    Seed("packet", "readings-compact", EncodePacket(Readings(), TPacketForm::Compact));
    Seed("packet", "expeditions-compact", EncodePacket(Expeditions(), TPacketForm::Compact));
    // A delta of the reading screen: the deleted rows with their original values.
    Seed("packet", "delta", EncodePacket(Readings().Select({2, 0}), TPacketForm::Plain));
    Seed("packet", "empty", EncodePacket(TDataPacketBuilder(Layout::Orders()).Build(), TPacketForm::Plain));
}

void Texts()
{
    Seed("filter", "invoice-items", QStringLiteral("(CDFILIAL = '0001' AND NRLANCTONF = '000123')"));
    Seed("filter", "item-readings",
         QStringLiteral("(CDFILIAL = '0001' AND NRLANCTONF = '000123' AND CDPRODUTO = '0002')"));
    Seed("filter", "grammar",
         QStringLiteral("NOT (QTITEMPROD > 1.5) OR [DTVALILOTE] IS NULL AND CDIUMPROD <> 'D''Ávila'"));
    Seed("filter", "dates", QStringLiteral("DTVALILOTE >= '01/01/2023' and DTVALILOTE <= 45000 or CDPRODUTO is not null"));

    const QString gtin = QStringLiteral("0789123456789") + GtinCheckDigit(QStringLiteral("0789123456789"));
    Seed("gs1", "gtin-serial", QStringLiteral("01%1" "21SN1").arg(gtin));
    Seed("gs1", "symbology-all-fields",
         QStringLiteral("]d201%1" "17271200" "21ABC-123\x1d" "10LOTE/7\x1d" "713RMS12345").arg(gtin));
    Seed("gs1", "serial-first", QStringLiteral("21X\x1d" "01%1" "17260229").arg(gtin));
    Seed("gs1", "logistic-unit",
         QStringLiteral("]C100178912340000000016" "0207891234567895" "3705\x1d" "3103001250" "11250600" "422076\x1d" "91X"));
    Seed("gs1", "times", QStringLiteral("01%1" "70032506152359\x1d" "8008250615231059\x1d" "21S").arg(gtin));
    Seed("gs1", "model-and-parts", QStringLiteral("]Q380131987654Ad4X4bL5ttr2310c2K\x1d" "801012AB-#/\x1d" "8011123"));

    // mask NUL text NUL edits (MaskFuzz.cpp)
    auto mask = [](const char* name, const char* editMask, const char* text, QByteArray edits) {
        Seed("mask", name, QByteArray(editMask) + '\0' + text + '\0' + edits);
    };
    mask("branch", "9999;0; ", "12", QByteArray::fromHex("00023501 04"));
    mask("product", "99.99.9999;0; ", "0102", QByteArray::fromHex("03010203"));
    mask("literals-case", "!>LL-<ll\\0/00:00;1;_", "abCD", QByteArray::fromHex("0000410109"));

    Seed("date", "full", QStringLiteral("07/12/2026"));
    Seed("date", "short-year", QStringLiteral("1/2/49"));
    Seed("date", "padded", QStringLiteral(" 29/02/2024 "));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_FOLDER\n");
        return 2;
    }
    root = QDir(QString::fromLocal8Bit(argv[1]));
    Values();
    Messages();
    Frames();
    Packets();
    Texts();
    return 0;
}
