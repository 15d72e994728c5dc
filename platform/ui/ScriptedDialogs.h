#pragma once
// The dialog service for tests. Each dialog takes the next queued answer,
// which must be of its kind; every dialog is logged with its text, type,
// buttons, help context and the Name of the control that had the focus when
// it was shown.
//
// A dialog that finds no answer of its kind is unexpected: it is logged,
// reported through OnUnexpected (a test sets it to fail itself; unset, the
// report goes to qCritical) and answered as if the user cancelled (mrCancel,
// no row picked, no search, a null reading, no password).
//
// Install it with TScriptedDialogsScope, which restores the previous service.
#include "Dialogs.h"

#include <QList>
#include <functional>
#include <optional>

enum class TDialogKind { Message, Error, LookupList, Search, Reading, Password, Period, SaveFile };

struct TDialogRecord {
    TDialogKind Kind = TDialogKind::Message;
    QString Text; // the message, the error, the lookup title, the password prompt, or the title of a period or a file
    TMsgDlgType Type = TMsgDlgType::mtCustom;
    TMsgDlgButtons Buttons;
    int HelpContext = 0;
    QString FocusedControl; // Name of the control with the focus, "" for none
    bool Unexpected = false;
};

class TScriptedDialogs : public TDialogs {
public:
    void ExpectMessage(TModalResult answer);
    void ExpectError();
    void ExpectLookupList(std::function<bool(const TLookupListRequest&)> answer);
    void ExpectSearch(std::function<void(const TSearchRequest&)> answer = {});
    void ExpectReading(std::function<QVariant(const TReadingRequest&)> answer);
    // Nothing: the user cancels.
    void ExpectPassword(std::optional<QString> answer);
    // Nothing: the user cancels. The last file request is kept.
    void ExpectPeriod(std::optional<TPeriod> answer);
    void ExpectSaveFile(std::optional<QString> answer);
    const TSaveFileRequest& LastSaveFileRequest() const { return lastSaveFile_; }

    const QList<TDialogRecord>& Log() const { return log_; }
    // Texts of the logged dialogs of one kind, in the order shown.
    QStringList Texts(TDialogKind kind) const;
    int PendingAnswers() const { return int(answers_.size()); }
    void Clear();

    std::function<void(const QString& report)> OnUnexpected;

    TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                            int helpContext) override;
    void ShowError(const QString& message) override;
    bool LookupList(const TLookupListRequest& request) override;
    void Search(const TSearchRequest& request) override;
    QVariant Reading(const TReadingRequest& request) override;
    std::optional<QString> Password(const TPasswordRequest& request) override;
    std::optional<TPeriod> Period(const TPeriodRequest& request) override;
    std::optional<QString> SaveFileName(const TSaveFileRequest& request) override;

private:
    struct Answer {
        TDialogKind kind = TDialogKind::Message;
        TModalResult message = mrNone;
        std::function<bool(const TLookupListRequest&)> lookupList = {};
        std::function<void(const TSearchRequest&)> search = {};
        std::function<QVariant(const TReadingRequest&)> reading = {};
        std::optional<QString> text = {};  // the password, or the file name
        std::optional<TPeriod> period = {};
    };
    // Logs the dialog and takes the next answer if it is of its kind.
    std::optional<Answer> Take(TDialogRecord record);

    QList<Answer> answers_;
    QList<TDialogRecord> log_;
    TSaveFileRequest lastSaveFile_;
};

class TScriptedDialogsScope {
public:
    explicit TScriptedDialogsScope(TScriptedDialogs& service);
    ~TScriptedDialogsScope();
    TScriptedDialogsScope(const TScriptedDialogsScope&) = delete;
    TScriptedDialogsScope& operator=(const TScriptedDialogsScope&) = delete;

private:
    TDialogs* previous_;
};
