#include "Codbarium.h"

#include "IumReadingForm.h"
#include "framework/Consiste.h"
#include "rtl/Exceptions.h"
#include "ui/Dialogs.h"
#include "ui/InteractiveDialogs.h"

#include <memory>

namespace Codbarium {

namespace {

QVariant RunReadingScreen(const TReadingRequest& request)
{
    auto* form = dynamic_cast<TfrmLeituraIUM*>(request.Context);
    if (!form)
        throw Exception(QStringLiteral("A tela de leitura foi chamada sem o formulário de leitura de IUM."));
    form->WaitUntilClosed();
    return form->Accepted();
}

void RegisterReadingScreen()
{
    static const bool registered = [] {
        InteractiveDialogs().RegisterReading(RunReadingScreen);
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

QVariant CriaLeituraIUM(const QString& branch, const QString& invoice, TNetConnection* connection)
{
    if (Consiste::EmptyString(invoice))
        throw Exception(QStringLiteral("Nenhuma nota selecionada para a leitura de IUM."));
    RegisterReadingScreen();

    std::unique_ptr<TfrmLeituraIUM> form(TForm::Create<TfrmLeituraIUM>(nullptr));
    form->SetInvoice(branch, invoice, connection);
    form->LoadItems();
    form->ShowReading();
    Dialogs().Reading({QVariantMap{{QStringLiteral("CDFILIAL"), branch}, {QStringLiteral("NRLANCTONF"), invoice}},
                       form.get()});
    if (form->Showing())
        form->Close();
    return form->Accepted();
}

} // namespace Codbarium
