// The host's "Leitor" menu: the scanner check, and the demo labels of the
// branch's first invoice waiting for readings, from the demo database.
#include "AppServerProcess.h"
#include "HostFixture.h"

#include "codbarium/ScannerCheckForm.h"
#include "ui/Dialogs.h"

#include <QAction>
#include <QDir>
#include <QFile>

namespace {

TEST_F(HostTest, ScannerMenuRunsTheScannerCheck)
{
    auto host = StartHost();
    QAction* check = MenuEntry(*host->MainForm(), QStringLiteral("Leitor"), QStringLiteral("Testar leitor"));
    ASSERT_NE(check, nullptr);
    dialogs.ExpectReading([](const TReadingRequest& request) {
        auto* form = dynamic_cast<TfrmTestaLeitor*>(request.Context);
        if (!form) {
            ADD_FAILURE() << "the reading request carries no scanner check";
            return QVariant();
        }
        Activate(form->HostWindow());
        QWidget* field = form->edtLeitura->Widget();
        const QString code = ScannerCheck::ScannerTestCode();
        const qsizetype separator = code.indexOf(QChar(29));
        QTest::keyClicks(field, QStringLiteral("]d2") + code.left(separator));
        QTest::keyClick(field, Qt::Key_BracketRight, Qt::ControlModifier);
        QTest::keyClicks(field, code.mid(separator + 1));
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(form->Diagnosis().Ready()) << form->lblResultado->Caption().toStdString();
        return QVariant();
    });
    check->trigger();
}

TEST_F(HostTest, DemoLabelsMenuWritesTheSheetAndSaysWhere)
{
    const TAppServerProcess server;
    auto host = StartHost({QStringLiteral("--database"), server.DatabasePath()});
    QAction* labels = MenuEntry(*host->MainForm(), QStringLiteral("Leitor"), QStringLiteral("Rótulos de demonstração"));
    ASSERT_NE(labels, nullptr);
    dialogs.ExpectMessage(mrOk);
    labels->trigger();
    const QStringList shown = dialogs.Texts(TDialogKind::Message);
    ASSERT_EQ(shown.size(), 1);
    const QStringList written = QDir(dir_.path()).entryList({QStringLiteral("rotulos-demo-0001-*.pdf")});
    ASSERT_EQ(written.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("gravados em %1").arg(Path(written[0])))) << shown[0].toStdString();
    QFile file(Path(written[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
}

} // namespace
