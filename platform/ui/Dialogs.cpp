#include "Dialogs.h"

#include "InteractiveDialogs.h"

#include <utility>

namespace {
TDialogs* installed = nullptr;
}

TDialogs& Dialogs()
{
    if (installed)
        return *installed;
    return InteractiveDialogs();
}

TDialogs* InstallDialogs(TDialogs* service)
{
    return std::exchange(installed, service);
}

TModalResult MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    return Dialogs().MessageDlg(text, type, buttons, helpContext);
}
