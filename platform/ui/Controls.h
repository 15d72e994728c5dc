#pragma once
// TControl and TWinControl: every control wraps one Qt widget and is a
// component owned by its form (Owner), placed in a container (Parent).
//
// Ownership: the control owns its widget and deletes it when destroyed;
// Qt's parent chain follows Parent. Destroying a container destroys the
// controls placed in it first. A widget deleted behind our back (by Qt) is
// noticed: Widget() then returns nullptr.
//
// Visible and Enabled are the control's own settings; whether it can take the
// focus also depends on its containers (CanFocus).
//
// Aligned children are laid out by the container (TAlignLayout) whenever it
// resizes or a child's align, size or visibility changes.
#include "Graphics.h"
#include "rtl/Classes.h"
#include "rtl/Closure.h"

#include <QList>
#include <QPalette>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class QEvent;
class TWinControl;
class TForm;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TControl : public TComponent {
public:
    // Takes ownership of `widget`.
    TControl(TComponent* owner, QWidget* widget);
    ~TControl() override;

    QWidget* Widget() const { return widget_; }
    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);
    // The form the control is placed in (through its containers), or nullptr.
    TForm* Form() const;

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return Bounds(Left(), Top(), Width(), Height()); }

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    // The hint is also what assistive technology reads as the control's
    // description, unless one was set (SetAccessibleDescription).
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);

    TColor Color() const;
    void SetColor(TColor color);
    TFont& Font();

    // Runs OnClick, as a mouse click on the control does.
    virtual void Click();
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    void Repaint();
    void Invalidate();

    // What assistive technology (a screen reader) says of the control, kept
    // on the widget that takes its focus: the name (a caption names its
    // own control, a label the control it is the caption of,
    // TLabel::SetFocusControl, and a button showing only a picture is named
    // by its hint) and, where the name is not enough, a description (a
    // field's format, a button's effect).
    QString AccessibleName() const;
    void SetAccessibleName(const QString& name);
    QString AccessibleDescription() const;
    void SetAccessibleDescription(const QString& description);
    // Has assistive technology say the control's name now, as news (an
    // alert): for a result that appears on screen, so that no one depends on
    // its colour or sound to learn it. Nothing happens while no assistive
    // technology listens.
    void Announce() const;

protected:
    // Qt events of the widget, seen before the widget gets them; return true
    // to stop the event. Runs inside the dispatch boundary.
    virtual bool WidgetEvent(QEvent* event);
    // The palette role that Color paints.
    virtual QPalette::ColorRole ColorRole() const { return QPalette::Window; }
    // The control's font changed (its widget has it already).
    virtual void FontChanged() {}
    // The hint changed (its widget has it already).
    virtual void HintChanged() {}
    // The widget that speaks for the control to assistive technology.
    virtual QWidget* AccessibleWidget() const { return Widget(); }
    // Leaves the parent and deletes the widget, quietly (destructors only).
    void ReleaseWidget();

private:
    friend class TControlBridge;
    friend class TWinControl;
    QPointer<QWidget> widget_;
    std::unique_ptr<QObject> bridge_;
    TWinControl* parent_ = nullptr;
    bool visible_ = true;
    bool enabled_ = true;
    TAlign align_ = TAlign::alNone;
    QString hint_;
    bool showHint_ = false;
    std::optional<TColor> color_;
    std::unique_ptr<TFont> font_;
};

class TWinControl : public TControl {
public:
    TWinControl(TComponent* owner, QWidget* widget);
    ~TWinControl() override;

    int ControlCount() const { return int(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(index); }
    // True when `control` is this one or placed in it, at any depth.
    bool ContainsControl(const TControl* control) const;

    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool tabStop) { tabStop_ = tabStop; }
    // The position in the parent's tab list (declaration order unless set);
    // the Tab key follows it, container by container.
    int TabOrder() const;
    void SetTabOrder(int order);
    int TabListCount() const { return int(tabList_.size()); }
    TWinControl* TabList(int index) const { return tabList_.at(index); }

    // Visible and enabled, and so are its containers up to the form.
    bool CanFocus() const;
    // Qt's focus is in this control (not in a control placed in it).
    bool Focused() const;
    // Moves the focus here through the form's exit and enter handlers (see
    // TFocusModel); does nothing when the control cannot take the focus. An
    // exception of a handler reaches the caller.
    void SetFocus();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // The widget that holds Qt's focus for this control.
    virtual QWidget* FocusWidget() const { return Widget(); }
    QWidget* AccessibleWidget() const override { return FocusWidget(); }
    // The widget the controls placed in this one are children of.
    virtual QWidget* ClientWidget() const { return Widget(); }
    // The area, in the widget's coordinates, that aligned children share.
    virtual QRect AlignRect() const;
    // Lays the aligned children out again.
    void Realign();

    // Called by the focus model.
    virtual void DoEnter() { OnEnter(this); }
    virtual void DoExit() { OnExit(this); }

protected:
    bool WidgetEvent(QEvent* event) override;
    // After Realign: the area the aligned children left free.
    virtual void Aligned(const QRect& /*remainder*/) {}

private:
    friend class TControl;
    QList<TControl*> controls_; // declaration order: the aligned layout follows it
    QList<TWinControl*> tabList_;
    bool tabStop_ = false;
};

// The control a widget belongs to: the nearest one among the widget and its
// ancestors, or nullptr.
TControl* ControlOf(const QWidget* widget);
