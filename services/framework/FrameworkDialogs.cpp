// The framework's pickers join the interactive dialog service as soon as the
// framework is loaded, so the host needs no call of its own for them.
#include "LookupListDialog.h"
#include "SearchDialog.h"
#include "ui/InteractiveDialogs.h"

namespace {

[[maybe_unused]] const bool registered = [] {
    InteractiveDialogs().RegisterLookupList([](const TLookupListRequest& request) { return RunLookupList(request); });
    InteractiveDialogs().RegisterSearch([](const TSearchRequest& request) { RunSearch(request.DataSet); });
    return true;
}();

} // namespace
