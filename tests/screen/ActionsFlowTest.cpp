// End to end, against the real application server and its demo data: a
// user reads the missing labels of an incomplete invoice, deletes a reading,
// reads it again and confirms the invoice; and the same with the server
// stopped in the middle, which must show the connection error and lose
// nothing.
#include "ActionsFixture.h"

#include "AppServerProcess.h"
#include "WaitFor.h"
#include "codbarium/IumReadingForm.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QSqlQuery>

namespace {

// The invoice the flow works on and the scans its missing labels need.
struct TTarget {
    QString invoice;
    QStringList scans;  // as the scanner types them, symbology identifier first
    QString product;    // the product of the first scan
};

class ActionsFlow : public ActionsTest {
protected:
    void SetUp() override
    {
        ActionsTest::SetUp();
        appServer = std::make_unique<TAppServerProcess>();
        Varneth::SetWebPort(appServer->Port());
        UseDatabase(appServer->DatabasePath());
    }
    void TearDown() override
    {
        ScreenTest::TearDown();
        appServer.reset();
    }

    // The demo work list of the last weeks, as the user loads it.
    void OpenDemoWorkList()
    {
        orderFrom = outFrom = QDate::currentDate().addDays(-60);
        orderTo = outTo = QDate::currentDate().addDays(30);
        OpenLoaded();
        ASSERT_GT(f->cdsNotaFiscal->RecordCount(), 2);
    }

    // The incomplete invoice with the fewest missing labels, other than the
    // first of the list (so that coming back to it is a repositioning), and
    // its scans, with serials of our own.
    TTarget PickIncompleteInvoice()
    {
        const TDataPacket items = f->cdsItemProduto->Data();
        auto cell = [&](int row, const char* field) { return items.String(row, items.IndexOf(field)); };
        auto number = [&](int row, const char* field) { return items.Number(row, items.IndexOf(field)); };
        const QStringList invoices = Column(f->cdsNotaFiscal, "NRLANCTONF");
        TTarget best;
        int fewest = std::numeric_limits<int>::max();
        for (const QString& invoice : invoices.mid(1)) {
            int missing = 0;
            bool blockedOtherwise = false;
            for (int r = 0; r < items.RowCount(); ++r) {
                if (cell(r, "NRLANCTONF") != invoice)
                    continue;
                blockedOtherwise = blockedOtherwise || (number(r, "QTITEMPROD") == 0 && number(r, "QTRESPRODPED") == 0);
                if (cell(r, "IDSTATUSSEPSNCM") == "N")
                    missing += int(number(r, "QTITEMPROD") - number(r, "QTRESPRODPED"));
            }
            if (missing > 0 && !blockedOtherwise && missing < fewest) {
                fewest = missing;
                best.invoice = invoice;
            }
        }
        return best;
    }

    // Queues the reading screen: `script` runs on it, then Escape closes it
    // and the main window is active again, as the window manager makes it.
    void ExpectReadingScreen(std::function<void(TfrmLeituraIUM&)> script)
    {
        dialogs.ExpectReading([this, script](const TReadingRequest& request) {
            auto* form = dynamic_cast<TfrmLeituraIUM*>(request.Context);
            if (!form) {
                ADD_FAILURE() << "no reading screen";
                return QVariant();
            }
            Activate(form->HostWindow());
            script(*form);
            QTest::keyClick(form->edtCodigoIUM->Widget(), Qt::Key_Escape);
            Activate(host->Widget());
            return QVariant();
        });
    }

    // The scans of every label still missing on the reading screen's items.
    static TTarget MissingScans(TfrmLeituraIUM& form, const QString& invoice)
    {
        TTarget t{invoice, {}, {}};
        const TDataPacket items = form.cdsItens->Packet();
        for (int r = 0; r < items.RowCount(); ++r) {
            if (items.String(r, items.IndexOf("IDCONTROLAIUM")) != "S")
                continue;
            const QString gtin14 = items.String(r, items.IndexOf("CDGTIN")).rightJustified(14, u'0');
            const int missing = int(items.Number(r, items.IndexOf("QTITEMPROD")) -
                                    items.Number(r, items.IndexOf("QTRESPRODPED")));
            for (int i = 0; i < missing; ++i) {
                if (t.scans.isEmpty())
                    t.product = items.String(r, items.IndexOf("CDPRODUTO"));
                t.scans << QStringLiteral("]d201") + gtin14 + QStringLiteral("21E2E") +
                               QString::number(t.scans.size()).rightJustified(4, u'0');
            }
        }
        return t;
    }

