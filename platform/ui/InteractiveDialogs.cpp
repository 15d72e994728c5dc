#include "InteractiveDialogs.h"

#include "Application.h"
#include "DialogPlacement.h"
#include "rtl/Exceptions.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString TitleOf(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtWarning: return QStringLiteral("Aviso");
    case TMsgDlgType::mtError: return QStringLiteral("Erro");
    case TMsgDlgType::mtInformation: return QStringLiteral("Informação");
    case TMsgDlgType::mtConfirmation: return QStringLiteral("Confirmação");
    case TMsgDlgType::mtCustom: break;
    }
    return Application ? Application->Title() : QString();
}

QMessageBox::Icon IconOf(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
    case TMsgDlgType::mtCustom: break;
    }
    return QMessageBox::NoIcon;
}

// Runs `box` modally over the active window. The box is sized first: it is
// placed by its size, which it otherwise takes only as it shows.
void RunOverActiveWindow(QMessageBox& box)
{
    box.adjustSize();
    PlaceOverActiveWindow(&box);
    box.exec();
}

} // namespace

TModalResult TInteractiveDialogs::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                             int /*helpContext: no help system is installed*/)
{
    QMessageBox box(IconOf(type), TitleOf(type), text);
    struct Choice {
        TMsgDlgBtn button;
        const char* caption;
        QMessageBox::ButtonRole role;
        TModalResult result;
    };
    static const Choice choices[] = {
        {TMsgDlgBtn::mbYes, "&Sim", QMessageBox::YesRole, mrYes},
        {TMsgDlgBtn::mbNo, "&Não", QMessageBox::NoRole, mrNo},
        {TMsgDlgBtn::mbOK, "OK", QMessageBox::AcceptRole, mrOk},
        {TMsgDlgBtn::mbCancel, "Cancelar", QMessageBox::RejectRole, mrCancel},
    };
    QList<QPair<QAbstractButton*, TModalResult>> shown;
    for (const Choice& c : choices)
        if (buttons.testFlag(c.button))
            shown.append({box.addButton(QString::fromUtf8(c.caption), c.role), c.result});
    if (shown.isEmpty())
        shown.append({box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole), mrOk});
    box.setDefaultButton(qobject_cast<QPushButton*>(shown.first().first));
    RunOverActiveWindow(box);
    for (const auto& [button, result] : shown)
        if (box.clickedButton() == button)
            return result;
    return buttons.testFlag(TMsgDlgBtn::mbCancel) ? mrCancel : mrNone;
}

void TInteractiveDialogs::ShowError(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, Application ? Application->Title() : QString(), message, QMessageBox::Ok);
    RunOverActiveWindow(box);
}

bool TInteractiveDialogs::LookupList(const TLookupListRequest& request)
{
    if (!lookupList_)
        throw Exception(QStringLiteral("A lista de pesquisa não está disponível."));
    return lookupList_(request);
}

void TInteractiveDialogs::Search(const TSearchRequest& request)
{
    if (!search_)
        throw Exception(QStringLiteral("A pesquisa não está disponível."));
    search_(request);
}

QVariant TInteractiveDialogs::Reading(const TReadingRequest& request)
{
    if (!reading_)
        throw Exception(QStringLiteral("A tela de leitura não está disponível."));
    return reading_(request);
}

std::optional<QString> TInteractiveDialogs::Password(const TPasswordRequest& request)
{
    QInputDialog dialog;
    dialog.setWindowTitle(request.Title);
    dialog.setLabelText(request.Prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    dialog.adjustSize();
    PlaceOverActiveWindow(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<TPeriod> TInteractiveDialogs::Period(const TPeriodRequest& request)
{
    QDialog dialog;
    dialog.setWindowTitle(request.Title);
    auto* layout = new QFormLayout(&dialog);
    auto* branch = new QLineEdit(request.Branch);
    branch->setInputMask(QStringLiteral("0000;_"));
    layout->addRow(QStringLiteral("&Filial:"), branch);
    QDateEdit* days[2] = {};
    const QDate proposed[2] = {request.From, request.To};
    const QString labels[2] = {QStringLiteral("&De:"), QStringLiteral("&Até:")};
    for (int i = 0; i < 2; ++i) {
        days[i] = new QDateEdit(proposed[i].isValid() ? proposed[i] : QDate::currentDate());
        days[i]->setCalendarPopup(true);
        days[i]->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        layout->addRow(labels[i], days[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    dialog.adjustSize();
    PlaceOverActiveWindow(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return TPeriod{branch->text().trimmed(), days[0]->date(), days[1]->date()};
}

std::optional<QString> TInteractiveDialogs::SaveFileName(const TSaveFileRequest& request)
{
    const QString name = QFileDialog::getSaveFileName(nullptr, request.Title, request.Suggested, request.Filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

TInteractiveDialogs& InteractiveDialogs()
{
    static TInteractiveDialogs service;
    return service;
}
