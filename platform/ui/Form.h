#pragma once
// TForm: a window of the application, top-level or a child inside the main
// form's MDI area, and the root container of its controls.
//
// Life cycle: create a form with TForm::Create<T>(owner) (or
// Application->CreateForm), which constructs it and then runs OnCreate inside
// the dispatch boundary: an error there is shown and the form still exists.
// The owner destroys the form; a close whose action is caFree releases it
// (destroyed once control is back in the event loop).
//
// Events: OnActivate runs at each activation (the window, or its MDI child
// window, becoming the active one). With KeyPreview the form sees every
// key of its controls first: OnKeyDown(sender, key, shift) and then, for keys
// that type a character, OnKeyPress(sender, char); setting the key (or char)
// to 0 swallows it.
#include "Controls.h"
#include "Focus.h"
#include "Keys.h"

#include <QFlags>
#include <QMdiArea>
#include <QMdiSubWindow>

enum class TCloseAction { caNone, caHide, caFree };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TBorderIcon { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
Q_DECLARE_FLAGS(TBorderIcons, TBorderIcon)
Q_DECLARE_OPERATORS_FOR_FLAGS(TBorderIcons)

using TCloseEvent = TEvent<TObject*, TCloseAction&>;
using TKeyEvent = TEvent<TObject*, TKey&, TShiftState>;
using TKeyPressEvent = TEvent<TObject*, QChar&>;

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    // Constructs a T and runs its OnCreate.
    template <class T>
    static T* Create(TComponent* owner)
    {
        T* form = new T(owner);
        form->DoCreate();
        return form;
    }

    QString Caption() const;
    void SetCaption(const QString& caption);
    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }
    void SetClientWidth(int width);
    void SetClientHeight(int height);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons icons);

    TFormStyle FormStyle() const { return formStyle_; }
    // fsMDIChild places the form in Application->MainForm()'s MDI area
    // (raises Exception when there is none); fsMDIForm gives this form one.
    void SetFormStyle(TFormStyle style);
    QMdiArea* MdiArea() const { return mdiArea_; }

    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);

    // Visible: shows the window and makes it the active one; hidden: hides it.
    void SetVisible(bool visible) override;
    bool Showing() const;
    // Runs OnClose with caHide and does what the handler leaves in the action.
    // Exceptions of the handler reach the caller.
    void Close();
    // Destroys the form once control is back in the event loop.
    void Release();

    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool preview) { keyPreview_ = preview; }

    TWinControl* ActiveControl() const { return focus_->Active(); }
    // Moves the focus to `control` (see TWinControl::SetFocus).
    void SetActiveControl(TWinControl* control);
    // Moves the focus to the next control in tab order from `from`.
    void SelectNext(TWinControl* from, bool forward);

    TFocusModel& Focus() { return *focus_; }
    // The form is being destroyed: focus moves no longer run handlers.
    bool Destroying() const { return destroying_; }
    // The window that frames the form: its MDI child window or the form itself.
    QWidget* HostWindow() const;

    TNotifyEvent OnCreate;
    TNotifyEvent OnActivate;
    TCloseEvent OnClose;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

    // The focus is arriving at `control`; runs before its own OnEnter.
    virtual void FocusEntering(TWinControl* control);
    // `control` leaves the form.
    void ControlRemoved(TControl* control);

    void DoCreate();
    void DoActivate();

protected:
    bool WidgetEvent(QEvent* event) override;
    void Aligned(const QRect& remainder) override;

private:
    void ApplyWindowFlags();
    // An MDI child reports OnActivate once each time it becomes the area's
    // active child while shown.
    void ReportMdiActivation();

    std::unique_ptr<TFocusModel> focus_;
    QPointer<QMdiSubWindow> subWindow_;
    QPointer<QMdiArea> mdiArea_;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
    TBorderIcons borderIcons_ = TBorderIcon::biSystemMenu | TBorderIcon::biMinimize | TBorderIcon::biMaximize;
    bool keyPreview_ = false;
    bool destroying_ = false;
    bool activeReported_ = false;
};
