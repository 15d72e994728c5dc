// "Expedição → Exportar eventos de rastreio…" against the real server: a
// branch's thousands of confirmations saved as one EPCIS document that
// epcis2.js accepts, with the progress bar following, and a range with
// nothing in it said.
#include "AppServerProcess.h"
#include "EpcisValidator.h"
#include "HostFixture.h"

#include "ui/Dialogs.h"

#include <QAction>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

// Every invoice of branch 0001 confirmed when it left: thousands at scale 50.
int ConfirmEveryInvoice(const TAppServerProcess& server)
{
    int confirmed = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("events"));
        db.setDatabaseName(server.DatabasePath());
        EXPECT_TRUE(db.open());
        QSqlQuery update(db);
        EXPECT_TRUE(update.exec(QStringLiteral("UPDATE NOTAFISCAL SET IDCONFRASTR = 'S', DTCONFRASTR = DTENTRSAID"
                                               " WHERE CDFILIAL = '0001'")));
        QSqlQuery count(db);
        EXPECT_TRUE(count.exec(QStringLiteral("SELECT COUNT(*) FROM NOTAFISCAL WHERE CDFILIAL = '0001'")) && count.next());
        confirmed = count.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("events"));
    return confirmed;
}

TEST_F(HostTest, ExportEventsMenuSavesTheBranchEventsWithProgress)
{
    TAppServerProcess::TOptions options;
    options.Scale = 50;
    options.ExtraArgs = {QStringLiteral("--epcis-prefix"), QStringLiteral("https://rastreio.example.com.br/")};
    const TAppServerProcess server(options);
    const int confirmed = ConfirmEveryInvoice(server);
    ASSERT_GE(confirmed, 1000);
    auto host = StartHost({QStringLiteral("--server"), QStringLiteral("%1:%2").arg(server.Host()).arg(server.Port()),
                           QStringLiteral("--database"), server.DatabasePath()});
    QAction* entry = MenuEntry(*host->MainForm(), QStringLiteral("Expedição"), QStringLiteral("Exportar eventos de rastreio…"));
    ASSERT_NE(entry, nullptr);
    QProgressBar* bar = host->MainForm()->ExportProgress();
    QSignalSpy progress(bar, &QProgressBar::valueChanged);
    const QString path = Path(QStringLiteral("eventos.jsonld"));
    dialogs.ExpectPeriod(TPeriod{QStringLiteral("0001"), QDate(2000, 1, 1), QDate(2100, 12, 31)});
    dialogs.ExpectSaveFile(path);
    dialogs.ExpectMessage(mrOk);
    entry->trigger();

    EXPECT_EQ(dialogs.LastSaveFileRequest().Suggested, QStringLiteral("eventos-rastreio-0001.jsonld"));
    EXPECT_EQ(dialogs.Texts(TDialogKind::Message),
              QStringList{QStringLiteral("%1 evento(s) de rastreio gravado(s) em %2.").arg(confirmed).arg(path)});
    EXPECT_GT(progress.count(), 10) << "a long export moves the bar as it goes";
    QList<int> values;
    for (const QList<QVariant>& change : progress)
        values.append(change.value(0).toInt());
    EXPECT_TRUE(values.contains(confirmed)) << "the bar never reached the end";
    EXPECT_FALSE(bar->isVisible()) << "the bar stays after the export";
    const TEpcisCheck check = CheckEpcisDocument(path);
    EXPECT_TRUE(check.Valid) << check.Errors.join(u'\n').toStdString();
    ASSERT_EQ(check.Events.size(), confirmed);
    for (const TEpcisCheck::TEvent& event : check.Events)
        ASSERT_EQ(event.EventId, event.Hash);
}

TEST_F(HostTest, ExportEventsOfARangeWithNothingSaysSoAndWritesNothing)
{
    TAppServerProcess::TOptions options;
    options.ExtraArgs = {QStringLiteral("--epcis-prefix"), QStringLiteral("https://rastreio.example.com.br/")};
    const TAppServerProcess server(options);
    auto host = StartHost({QStringLiteral("--server"), QStringLiteral("%1:%2").arg(server.Host()).arg(server.Port()),
                           QStringLiteral("--database"), server.DatabasePath()});
    QAction* entry = MenuEntry(*host->MainForm(), QStringLiteral("Expedição"), QStringLiteral("Exportar eventos de rastreio…"));
    ASSERT_NE(entry, nullptr);
    const QString path = Path(QStringLiteral("nada.jsonld"));
    dialogs.ExpectPeriod(TPeriod{QStringLiteral("0001"), QDate(2001, 1, 1), QDate(2001, 1, 31)});
    dialogs.ExpectSaveFile(path);
    dialogs.ExpectError();
    entry->trigger();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error),
              QStringList{QStringLiteral("Não há conferências de rastreio da filial 0001 de 01/01/2001 a 31/01/2001.")});
    EXPECT_FALSE(QFile::exists(path));

    // Cancelled at the period: nothing asked further.
    dialogs.Clear();
    dialogs.ExpectPeriod(std::nullopt);
    entry->trigger();
    EXPECT_EQ(dialogs.Log().size(), 1);
}

} // namespace
