#include "SampleBranches.h"

#include "rtl/DateTime.h"

namespace {

const QList<TFieldDesc> layout = {{"CDFILIAL", TFieldType::ftString, 4},
                                  {"NMFILIAL", TFieldType::ftString, 30},
                                  {"DTABERTURA", TFieldType::ftDateTime, 0},
                                  {"CDINTERNO", TFieldType::ftString, 10},
                                  {"IDSTATUS", TFieldType::ftString, 1}};

} // namespace

TSampleBranches::TSampleBranches(TComponent* owner) : TComponent(owner)
{
    cds = new TClientDataSet(this);
    cds->SetName("cdsFilial");
    auto add = [this](auto* field, const char* name, const char* label) {
        field->SetFieldName(QString::fromLatin1(name));
        field->SetDisplayLabel(QString::fromUtf8(label));
        return field;
    };
    code = add(new TStringField(cds), "CDFILIAL", "Código");
    code->SetSize(4);
    name = add(new TStringField(cds), "NMFILIAL", "Nome");
    name->SetSize(30);
    opened = add(new TDateTimeField(cds), "DTABERTURA", "Abertura");
    internal = add(new TStringField(cds), "CDINTERNO", "Interno");
    internal->SetSize(10);
    internal->SetVisible(false);
    status = add(new TStringField(cds), "IDSTATUS", "Situação");
    status->SetSize(1);
    status->OnGetText = TFieldGetTextEvent::Of([](TField* f, QString& text, bool) {
        const QString v = f->AsString();
        text = v == u"P" ? QStringLiteral("Pendente") : v == u"A" ? QStringLiteral("Em Andamento") : QStringLiteral("Concluída");
    });
    dts = new TDataSource(this);
    dts->SetName("dtsFilial");
    dts->SetDataSet(cds);
    cds->AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { ++scrolls; });
}

void TSampleBranches::Load()
{
    struct Row {
        const char* code;
        const char* name;
        int year, month, day;
        const char* internal;
        const char* status;
    };
    const Row rows[] = {{"0001", "Matriz Curitiba", 1998, 3, 2, "X1", "C"},
                        {"0002", "Filial Londrina", 2005, 7, 15, "X2", "P"},
                        {"0003", "Filial Maringá", 2011, 1, 10, "X3", "A"},
                        {"0010", "Depósito Central", 2020, 11, 30, "X4", "P"}};
    TDataPacketBuilder b(layout);
    for (const Row& r : rows) {
        b.AddString(QString::fromUtf8(r.code));
        b.AddString(QString::fromUtf8(r.name));
        b.AddNumber(EncodeDate(r.year, r.month, r.day));
        b.AddString(QString::fromUtf8(r.internal));
        b.AddString(QString::fromUtf8(r.status));
        b.EndRow();
    }
    cds->SetData(b.Build());
}

void TSampleBranches::LoadEmpty()
{
    cds->SetData(TDataPacketBuilder(layout).Build());
}
