#include "Application.h"

#include "Dialogs.h"
#include "EventRouter.h"
#include "Form.h"
#include "rtl/Exceptions.h"

#include <QApplication>

TApplication* Application = nullptr;

TApplication::TApplication() : router_(std::make_unique<TEventRouter>())
{
    Q_ASSERT(!Application);
    Application = this;
    title_ = QCoreApplication::applicationName();
    qApp->installEventFilter(router_.get());
}

TApplication::~TApplication()
{
    qApp->removeEventFilter(router_.get());
    // The forms go while Application still names us.
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
    Application = nullptr;
}

void TApplication::SetHint(const QString& hint)
{
    hint_ = hint;
    OnHint(this);
}

void TApplication::HandleException(TObject*, std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        Dialogs().ShowError(e.Message());
    } catch (const std::exception& e) {
        Dialogs().ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        Dialogs().ShowError(QStringLiteral("Erro desconhecido."));
    }
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents();
}

int TApplication::Run()
{
    return QApplication::exec();
}