    static void Type(TfrmLeituraIUM& form, const QString& scan)
    {
        QTest::keyClicks(form.edtCodigoIUM->Widget(), scan);
        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Return);
        EXPECT_TRUE(form.lblStatus->Caption().startsWith("IUM aceito: ")) << form.lblStatus->Caption().toStdString();
    }

    // Reads every missing label of `invoice` through the reading screen,
    // opened by a double-click on the invoice.
    TTarget ReadMissingLabels(const QString& invoice)
    {
        TTarget t;
        ExpectReadingScreen([&](TfrmLeituraIUM& form) {
            t = MissingScans(form, invoice);
            for (const QString& scan : std::as_const(t.scans))
                Type(form, scan);
        });
        DoubleClickInvoice(invoice);
        return t;
    }

    // The stored code of a scan: the element string without the symbology identifier.
    static QString Stored(const QString& scan) { return scan.mid(3); }

    // Puts the cursor on the reading `code` in the IUM grid, as clicks on the
    // item and then on the reading do.
    void SelectReading(const QString& product, const QString& code)
    {
        ASSERT_TRUE(f->cdsItemProduto->Locate("CDPRODUTO", product, {}));
        f->dbgIUMProd->SetFocus();
        Application->ProcessMessages();
        ASSERT_TRUE(f->cdsIUMProd->Locate("CDIUMPROD", code, {}));
    }

    void Press(TButtonFlat* button)
    {
        ASSERT_TRUE(button->Enabled()) << button->Name().toStdString();
        QTest::mouseClick(button->Widget(), Qt::LeftButton);
        Application->ProcessMessages();
    }

    // One number from the server's database, read on a connection of our own.
    qint64 Count(const QString& sql, const QVariantList& values)
    {
        qint64 n = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "e2e-check");
            db.setDatabaseName(appServer->DatabasePath());
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            q.prepare(sql);
            for (const QVariant& v : values)
                q.addBindValue(v);
            if (q.exec() && q.next())
                n = q.value(0).toLongLong();
        }
        QSqlDatabase::removeDatabase("e2e-check");
        return n;
    }
    qint64 StoredReadings(const QStringList& codes)
    {
        qint64 n = 0;
        for (const QString& code : codes)
            n += Count("SELECT COUNT(*) FROM LEITURAIUM WHERE CDFILIAL = '0001' AND CDIUMPROD = ?", {code});
        return n;
    }
    bool Confirmed(const QString& invoice)
    {
        return Count("SELECT COUNT(*) FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ? AND IDCONFRASTR = 'S'",
                     {invoice}) == 1;
    }
    qint64 Audited(const QString& event, const QString& invoice)
    {
        return Count("SELECT COUNT(*) FROM AUDITORIA WHERE IDEVENTO = ? AND CDFILIAL = '0001' AND NRLANCTONF = ?",
                     {event, invoice});
    }

    std::unique_ptr<TAppServerProcess> appServer;
};

TEST_F(ActionsFlow, ReadDeleteReadAgainAndConfirmAsAUserDoes)
{
    OpenDemoWorkList();
    const QString invoice = PickIncompleteInvoice().invoice;
    ASSERT_FALSE(invoice.isEmpty()) << "the demo data has no incomplete invoice";
    Select(invoice);
    ASSERT_FALSE(f->sbtConfirma->Enabled());

    // Read the missing labels: back on the same invoice, ready to confirm.
    const TTarget t = ReadMissingLabels(invoice);
    ASSERT_FALSE(t.scans.isEmpty());
    QStringList codes;
    for (const QString& scan : t.scans)
        codes << Stored(scan);
    EXPECT_EQ(StoredReadings(codes), codes.size());
    EXPECT_EQ(CurrentInvoice(), invoice);
    EXPECT_TRUE(f->sbtConfirma->Enabled());

    // Delete one: gone from the database, the invoice incomplete again.
    SelectReading(t.product, codes.first());
    dialogs.ExpectMessage(mrYes);
    Press(f->sbtExcluir);
    EXPECT_EQ(StoredReadings({codes.first()}), 0);
    EXPECT_EQ(Audited("E", invoice), 1);
    EXPECT_EQ(CurrentInvoice(), invoice);
    EXPECT_FALSE(f->sbtConfirma->Enabled());

    // Read it again.
    ExpectReadingScreen([&](TfrmLeituraIUM& form) { Type(form, t.scans.first()); });
    DoubleClickInvoice(invoice);
    EXPECT_EQ(StoredReadings(codes), codes.size());
    EXPECT_EQ(CurrentInvoice(), invoice);
    ASSERT_TRUE(f->sbtConfirma->Enabled());

    // Confirm: recorded and audited, and the invoice leaves the list.
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectMessage(mrOk);
    Press(f->sbtConfirma);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Message).last(), "Conferência de rastreio efetivada com sucesso!");
    EXPECT_TRUE(Confirmed(invoice));
    EXPECT_EQ(Audited("C", invoice), 1);
    EXPECT_EQ(Audited("L", invoice), codes.size() + 1);
    EXPECT_FALSE(Column(f->cdsNotaFiscal, "NRLANCTONF").contains(invoice));
    EXPECT_TRUE(f->cdsNotaFiscal->RecordCount() > 0);
}

