#include "Codbarium.h"

#include "IumReadingForm.h"
#include "IumReadingText.h"
#include "ScanQueue.h"
#include "ScannerCheckForm.h"
#include "framework/Consiste.h"
#include "rtl/Exceptions.h"
#include "ui/Dialogs.h"
#include "ui/InteractiveDialogs.h"

#include <memory>

namespace Codbarium {

namespace {

QVariant RunReadingScreen(const TReadingRequest& request)
{
    auto* form = dynamic_cast<TModalForm*>(request.Context);
    if (!form)
        throw Exception(QStringLiteral("A tela de leitura foi chamada sem o formulário de leitura."));
    form->WaitUntilClosed();
    return form->Outcome();
}

void RegisterReadingScreen()
{
    static const bool registered = [] {
        InteractiveDialogs().RegisterReading(RunReadingScreen);
        return true;
    }();
    Q_UNUSED(registered);
}

// Runs `form`, shown over the active window with the focus on `focus`,
// through the dialog service; closes it should the service return first.
QVariant RunModal(TModalForm& form, TWinControl* focus, const QVariantMap& arguments)
{
    RegisterReadingScreen();
    form.ShowModalOver(focus);
    Dialogs().Reading({arguments, &form});
    if (form.Showing())
        form.Close();
    return form.Outcome();
}

} // namespace

QVariant CriaLeituraIUM(const QString& branch, const QString& invoice, TNetConnection* connection)
{
    if (Consiste::EmptyString(invoice))
        throw Exception(QStringLiteral("Nenhuma nota selecionada para a leitura de IUM."));
    std::unique_ptr<TfrmLeituraIUM> form(TForm::Create<TfrmLeituraIUM>(nullptr));
    form->SetInvoice(branch, invoice, connection);
    form->LoadItems();
    return RunModal(*form, form->edtCodigoIUM,
                    {{QStringLiteral("CDFILIAL"), branch}, {QStringLiteral("NRLANCTONF"), invoice}});
}

QString QueuedScansNote()
{
    TScanQueue queue;
    QList<TQueuedScan> rows;
    try {
        queue.Open();
        rows = queue.All();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    QStringList note;
    if (!queue.Notice().isEmpty())
        note << queue.Notice();
    QStringList invoices;
    for (const TQueuedScan& row : rows)
        if (!invoices.contains(row.Invoice))
            invoices << row.Invoice;
    if (!rows.isEmpty())
        note << QStringLiteral("%1 nesta estação (%2 %3): serão enviadas quando a leitura %4 for aberta.")
                    .arg(IumReading::PendingCount(rows.size()),
                         invoices.size() == 1 ? QStringLiteral("nota") : QStringLiteral("notas"),
                         invoices.join(QStringLiteral(", ")),
                         invoices.size() == 1 ? QStringLiteral("dessa nota") : QStringLiteral("de cada nota"));
    return note.join(u' ');
}

QVariant TestaLeitor()
{
    std::unique_ptr<TfrmTestaLeitor> form(TForm::Create<TfrmTestaLeitor>(nullptr));
    return RunModal(*form, form->edtLeitura, {{QStringLiteral("TESTELEITOR"), true}});
}

} // namespace Codbarium
