#include "Buttons.h"

#include "Dispatch.h"

#include <QIcon>
#include <QToolButton>

TSpeedButton::TSpeedButton(TComponent* owner) : TControl(owner, new QToolButton)
{
    auto* button = static_cast<QToolButton*>(Widget());
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    QObject::connect(button, &QToolButton::clicked, button, [this] { Dispatch(this, [this] { Click(); }); });
    glyph_.OnChange = [this] { GlyphChanged(); };
}

bool TSpeedButton::Flat() const
{
    return static_cast<QToolButton*>(Widget())->autoRaise();
}

void TSpeedButton::SetFlat(bool flat)
{
    static_cast<QToolButton*>(Widget())->setAutoRaise(flat);
}

void TSpeedButton::SetNumGlyphs(int count)
{
    numGlyphs_ = qBound(1, count, 4);
    GlyphChanged();
}

QString TSpeedButton::Caption() const
{
    return static_cast<QToolButton*>(Widget())->text();
}

void TSpeedButton::SetCaption(const QString& caption)
{
    auto* button = static_cast<QToolButton*>(Widget());
    button->setText(caption);
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    NameByHint();
}

void TSpeedButton::NameByHint()
{
    // Qt names a button by its text; a picture alone says nothing, so the
    // hint names it instead of describing it.
    if (Caption().isEmpty()) {
        SetAccessibleName(Hint());
        if (AccessibleDescription() == Hint())
            SetAccessibleDescription(QString());
    } else {
        SetAccessibleName(QString());
        if (AccessibleDescription().isEmpty())
            SetAccessibleDescription(Hint());
    }
}

void TSpeedButton::GlyphChanged()
{
    auto* button = static_cast<QToolButton*>(Widget());
    if (glyph_.Empty()) {
        button->setIcon(QIcon());
        return;
    }
    TBitmap masked;
    masked.Assign(glyph_);
    masked.SetTransparent(true);
    const QImage image = masked.MaskedImage();
    const int w = image.width() / numGlyphs_;
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(image.copy(0, 0, w, image.height())), QIcon::Normal);
    if (numGlyphs_ > 1)
        icon.addPixmap(QPixmap::fromImage(image.copy(w, 0, w, image.height())), QIcon::Disabled);
    button->setIcon(icon);
    button->setIconSize(QSize(w, image.height()));
}
