#pragma once
// Make<T>(owner, parent, name): a component owned by `owner`, known by `name`
// and, for a control, placed in `parent`.
#include "rtl/Classes.h"
#include "ui/Controls.h"

#include <type_traits>

template <class T>
T* Make(TComponent* owner, TWinControl* parent, const char* name)
{
    T* component = new T(owner);
    component->SetName(QLatin1String(name));
    if constexpr (std::is_base_of_v<TControl, T>) {
        if (parent)
            component->SetParent(parent);
    }
    return component;
}

template <class T>
T* Make(TComponent* owner, const char* name)
{
    return Make<T>(owner, nullptr, name);
}
