#pragma once
// TApplication: the one application object (`Application`), created by the
// program after its QApplication and destroyed before it. It owns the forms
// created through it, knows the main form, and is the error display of every
// event: HandleException.
//
// It also installs the event router that takes Qt's focus changes, refused
// clicks and previewed keys to the forms (see EventRouter.h).
#include "rtl/Classes.h"
#include "rtl/Closure.h"

#include <exception>
#include <memory>

class QObject;
class TForm;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

    // A short message for the status line, and OnHint, which shows it (the
    // host's main window binds it to its status bar). A control that refuses
    // what the user did says why here.
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    TNotifyEvent OnHint;

    TForm* MainForm() const { return mainForm_; }
    void SetMainForm(TForm* form) { mainForm_ = form; }

    // Creates a T owned by the application (OnCreate included) into `reference`;
    // the first form created becomes the main form.
    template <class T>
    void CreateForm(T*& reference)
    {
        reference = T::template Create<T>(this);
        if (!mainForm_)
            mainForm_ = reference;
    }

    // The standard error display: shows the message of `error` through the
    // dialog service, except for EAbort, which it ignores. Call it from a
    // catch block to show the exception being handled.
    void HandleException(TObject* sender, std::exception_ptr error = std::current_exception());
    // Handles the events waiting in the queue and returns.
    void ProcessMessages();
    // Runs the event loop until the main form closes; returns its exit code.
    int Run();

private:
    QString title_;
    QString hint_;
    TForm* mainForm_ = nullptr;
    std::unique_ptr<QObject> router_;
};

extern TApplication* Application;
