#pragma once
// TMessages: a keyed catalogue of texts, one entry per line "KEY|text".
//
// The key is what stands before the first "|", its trailing blanks ignored,
// so "DTSAIDAINI_DEV |..." answers Msg("DTSAIDAINI_DEV"). Keys compare
// exactly otherwise (case and leading blanks count). The text is everything
// after that first "|", as stored. A line without "|" holds no entry. When a
// key occurs twice, the first entry wins.
//
// The catalogue is read at every call: edits of Messages() count at once.
// A linear scan: catalogues hold tens of entries and are read when a message
// is about to be shown.
//
// ShowMsg shows a text through the dialog service (ui/Dialogs.h), so tests
// answer it with the scripted service.
#include "rtl/Classes.h"
#include "ui/Dialogs.h"

#include <QStringList>

class TMessages : public TComponent {
public:
    explicit TMessages(TComponent* owner = nullptr) : TComponent(owner) {}

    QStringList& Messages() { return messages_; }
    const QStringList& Messages() const { return messages_; }
    void SetMessages(const QStringList& lines) { messages_ = lines; }

    // The text of `key` (its trailing blanks ignored too). Raises Exception
    // naming the key and the catalogue when no entry has that key.
    QString Msg(const QString& key) const;

    // Shows the text of `key` in the standard message dialog and returns the
    // button pressed. An unknown key raises as Msg does, before any dialog.
    TModalResult ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const;

private:
    QStringList messages_;
};
