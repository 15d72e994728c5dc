#include "rtl/Classes.h"
#include "rtl/Closure.h"

#include <gtest/gtest.h>

namespace {
struct Receiver : TObject {
    int a = 0, b = 0;
    QString text;
    void OnA(TObject*) { ++a; }
    void OnB(TObject*) { ++b; }
    void OnText(TObject*, QString& t) { t = text; }
};
} // namespace

TEST(Closure, NullEventIsEmptyAndInvokingItDoesNothing)
{
    TNotifyEvent ev;
    EXPECT_FALSE(ev);
    EXPECT_TRUE(ev == nullptr);
    ev(nullptr);
}

TEST(Closure, AttachDetachAndIdentity)
{
    Receiver r1, r2;
    TNotifyEvent ev = closure(&r1, &Receiver::OnA);
    ev(nullptr);
    EXPECT_EQ(r1.a, 1);
    EXPECT_TRUE(ev == closure(&r1, &Receiver::OnA));
    EXPECT_FALSE(ev == closure(&r1, &Receiver::OnB));
    EXPECT_FALSE(ev == closure(&r2, &Receiver::OnA));
    EXPECT_FALSE(ev == nullptr);

    ev = nullptr;
    ev(nullptr);
    EXPECT_EQ(r1.a, 1);
    EXPECT_TRUE(ev == nullptr);

    ev = closure(&r2, &Receiver::OnB);
    TNotifyEvent copy = ev;
    copy(nullptr);
    EXPECT_EQ(r2.b, 1);
    EXPECT_TRUE(copy == ev);
}

TEST(Closure, ByReferenceArgumentsReachTheCaller)
{
    Receiver r;
    r.text = "written";
    TEvent<TObject*, QString&> ev = closure(&r, &Receiver::OnText);
    QString t = "before";
    ev(nullptr, t);
    EXPECT_EQ(t, "written");
}

TEST(Closure, CallableEventsEqualOnlyTheirCopies)
{
    int hits = 0;
    auto a = TNotifyEvent::Of([&](TObject*) { ++hits; });
    auto b = TNotifyEvent::Of([&](TObject*) { ++hits; });
    auto a2 = a;
    a(nullptr);
    a2(nullptr);
    EXPECT_EQ(hits, 2);
    EXPECT_TRUE(a == a2);
    EXPECT_FALSE(a == b);
}
