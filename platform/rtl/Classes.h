#pragma once
// TObject and TComponent: the roots of every data set and control.
//
// A component may have an owner; the owner destroys what it owns, in reverse
// order of insertion, when it is destroyed itself. Destroying an owned
// component first removes it from its owner's list. Every component carries
// the name it is known by, so a test or a form can find it with FindComponent.
#include <QList>
#include <QString>

class TObject {
public:
    virtual ~TObject() = default;
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const QString& Name() const { return name_; }
    void SetName(const QString& name) { name_ = name; }

    int ComponentCount() const { return int(components_.size()); }
    TComponent* Components(int index) const { return components_.at(index); }
    // The owned component with that name (case-insensitive), or nullptr.
    TComponent* FindComponent(const QString& name) const;

private:
    TComponent* owner_ = nullptr;
    QString name_;
    QList<TComponent*> components_;
};
