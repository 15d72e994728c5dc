#include "SampleBranches.h"
#include "UiTest.h"
#include "framework/Procurar.h"
#include "framework/RotiGeral.h"
#include "framework/SearchDialog.h"
#include "ui/InteractiveDialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

class ProcurarTest : public UiTest {
protected:
    void SetUp() override { branches.Load(); }

    // Opens the search through Procura; `user` plays the user on the real dialog.
    void Search(const std::function<void(TSearchDialog&)>& user)
    {
        dialogs.ExpectSearch([this, user](const TSearchRequest& request) {
            EXPECT_EQ(request.DataSet, branches.cds);
            TSearchDialog dialog(request.DataSet);
            dialog.show();
            Activate(&dialog);
            user(dialog);
        });
        Procurar::Procura(branches.cds);
    }
    static void Choose(TSearchDialog& d, const QString& label, const QString& value)
    {
        d.FieldBox()->setCurrentIndex(d.FieldBox()->findText(label));
        d.ValueEdit()->setText(value);
    }

    TSampleBranches branches;
};

TEST_F(ProcurarTest, OffersTheVisibleFieldsByTheirLabels)
{
    Search([](TSearchDialog& d) {
        QStringList labels;
        for (int i = 0; i < d.FieldBox()->count(); ++i)
            labels << d.FieldBox()->itemText(i);
        EXPECT_EQ(labels, QStringList({"Código", "Nome", "Abertura", "Situação"}));
    });
}

TEST_F(ProcurarTest, FindFirstAndNextMoveTheCursorAndSayWhenNothingIsFound)
{
    Search([this](TSearchDialog& d) {
        Choose(d, "Nome", "filial");
        branches.scrolls = 0;
        QTest::mouseClick(d.FindFirstButton(), Qt::LeftButton);
        EXPECT_EQ(branches.Current(), "0002");
        EXPECT_EQ(branches.scrolls, 1);
        EXPECT_EQ(d.Status(), "Registro 2 de 4.");
        QTest::mouseClick(d.FindNextButton(), Qt::LeftButton);
        EXPECT_EQ(branches.Current(), "0003");
        QTest::mouseClick(d.FindNextButton(), Qt::LeftButton);
        EXPECT_EQ(branches.Current(), "0003");
        EXPECT_EQ(d.Status(), "Nenhum outro registro encontrado.");

        Choose(d, "Nome", "Recife");
        QTest::mouseClick(d.FindFirstButton(), Qt::LeftButton);
        EXPECT_EQ(d.Status(), "Nenhum registro encontrado.");
        EXPECT_EQ(branches.Current(), "0003");
        EXPECT_EQ(branches.scrolls, 2);
    });
}

struct FindCase {
    const char* name;
    const char* label;
    const char* value;
    QString found; // code of the row found first, "" for none
};

class ProcurarFind : public ProcurarTest, public testing::WithParamInterface<FindCase> {};

TEST_P(ProcurarFind, ComparesTheTextTheUserSees)
{
    Search([this](TSearchDialog& d) {
        Choose(d, QString::fromUtf8(GetParam().label), QString::fromUtf8(GetParam().value));
        EXPECT_EQ(d.FindFirst(), !GetParam().found.isEmpty());
        if (!GetParam().found.isEmpty()) {
            EXPECT_EQ(branches.Current(), GetParam().found);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(
    Procurar, ProcurarFind,
    testing::Values(FindCase{"CodeByPrefix", "Código", "001", "0010"},
                    FindCase{"NameCaseInsensitive", "Nome", "DEPÓSITO", "0010"},
                    FindCase{"NameNotInTheMiddle", "Nome", "Central", ""},
                    FindCase{"DateAsShown", "Abertura", "10/01", "0003"},
                    FindCase{"StatusThroughOnGetText", "Situação", "em and", "0003"},
                    FindCase{"StatusStoredValueIsNotShown", "Situação", "A", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcurarTest, SearchesOnlyTheRowsTheFilterShows)
{
    branches.cds->SetFilter("IDSTATUS = 'P'");
    branches.cds->SetFiltered(true); // 0002 and 0010
    Search([this](TSearchDialog& d) {
        Choose(d, "Nome", "Filial");
        EXPECT_TRUE(d.FindFirst());
        EXPECT_EQ(branches.Current(), "0002");
        EXPECT_FALSE(d.FindNext()) << "0003 is filtered out";
        EXPECT_EQ(d.Status(), "Nenhum outro registro encontrado.");
    });
}

TEST_F(ProcurarTest, EmptyValueAsksForOne)
{
    Search([this](TSearchDialog& d) {
        branches.cds->Last();
        EXPECT_FALSE(d.FindFirst());
        EXPECT_EQ(d.Status(), "Informe o valor a procurar.");
        EXPECT_EQ(branches.Current(), "0010");
    });
}

TEST_F(ProcurarTest, ClosedDataSetOpensNothing)
{
    branches.cds->Close();
    Procurar::Procura(branches.cds);
    Procurar::Procura(nullptr);
    EXPECT_TRUE(dialogs.Log().isEmpty());
}

TEST_F(ProcurarTest, IsTheInteractiveServicesSearch)
{
    // Opened from a screen on the base form, which previews its keys.
    std::unique_ptr<TfrmRotiGeral> screen(TForm::Create<TfrmRotiGeral>(nullptr));
    screen->Show();
    Activate(screen->HostWindow());
    QTimer::singleShot(0, [] {
        auto* shown = dynamic_cast<TSearchDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr) << "no search dialog shown";
        QApplication::setActiveWindow(shown);
        ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
        ASSERT_EQ(QApplication::focusWidget(), shown->ValueEdit());
        Choose(*shown, "Nome", "dep");
        QTest::keyClick(shown->ValueEdit(), Qt::Key_Return); // the default button: find first
        shown->reject();
    });
    InteractiveDialogs().Search({branches.cds});
    EXPECT_EQ(branches.Current(), "0010");
}

} // namespace
