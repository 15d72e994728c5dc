#pragma once
// Fixture of the filter's tests: the screen against the in-process server,
// whose GetNrLancamento answers with `expeditions` / `orders` (or `fault`),
// and the filter's checks run one by one as the load runs them.
#include "PacketRows.h"
#include "ScreenFixture.h"

#include "rpc/Envelope.h"
#include "server/PacketLayouts.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QtTest/QTest>

// The filter's checks, which the load runs in order, one at a time.
class TFilterChecks {
public:
    static void Vd_Filial(TfrmConfSepExp* f) { f->Vd_Filial(); }
    static void Vd_NrExpedicao(TfrmConfSepExp* f) { f->Vd_NrExpedicao(); }
    static void Vd_NrPedido(TfrmConfSepExp* f) { f->Vd_NrPedido(); }
    static void vd_datas(TfrmConfSepExp* f) { f->vd_datas(); }
};

class FilterTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        const auto stock = server.OnCall;
        server.OnCall = [this, stock](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
            if (call.Method != Remote::GetNrLancamento)
                return stock(call);
            if (!fault.isEmpty())
                return Rpc::TResult{call.Id, Rpc::Failure(fault), {}};
            const bool orders = call.Args.value(8).toString() == u"PED";
            return Rpc::TResult{call.Id, Rpc::Success(QVariant::fromValue(orders ? orders_() : expeditions_())), {}};
        };
    }

    // The arguments of every GetNrLancamento call so far, each as text
    // (dates as dd/mm/yyyy, "0" for none).
    QList<QStringList> NumberListCalls() const
    {
        QList<QStringList> calls;
        for (const Rpc::TCall& call : server.Calls) {
            if (call.Method != Remote::GetNrLancamento)
                continue;
            QStringList args;
            for (const QVariant& a : call.Args)
                args << (a.metaType() == QMetaType::fromType<TDateTime>()
                             ? (a.value<TDateTime>() == 0 ? QStringLiteral("0") : DateToStr(a.value<TDateTime>()))
                             : a.toString());
            calls << args;
        }
        return calls;
    }

    // Puts the focus in `edit` and writes `text` there, as a paste does.
    static void Enter(TCustomEdit* edit, const QString& text)
    {
        edit->SetFocus();
        edit->SetText(text);
    }
    // Tab out of the focused control, as the user does.
    static void Tab(TWinControl* from) { QTest::keyClick(from->Widget(), Qt::Key_Tab); }
    // Shift+Tab: from the number edits it stays in the filter panel, whose
    // exit would load the work list.
    static void BackTab(TWinControl* from) { QTest::keyClick(from->Widget(), Qt::Key_Backtab); }

    // The focused control's Name.
    static QString Focused(TfrmConfSepExp* f) { return f->ActiveControl() ? f->ActiveControl()->Name() : QString(); }

    // Rows of the lookup list as the user reads them: each visible field's
    // display text, joined by " | ".
    static QStringList ListedRows(TDataSet* data)
    {
        QStringList rows;
        for (data->First(); !data->Eof(); data->Next()) {
            QStringList cells;
            for (int i = 0; i < data->FieldCount(); ++i)
                if (data->Fields(i)->Visible())
                    cells << data->Fields(i)->DisplayText();
            rows << cells.join(QStringLiteral(" | "));
        }
        return rows;
    }

    QList<QVariantMap> expeditionRows;
    QList<QVariantMap> orderRows;
    QString fault;  // when set, GetNrLancamento is refused with this message

private:
    TDataPacket expeditions_() const { return PacketOf(Layout::Expeditions(), expeditionRows); }
    TDataPacket orders_() const { return PacketOf(Layout::Orders(), orderRows); }
};
