#include "Dispatch.h"

#include "Application.h"

#include <QtGlobal>

bool Dispatch(TObject* sender, const std::function<void()>& handler) noexcept
{
    try {
        handler();
        return true;
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            if (Application)
                Application->HandleException(sender, error);
            else
                qCritical("Erro sem aplicação para mostrá-lo");
        } catch (...) {
            // The error display itself failed; nothing is left to show it with.
            qCritical("Falha ao mostrar um erro");
        }
        return false;
    }
}