TEST_F(ActionsFlow, ServerStoppedInTheMiddleShowsTheConnectionErrorAndLosesNothing)
{
    OpenDemoWorkList();
    const QString invoice = PickIncompleteInvoice().invoice;
    ASSERT_FALSE(invoice.isEmpty());
    const TTarget t = ReadMissingLabels(invoice);
    ASSERT_FALSE(t.scans.isEmpty());
    ASSERT_TRUE(f->sbtConfirma->Enabled());
    const QStringList invoices = Column(f->cdsNotaFiscal, "NRLANCTONF");
    const quint16 port = appServer->Port();
    const QString unreachable = QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1.").arg(port);
    appServer->Stop();

    // The deletion fails: the reading stays, on the screen and on the server.
    SelectReading(t.product, Stored(t.scans.first()));
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectError();
    Press(f->sbtExcluir);
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD").count(Stored(t.scans.first())), 1);
    EXPECT_EQ(f->cdsIUMProd->ChangeCount(), 0);

    // The confirmation fails: nothing recorded, the list as it was.
    Select(invoice);
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectError();
    Press(f->sbtConfirma);
    EXPECT_EQ(Column(f->cdsNotaFiscal, "NRLANCTONF"), invoices);
    EXPECT_EQ(CurrentInvoice(), invoice);
    EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());

    const QStringList errors = dialogs.Texts(TDialogKind::Error);
    ASSERT_EQ(errors.size(), 2);
    for (const QString& error : errors)
        EXPECT_TRUE(error.startsWith("Não foi possível conectar") || error.startsWith("A conexão com o servidor"))
            << error.toStdString();
    EXPECT_EQ(errors.last(), unreachable);

    // Back up: the refresh shows every reading stored, and the invoice is
    // still to be confirmed.
    appServer->Start(port);
    Press(f->sbtVerificar);
    EXPECT_EQ(CurrentInvoice(), invoice);
    EXPECT_TRUE(f->sbtConfirma->Enabled());
    QStringList codes;
    for (const QString& scan : t.scans)
        codes << Stored(scan);
    EXPECT_EQ(StoredReadings(codes), codes.size());
    EXPECT_FALSE(Confirmed(invoice));
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectMessage(mrOk);
    Press(f->sbtConfirma);
    EXPECT_TRUE(Confirmed(invoice));
}

// Labels read while the server is out of reach wait on the station: the
// confirmation stays off until the server has them, which the next opening
// of the reading sends.
TEST_F(ActionsFlow, ScansWaitingForTheServerDoNotEnableTheConfirmation)
{
    OpenDemoWorkList();
    const QString invoice = PickIncompleteInvoice().invoice;
    ASSERT_FALSE(invoice.isEmpty());
    const quint16 port = appServer->Port();
    TTarget t;
    ExpectReadingScreen([&](TfrmLeituraIUM& form) {
        t = MissingScans(form, invoice);
        appServer->Stop();
        for (const QString& scan : std::as_const(t.scans)) {
            QTest::keyClicks(form.edtCodigoIUM->Widget(), scan);
            QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Return);
        }
        EXPECT_EQ(form.Pending(), t.scans.size());
    });
    dialogs.ExpectMessage(mrOk);  // the warning on closing
    dialogs.ExpectError();        // the work list cannot be read again
    DoubleClickInvoice(invoice);
    ASSERT_FALSE(t.scans.isEmpty());

    appServer->Start(port);
    Press(f->sbtVerificar);
    EXPECT_EQ(CurrentInvoice(), invoice);
    EXPECT_FALSE(f->sbtConfirma->Enabled()) << "waiting scans count for nothing";
    QStringList codes;
    for (const QString& scan : std::as_const(t.scans))
        codes << Stored(scan);
    EXPECT_EQ(StoredReadings(codes), 0);

    ExpectReadingScreen([&](TfrmLeituraIUM& form) {
        EXPECT_TRUE(WaitFor([&] { return form.Pending() == 0; }, 10000));
    });
    DoubleClickInvoice(invoice);
    EXPECT_EQ(StoredReadings(codes), codes.size());
    EXPECT_TRUE(f->sbtConfirma->Enabled());
}

} // namespace
