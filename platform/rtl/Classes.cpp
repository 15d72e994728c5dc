#include "Classes.h"

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
    if (owner_)
        owner_->components_.append(this);
}

TComponent::~TComponent()
{
    while (!components_.isEmpty()) {
        TComponent* child = components_.takeLast();
        child->owner_ = nullptr;
        delete child;
    }
    if (owner_)
        owner_->components_.removeOne(this);
}

TComponent* TComponent::FindComponent(const QString& name) const
{
    for (TComponent* c : components_)
        if (c->name_.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}
