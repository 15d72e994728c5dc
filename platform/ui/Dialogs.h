#pragma once
// The dialog service: every modal interaction of the user interface goes
// through the one service installed (message dialogs, the error display, the
// lookup list, the search dialog, the reading screen, the password prompt,
// a branch and period, a file to save), so that tests replace
// it with TScriptedDialogs and the application uses TInteractiveDialogs.
//
// The service is process-wide. InstallDialogs does not take ownership; the
// installer keeps the service alive while it is installed and puts the
// previous one back before destroying it.
#include "rtl/Classes.h"

#include <QDate>
#include <QFlags>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

class TDataSet;
class TDataSource;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum class TMsgDlgBtn { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// The button that closed a dialog.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// A list of the rows of `Source`'s data set to pick one from. On true the
// data set stands on the picked row.
struct TLookupListRequest {
    QString Title;
    TDataSource* Source = nullptr;
};

// A search over the rows of an open data set; where it leaves the cursor is
// the dialog's own outcome.
struct TSearchRequest {
    TDataSet* DataSet = nullptr;
};

// A reading screen (scanned codes for a document); `Arguments` and `Context`
// are what its registrant defines.
struct TReadingRequest {
    QVariantMap Arguments;
    TObject* Context = nullptr;
};

// A password asked of the user, typed without being shown.
struct TPasswordRequest {
    QString Title;
    QString Prompt;
};

// A branch and a range of days asked of the user (what an export covers,
// say); either day may be left empty (invalid): no bound.
struct TPeriodRequest {
    QString Title;
    QString Branch;  // proposed
    QDate From;      // proposed
    QDate To;        // proposed
};
struct TPeriod {
    QString Branch;
    QDate From;
    QDate To;
};

// The name of a file to write, chosen by the user.
struct TSaveFileRequest {
    QString Title;
    QString Suggested;  // a path or a file name
    QString Filter;     // as QFileDialog takes it: "Documentos EPCIS (*.jsonld)"
};

class TDialogs {
public:
    virtual ~TDialogs() = default;
    virtual TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                    int helpContext) = 0;
    // The standard error display.
    virtual void ShowError(const QString& message) = 0;
    virtual bool LookupList(const TLookupListRequest& request) = 0;
    virtual void Search(const TSearchRequest& request) = 0;
    virtual QVariant Reading(const TReadingRequest& request) = 0;
    // The password typed, or nothing when the user cancelled.
    virtual std::optional<QString> Password(const TPasswordRequest& request) = 0;
    // Nothing when the user cancelled.
    virtual std::optional<TPeriod> Period(const TPeriodRequest& request) = 0;
    virtual std::optional<QString> SaveFileName(const TSaveFileRequest& request) = 0;
};

// The installed service (the interactive one unless another is installed).
TDialogs& Dialogs();
// Installs `service` (nullptr: the interactive one); returns the one it replaces.
TDialogs* InstallDialogs(TDialogs* service);

// The standard message dialog: shows `text` and returns the button pressed.
TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);
