#include "Controls.h"

#include "AlignLayout.h"
#include "Dispatch.h"
#include "Focus.h"
#include "Form.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>

namespace {
const char* const controlProperty = "expControl";
}

// Sees the widget's events first and hands them to the control, inside the
// dispatch boundary.
class TControlBridge : public QObject {
public:
    explicit TControlBridge(TControl* control) : control_(control) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != control_->widget_)
            return false;
        bool eaten = false;
        Dispatch(control_, [&] { eaten = control_->WidgetEvent(event); });
        return eaten;
    }

private:
    TControl* control_;
};

TControl* ControlOf(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const QVariant v = widget->property(controlProperty);
        if (v.isValid())
            return static_cast<TControl*>(v.value<void*>());
    }
    return nullptr;
}

TControl::TControl(TComponent* owner, QWidget* widget)
    : TComponent(owner), widget_(widget), bridge_(std::make_unique<TControlBridge>(this))
{
    widget->setProperty(controlProperty, QVariant::fromValue(static_cast<void*>(this)));
    widget->installEventFilter(bridge_.get());
    // A widget never shown on its own is 640 x 480; a control starts at its
    // natural size until its bounds are set.
    const QSize hint = widget->sizeHint();
    widget->resize(hint.isValid() ? hint : QSize(100, 40));
}

TControl::~TControl()
{
    ReleaseWidget();
}

void TControl::ReleaseWidget()
{
    if (parent_) {
        parent_->controls_.removeOne(this);
        parent_->tabList_.removeIf([this](TWinControl* w) { return static_cast<TControl*>(w) == this; });
        if (TForm* form = parent_->Form())
            form->ControlRemoved(this);
        parent_ = nullptr;
    }
    if (widget_) {
        widget_->removeEventFilter(bridge_.get());
        widget_->setProperty(controlProperty, QVariant());
        delete widget_.data();
    }
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == parent_)
        return;
    if (parent_) {
        parent_->controls_.removeOne(this);
        parent_->tabList_.removeIf([this](TWinControl* w) { return static_cast<TControl*>(w) == this; });
        if (TForm* form = parent_->Form())
            form->ControlRemoved(this);
        parent_->Realign();
    }
    parent_ = parent;
    if (!widget_)
        return;
    const QRect geometry = widget_->geometry();
    widget_->setParent(parent ? parent->ClientWidget() : nullptr);
    widget_->setGeometry(geometry);
    if (parent) {
        parent->controls_.append(this);
        if (auto* win = dynamic_cast<TWinControl*>(this))
            parent->tabList_.append(win);
        widget_->setVisible(visible_);
        parent->Realign();
    }
}

TForm* TControl::Form() const
{
    const TControl* c = this;
    while (c->parent_)
        c = c->parent_;
    return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::SetVisible(bool visible)
{
    visible_ = visible;
    if (widget_ && (parent_ || !visible))
        widget_->setVisible(visible);
    if (parent_)
        parent_->Realign();
}

void TControl::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    if (widget_)
        widget_->setEnabled(enabled);
}

int TControl::Left() const { return widget_ ? widget_->x() : 0; }
int TControl::Top() const { return widget_ ? widget_->y() : 0; }
int TControl::Width() const { return widget_ ? widget_->width() : 0; }
int TControl::Height() const { return widget_ ? widget_->height() : 0; }

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (!widget_)
        return;
    widget_->setGeometry(left, top, width, height);
    if (parent_ && align_ != TAlign::alNone)
        parent_->Realign();
    else if (auto* container = dynamic_cast<TWinControl*>(this))
        container->Realign();
}

void TControl::SetAlign(TAlign align)
{
    align_ = align;
    if (parent_)
        parent_->Realign();
}

void TControl::SetHint(const QString& hint)
{
    // `hint` may be hint_ itself (SetShowHint).
    const QString previous = hint_;
    hint_ = hint;
    if (!widget_)
        return;
    widget_->setToolTip(showHint_ ? hint_ : QString());
    if (QWidget* speaker = AccessibleWidget(); speaker && speaker->accessibleDescription() == previous)
        speaker->setAccessibleDescription(hint_);
    HintChanged();
}

