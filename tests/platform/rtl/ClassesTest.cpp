#include "rtl/Classes.h"

#include <gtest/gtest.h>

namespace {
struct Probe : TComponent {
    Probe(TComponent* owner, QList<QString>* log, QString name) : TComponent(owner), log_(log)
    {
        SetName(std::move(name));
    }
    ~Probe() override { log_->append(Name()); }
    QList<QString>* log_;
};
} // namespace

TEST(Classes, OwnerFreesOwnedInReverseOrderAndFindsByName)
{
    QList<QString> log;
    auto* owner = new TComponent;
    new Probe(owner, &log, "first");
    auto* second = new Probe(owner, &log, "second");
    new Probe(owner, &log, "third");
    EXPECT_EQ(owner->FindComponent("SECOND"), second);
    EXPECT_EQ(owner->FindComponent("none"), nullptr);

    delete second;
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete owner;
    EXPECT_EQ(log, (QList<QString>{"second", "third", "first"}));
}
