#pragma once
// TModalForm: a form of the reading screens that runs modally through the
// dialog service's reading hook (Codbarium.h): shown application-modal over
// the active window, then the events run until it closes. The reading of an
// invoice and the scanner check are such forms.
//
// Ownership: whoever creates the form owns it.
#include "ui/Form.h"

#include <QVariant>

class QEventLoop;

class TModalForm : public TForm {
public:
    explicit TModalForm(TComponent* owner) : TForm(owner) {}

    // Shows the form application-modal, centred over the active window,
    // with the focus on `focus`.
    void ShowModalOver(TWinControl* focus);
    // Runs the events until the form closes; returns at once when it is not
    // showing.
    void WaitUntilClosed();
    // What the reading hook returns once the form has closed.
    virtual QVariant Outcome() const = 0;

protected:
    // For the derived form's OnClose: hides the form and ends WaitUntilClosed.
    void EndModal(TCloseAction& action);
    // Runs once ShowModalOver has shown the form and set its focus.
    virtual void Shown() {}

    // `control` named `name` and placed on `parent`, as the forms build
    // their components.
    template <class C>
    static C* Place(C* control, const char* name, TWinControl* parent)
    {
        control->SetName(QString::fromLatin1(name));
        control->SetParent(parent);
        return control;
    }

private:
    QEventLoop* loop_ = nullptr;
};
