#include "ScriptedDialogs.h"

#include "Controls.h"

#include <QApplication>
#include <QtGlobal>

namespace {

QString KindName(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Message: return QStringLiteral("message");
    case TDialogKind::Error: return QStringLiteral("error");
    case TDialogKind::LookupList: return QStringLiteral("lookup list");
    case TDialogKind::Search: return QStringLiteral("search");
    case TDialogKind::Reading: return QStringLiteral("reading");
    case TDialogKind::Password: return QStringLiteral("password");
    case TDialogKind::Period: return QStringLiteral("period");
    case TDialogKind::SaveFile: return QStringLiteral("save file");
    }
    return QString();
}

QString FocusedControlName()
{
    const TControl* c = ControlOf(QApplication::focusWidget());
    return c ? c->Name() : QString();
}

} // namespace

void TScriptedDialogs::ExpectMessage(TModalResult answer)
{
    Answer a{TDialogKind::Message};
    a.message = answer;
    answers_.append(a);
}

void TScriptedDialogs::ExpectError()
{
    answers_.append(Answer{TDialogKind::Error});
}

void TScriptedDialogs::ExpectLookupList(std::function<bool(const TLookupListRequest&)> answer)
{
    Answer a{TDialogKind::LookupList};
    a.lookupList = std::move(answer);
    answers_.append(a);
}

void TScriptedDialogs::ExpectSearch(std::function<void(const TSearchRequest&)> answer)
{
    Answer a{TDialogKind::Search};
    a.search = std::move(answer);
    answers_.append(a);
}

void TScriptedDialogs::ExpectReading(std::function<QVariant(const TReadingRequest&)> answer)
{
    Answer a{TDialogKind::Reading};
    a.reading = std::move(answer);
    answers_.append(a);
}

void TScriptedDialogs::ExpectPassword(std::optional<QString> answer)
{
    Answer a{TDialogKind::Password};
    a.text = std::move(answer);
    answers_.append(a);
}

void TScriptedDialogs::ExpectPeriod(std::optional<TPeriod> answer)
{
    Answer a{TDialogKind::Period};
    a.period = std::move(answer);
    answers_.append(a);
}

void TScriptedDialogs::ExpectSaveFile(std::optional<QString> answer)
{
    Answer a{TDialogKind::SaveFile};
    a.text = std::move(answer);
    answers_.append(a);
}

QStringList TScriptedDialogs::Texts(TDialogKind kind) const
{
    QStringList texts;
    for (const TDialogRecord& r : log_)
        if (r.Kind == kind)
            texts.append(r.Text);
    return texts;
}

void TScriptedDialogs::Clear()
{
    answers_.clear();
    log_.clear();
}

std::optional<TScriptedDialogs::Answer> TScriptedDialogs::Take(TDialogRecord record)
{
    record.FocusedControl = FocusedControlName();
    if (!answers_.isEmpty() && answers_.first().kind == record.Kind) {
        log_.append(record);
        return answers_.takeFirst();
    }
    record.Unexpected = true;
    log_.append(record);
    const QString report = QStringLiteral("Unexpected %1 dialog \"%2\"%3")
                               .arg(KindName(record.Kind), record.Text,
                                    answers_.isEmpty() ? QString()
                                                       : QStringLiteral(" (a %1 was expected)")
                                                             .arg(KindName(answers_.first().kind)));
    if (OnUnexpected)
        OnUnexpected(report);
    else
        qCritical("%s", qPrintable(report));
    return std::nullopt;
}

TModalResult TScriptedDialogs::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                          int helpContext)
{
    const auto answer = Take({TDialogKind::Message, text, type, buttons, helpContext, QString(), false});
    return answer ? answer->message : mrCancel;
}

void TScriptedDialogs::ShowError(const QString& message)
{
    Take({TDialogKind::Error, message, TMsgDlgType::mtError, TMsgDlgBtn::mbOK, 0, QString(), false});
}

bool TScriptedDialogs::LookupList(const TLookupListRequest& request)
{
    const auto answer = Take({TDialogKind::LookupList, request.Title, TMsgDlgType::mtCustom, {}, 0, QString(), false});
    return answer && answer->lookupList && answer->lookupList(request);
}

void TScriptedDialogs::Search(const TSearchRequest& request)
{
    const auto answer = Take({TDialogKind::Search, QString(), TMsgDlgType::mtCustom, {}, 0, QString(), false});
    if (answer && answer->search)
        answer->search(request);
}

QVariant TScriptedDialogs::Reading(const TReadingRequest& request)
{
    const auto answer = Take({TDialogKind::Reading, QString(), TMsgDlgType::mtCustom, {}, 0, QString(), false});
    return answer && answer->reading ? answer->reading(request) : QVariant();
}

std::optional<QString> TScriptedDialogs::Password(const TPasswordRequest& request)
{
    const auto answer = Take({TDialogKind::Password, request.Prompt, TMsgDlgType::mtCustom, {}, 0, QString(), false});
    return answer ? answer->text : std::nullopt;
}

std::optional<TPeriod> TScriptedDialogs::Period(const TPeriodRequest& request)
{
    const auto answer = Take({TDialogKind::Period, request.Title, TMsgDlgType::mtCustom, {}, 0, QString(), false});
    return answer ? answer->period : std::nullopt;
}

std::optional<QString> TScriptedDialogs::SaveFileName(const TSaveFileRequest& request)
{
    lastSaveFile_ = request;
    const auto answer = Take({TDialogKind::SaveFile, request.Title, TMsgDlgType::mtCustom, {}, 0, QString(), false});
    return answer ? answer->text : std::nullopt;
}

TScriptedDialogsScope::TScriptedDialogsScope(TScriptedDialogs& service) : previous_(InstallDialogs(&service)) {}

TScriptedDialogsScope::~TScriptedDialogsScope()
{
    InstallDialogs(previous_);
}
