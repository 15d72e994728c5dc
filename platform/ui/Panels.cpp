#include "Panels.h"

#include "Dispatch.h"

#include <QGroupBox>
#include <QPainter>
#include <qdrawutil.h>

namespace {

class TPanelWidget : public QWidget {
public:
    const TPanel* panel = nullptr;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        Dispatch(const_cast<TPanel*>(panel), [&] { panel->Paint(painter); });
    }
};

} // namespace

TPanel::TPanel(TComponent* owner) : TWinControl(owner, new TPanelWidget)
{
    static_cast<TPanelWidget*>(Widget())->panel = this;
    Widget()->setAutoFillBackground(true);
    Widget()->setFocusPolicy(Qt::NoFocus);
}

void TPanel::SetBevelOuter(TBevelCut cut)
{
    bevelOuter_ = cut;
    Changed();
}

void TPanel::SetBevelInner(TBevelCut cut)
{
    bevelInner_ = cut;
    Changed();
}

void TPanel::SetBevelWidth(int width)
{
    bevelWidth_ = qMax(1, width);
    Changed();
}

void TPanel::SetBorderWidth(int width)
{
    borderWidth_ = qMax(0, width);
    Changed();
}

void TPanel::SetCaption(const QString& caption)
{
    caption_ = caption;
    Invalidate();
}

void TPanel::Changed()
{
    Realign();
    Invalidate();
}

QRect TPanel::AlignRect() const
{
    int inset = borderWidth_;
    if (bevelOuter_ != TBevelCut::bvNone)
        inset += bevelWidth_;
    if (bevelInner_ != TBevelCut::bvNone)
        inset += bevelWidth_;
    return Widget()->rect().adjusted(inset, inset, -inset, -inset);
}

void TPanel::Paint(QPainter& painter) const
{
    QRect r = Widget()->rect();
    const QPalette& palette = Widget()->palette();
    if (bevelOuter_ != TBevelCut::bvNone) {
        qDrawShadeRect(&painter, r, palette, bevelOuter_ == TBevelCut::bvLowered, bevelWidth_, 0);
        r.adjust(bevelWidth_, bevelWidth_, -bevelWidth_, -bevelWidth_);
    }
    r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    if (bevelInner_ != TBevelCut::bvNone)
        qDrawShadeRect(&painter, r, palette, bevelInner_ == TBevelCut::bvLowered, bevelWidth_, 0);
    if (!caption_.isEmpty()) {
        painter.setPen(palette.color(QPalette::WindowText));
        painter.drawText(r, Qt::AlignCenter, caption_);
    }
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner, new QGroupBox), client_(new QWidget(Widget()))
{
    // An explicit font stops the caption's font from reaching the controls.
    QFont own = Widget()->font();
    own.setResolveMask(QFont::AllPropertiesResolved);
    client_->setFont(own);
    client_->setGeometry(Widget()->rect());
}

void TGroupBox::Aligned(const QRect&)
{
    // The client widget covers the whole box, so that placed controls keep
    // the box's coordinates.
    client_->setGeometry(Widget()->rect());
}

QString TGroupBox::Caption() const
{
    return static_cast<QGroupBox*>(Widget())->title();
}

void TGroupBox::SetCaption(const QString& caption)
{
    static_cast<QGroupBox*>(Widget())->setTitle(caption);
}
