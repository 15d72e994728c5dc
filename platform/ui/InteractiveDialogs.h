#pragma once
// The dialog service for people: message dialogs and the error display on
// QMessageBox, placed over the active window without belonging to it
// (DialogPlacement.h); the lookup list, the search dialog and the reading
// screen are supplied by the framework, which registers them here. Asking for
// a picker nobody registered raises Exception.
#include "Dialogs.h"

#include <functional>

class TInteractiveDialogs : public TDialogs {
public:
    using TLookupListHook = std::function<bool(const TLookupListRequest&)>;
    using TSearchHook = std::function<void(const TSearchRequest&)>;
    using TReadingHook = std::function<QVariant(const TReadingRequest&)>;

    TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                            int helpContext) override;
    void ShowError(const QString& message) override;
    bool LookupList(const TLookupListRequest& request) override;
    void Search(const TSearchRequest& request) override;
    QVariant Reading(const TReadingRequest& request) override;
    std::optional<QString> Password(const TPasswordRequest& request) override;
    std::optional<TPeriod> Period(const TPeriodRequest& request) override;
    std::optional<QString> SaveFileName(const TSaveFileRequest& request) override;

    void RegisterLookupList(TLookupListHook hook) { lookupList_ = std::move(hook); }
    void RegisterSearch(TSearchHook hook) { search_ = std::move(hook); }
    void RegisterReading(TReadingHook hook) { reading_ = std::move(hook); }

private:
    TLookupListHook lookupList_;
    TSearchHook search_;
    TReadingHook reading_;
};

// The process's interactive service, for the framework to register its pickers.
TInteractiveDialogs& InteractiveDialogs();
