#include "ButtonFlat.h"

#include <QToolButton>

TButtonFlat::TButtonFlat(TComponent* owner) : TSpeedButton(owner)
{
    SetFlat(true);
    SetShowHint(true);
}

void TButtonFlat::SetIcon(const QIcon& icon, QSize size)
{
    auto* button = static_cast<QToolButton*>(Widget());
    button->setIcon(icon);
    button->setIconSize(size);
}
