#include "UiTest.h"
#include "framework/Showavi.h"
#include "ui/Form.h"

#include <QDeadlineTimer>
#include <QEventLoop>

namespace {

class ShowaviTest : public UiTest {
protected:
    void SetUp() override
    {
        main.reset(TForm::Create<TForm>(nullptr));
        main->SetClientWidth(800);
        main->SetClientHeight(600);
        main->Show();
    }
    void TearDown() override { Showavi::DeactiveShowAvi(); }

    std::unique_ptr<TForm> main;
};

TEST_F(ShowaviTest, ShowsOverTheMainFormAndCountsEachActivation)
{
    const int before = Showavi::ShowCount();
    Showavi::DeactiveShowAvi(); // none shows: nothing happens
    EXPECT_FALSE(Showavi::Showing());
    EXPECT_EQ(Showavi::ShowCount(), before);

    Showavi::ActiveShowAvi(main.get(), 6);
    EXPECT_TRUE(Showavi::Showing());
    EXPECT_EQ(Showavi::Kind(), 6);
    EXPECT_EQ(Showavi::ShowCount(), before + 1);
    QWidget* indicator = Showavi::Indicator();
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->parentWidget(), main->Widget());
    EXPECT_TRUE(indicator->isVisible());
    EXPECT_EQ(indicator->geometry().center(), main->Widget()->rect().center());

    Showavi::DeactiveShowAvi();
    EXPECT_FALSE(Showavi::Showing());
    EXPECT_EQ(Showavi::Indicator(), nullptr);
    Showavi::DeactiveShowAvi();

    Showavi::ActiveShowAvi(main.get(), 1);
    Showavi::ActiveShowAvi(main.get(), 6); // shown again while showing: one indicator
    EXPECT_EQ(Showavi::Kind(), 6);
    EXPECT_EQ(Showavi::ShowCount(), before + 3);
    EXPECT_EQ(main->Widget()->findChildren<QWidget*>().count(Showavi::Indicator()), 1);
}

TEST_F(ShowaviTest, KeepsMovingWhileAWaitPumpsOnlyTimerAndPaintEvents)
{
    Showavi::ActiveShowAvi(main.get(), 6);
    const int first = Showavi::Frame();
    // The server connection's wait: no user input is handled.
    QEventLoop wait;
    const QDeadlineTimer deadline(10000);
    while (Showavi::Frame() == first && !deadline.hasExpired())
        wait.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GT(Showavi::Frame(), first);
}

TEST_F(ShowaviTest, GoesWithTheMainFormAndShowsOnItsOwnWithoutOne)
{
    Showavi::ActiveShowAvi(main.get(), 1);
    main.reset();
    EXPECT_FALSE(Showavi::Showing());
    Showavi::DeactiveShowAvi();

    Showavi::ActiveShowAvi(nullptr, 1);
    ASSERT_TRUE(Showavi::Showing());
    EXPECT_TRUE(Showavi::Indicator()->isWindow());
    EXPECT_TRUE(Showavi::Indicator()->isVisible());
}

TEST_F(ShowaviTest, ALongReplyAddsTheShareReceivedAndItsSize)
{
    Showavi::ActiveShowAvi(nullptr, 6);
    const int width = Showavi::Indicator()->width();
    Showavi::ShowProgress(3 * 1024 * 1024, 12 * 1024 * 1024 + 100 * 1024);
    EXPECT_EQ(Showavi::Text(), "Consultando, aguarde... 24% de 12,1 MB");
    EXPECT_GT(Showavi::Indicator()->width(), width) << "wide enough for the longer text";
    Showavi::ShowProgress(12 * 1024 * 1024 + 100 * 1024, 12 * 1024 * 1024 + 100 * 1024);
    EXPECT_EQ(Showavi::Text(), "Consultando, aguarde... 100% de 12,1 MB");
    Showavi::DeactiveShowAvi();
    Showavi::ShowProgress(1, 2);
    EXPECT_FALSE(Showavi::Showing()) << "no indicator, nothing to show the share in";
}

} // namespace
