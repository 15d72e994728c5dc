// What the platform's controls tell assistive technology: a label names the
// control it is the caption of, a picture-only button is named by its hint,
// a hint describes unless a description was set, and Announce says a
// control's text only while someone listens.
#include "AccessibleTree.h"
#include "UiTest.h"
#include "ui/Buttons.h"
#include "ui/Form.h"
#include "ui/MaskEdit.h"
#include "ui/StdCtrls.h"

namespace {

class AccessibilityTest : public UiTest {
protected:
    void SetUp() override { form.reset(TForm::Create<TForm>(nullptr)); }

    template <class T>
    T* Make()
    {
        T* c = new T(form.get());
        c->SetParent(form.get());
        return c;
    }

    std::unique_ptr<TForm> form;
};

TEST_F(AccessibilityTest, ALabelNamesItsControlByItsCaptionAndFollowsItsChanges)
{
    auto* label = Make<TLabel>();
    auto* edit = Make<TMaskEdit>();
    label->SetCaption(QStringLiteral(" Código IUM: "));
    EXPECT_EQ(edit->AccessibleName(), QString()) << "named before it was linked";
    label->SetFocusControl(edit);
    EXPECT_EQ(edit->AccessibleName(), QStringLiteral("Código IUM"));
    label->SetCaption(QStringLiteral("Nr. Pedido"));
    EXPECT_EQ(edit->AccessibleName(), QStringLiteral("Nr. Pedido"));
    // What a screen reader reads is the widget's own accessible name.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(edit->FocusWidget())->text(QAccessible::Name),
              QStringLiteral("Nr. Pedido"));

    // Unlinked, later captions name nothing; a label outliving its control is harmless.
    label->SetFocusControl(nullptr);
    label->SetCaption(QStringLiteral("Outro"));
    EXPECT_EQ(edit->AccessibleName(), QStringLiteral("Nr. Pedido"));
    label->SetFocusControl(edit);
    delete edit;
    label->SetCaption(QStringLiteral("Depois"));
    EXPECT_EQ(label->Caption(), QStringLiteral("Depois"));
}

TEST_F(AccessibilityTest, AButtonIsNamedByItsCaptionOrByItsHintWhenItShowsOnlyAPicture)
{
    auto* button = Make<TSpeedButton>();
    button->SetHint(QStringLiteral("Confirmar"));
    button->SetShowHint(true);
    EXPECT_EQ(button->Hint(), QStringLiteral("Confirmar")) << "showing the hint lost it";
    EXPECT_EQ(button->AccessibleName(), QStringLiteral("Confirmar"));
    EXPECT_EQ(button->AccessibleDescription(), QString()) << "said twice";
    button->SetCaption(QStringLiteral("Fechar"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button->Widget())->text(QAccessible::Name), QStringLiteral("Fechar"));
    EXPECT_EQ(button->AccessibleDescription(), QStringLiteral("Confirmar"));
    button->SetCaption(QString());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button->Widget())->text(QAccessible::Name),
              QStringLiteral("Confirmar"));
}

TEST_F(AccessibilityTest, AHintDescribesUnlessADescriptionWasSet)
{
    auto* edit = Make<TEdit>();
    edit->SetHint(QStringLiteral("Primeira"));
    EXPECT_EQ(edit->AccessibleDescription(), QStringLiteral("Primeira"));
    edit->SetHint(QStringLiteral("Segunda"));
    EXPECT_EQ(edit->AccessibleDescription(), QStringLiteral("Segunda"));
    edit->SetAccessibleDescription(QStringLiteral("Número da expedição, até 10 dígitos"));
    edit->SetHint(QStringLiteral("Terceira"));
    EXPECT_EQ(edit->AccessibleDescription(), QStringLiteral("Número da expedição, até 10 dígitos"));
}

TEST_F(AccessibilityTest, AnnounceSaysTheControlsTextOnlyWhileSomeoneListens)
{
    auto* status = Make<TLabel>();
    status->SetCaption(QStringLiteral("IUM aceito"));
    {
        TAccessibleEvents events;
        status->Announce();
        const QList<TAccessibleEventSeen> said = events.Of(QAccessible::Alert, status->Widget());
        ASSERT_EQ(said.size(), 1);
        EXPECT_EQ(said[0].Name, QStringLiteral("IUM aceito"));
    }
    ASSERT_FALSE(QAccessible::isActive());
    int calls = 0;
    static int* counter = nullptr;
    counter = &calls;
    const QAccessible::UpdateHandler previous =
        QAccessible::installUpdateHandler([](QAccessibleEvent*) { ++*counter; });
    status->Announce();
    QAccessible::installUpdateHandler(previous);
    EXPECT_EQ(calls, 0);
}

} // namespace
