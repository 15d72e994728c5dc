#include "Codbarium.h"

#include "IumReadingForm.h"
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

QVariant TestaLeitor()
{
    std::unique_ptr<TfrmTestaLeitor> form(TForm::Create<TfrmTestaLeitor>(nullptr));
    return RunModal(*form, form->edtLeitura, {{QStringLiteral("TESTELEITOR"), true}});
}

} // namespace Codbarium