QString TControl::AccessibleName() const
{
    const QWidget* speaker = AccessibleWidget();
    return speaker ? speaker->accessibleName() : QString();
}

void TControl::SetAccessibleName(const QString& name)
{
    if (QWidget* speaker = AccessibleWidget())
        speaker->setAccessibleName(name);
}

QString TControl::AccessibleDescription() const
{
    const QWidget* speaker = AccessibleWidget();
    return speaker ? speaker->accessibleDescription() : QString();
}

void TControl::SetAccessibleDescription(const QString& description)
{
    if (QWidget* speaker = AccessibleWidget())
        speaker->setAccessibleDescription(description);
}

void TControl::Announce() const
{
    QWidget* speaker = AccessibleWidget();
    if (!speaker || !QAccessible::isActive())
        return;
    QAccessibleEvent alert(speaker, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void TControl::SetShowHint(bool show)
{
    showHint_ = show;
    SetHint(hint_);
}

void TControl::SetColor(TColor color)
{
    color_ = color;
    if (!widget_)
        return;
    QPalette palette = widget_->palette();
    palette.setColor(ColorRole(), ColorToQColor(color));
    widget_->setPalette(palette);
    if (ColorRole() == QPalette::Window)
        widget_->setAutoFillBackground(true);
}

TColor TControl::Color() const
{
    if (color_)
        return *color_;
    return ColorRole() == QPalette::Base ? clWindow : clBtnFace;
}

TFont& TControl::Font()
{
    if (!font_) {
        font_ = std::make_unique<TFont>(widget_ ? widget_->font() : QApplication::font());
        font_->OnChange = [this] {
            if (!widget_)
                return;
            widget_->setFont(font_->ToQFont());
            QPalette palette = widget_->palette();
            palette.setColor(QPalette::WindowText, ColorToQColor(font_->Color()));
            palette.setColor(QPalette::Text, ColorToQColor(font_->Color()));
            widget_->setPalette(palette);
            FontChanged();
        };
    }
    return *font_;
}

void TControl::Click()
{
    OnClick(this);
}

void TControl::Repaint()
{
    if (widget_)
        widget_->repaint();
}

void TControl::Invalidate()
{
    if (widget_)
        widget_->update();
}

bool TControl::WidgetEvent(QEvent*)
{
    return false;
}

TWinControl::TWinControl(TComponent* owner, QWidget* widget) : TControl(owner, widget) {}

TWinControl::~TWinControl()
{
    while (!controls_.isEmpty())
        delete controls_.takeLast();
    // Leaves the parent here, while the form can still tell a container
    // from a plain control.
    ReleaseWidget();
}

bool TWinControl::ContainsControl(const TControl* control) const
{
    for (; control; control = control->Parent())
        if (control == this)
            return true;
    return false;
}

int TWinControl::TabOrder() const
{
    return Parent() ? int(Parent()->tabList_.indexOf(const_cast<TWinControl*>(this))) : 0;
}

void TWinControl::SetTabOrder(int order)
{
    if (!Parent())
        return;
    QList<TWinControl*>& siblings = Parent()->tabList_;
    siblings.removeOne(this);
    siblings.insert(qBound(0, order, int(siblings.size())), this);
}

bool TWinControl::CanFocus() const
{
    const TControl* c = this;
    for (; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled())
            return false;
    return Form() != nullptr;
}

bool TWinControl::Focused() const
{
    return ControlOf(QApplication::focusWidget()) == this;
}

void TWinControl::SetFocus()
{
    if (CanFocus())
        Form()->Focus().MoveTo(this);
}

QRect TWinControl::AlignRect() const
{
    return Widget() ? Widget()->contentsRect() : QRect();
}

void TWinControl::Realign()
{
    if (Widget())
        Aligned(TAlignLayout::Apply(AlignRect(), controls_));
}

bool TWinControl::WidgetEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize)
        Realign();
    return false;
}
