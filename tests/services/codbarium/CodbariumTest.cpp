// The IUM reading screen against the real application server (demo data):
// scans typed into the scan field as a keyboard-wedge scanner types them,
// the results the screen shows, and what the server stored, read back over
// the connection afterwards.
#include "AccessibleTree.h"
#include "AppServerProcess.h"
#include "UiTest.h"
#include "WaitFor.h"
#include "codbarium/Codbarium.h"
#include "codbarium/IumReadingForm.h"
#include "codbarium/ReadingSounds.h"
#include "codbarium/ScanQueue.h"
#include "codbarium/ScannerCheckForm.h"
#include "data/DataPacket.h"
#include "framework/Varneth.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "netconn/NoticeChannel.h"
#include "rtl/Exceptions.h"
#include "rtl/MaskUtils.h"
#include "server/Gs1.h"
#include "server/RemoteNames.h"
#include "ui/Dialogs.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QDeadlineTimer>
#include <QTimer>
#include <memory>
#include <qpa/qwindowsysteminterface.h>

namespace {

const QString Branch = QStringLiteral("0001");
constexpr QChar GS(29);

// An item of an invoice with readings still missing.
struct TTarget {
    QString invoice, product, gtin14;
    double read = 0;
};

QVariant Payload(const QVariant& result)
{
    return Consiste::CheckResultServ(result, true, 0);
}

TDataPacket Packet(const QVariant& payload)
{
    return payload.value<TDataPacket>();
}

QString Cell(const TDataPacket& p, int row, const char* field)
{
    return p.String(row, p.IndexOf(QString::fromLatin1(field)));
}

// The sound player of the tests: records what the screen asked to play.
class TSoundLog : public TReadingSounds {
public:
    void Play(TReadingSound sound) override { played << sound; }
    QList<TReadingSound> played;
};

class Codbarium : public UiTest {
protected:
    static void SetUpTestSuite()
    {
        server = new TAppServerProcess();
        auto net = Connect();
        // Every incomplete item of an IUM-controlled product with three or more
        // readings missing, one per invoice, so that tests do not share items.
        QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
        const QVariantList packets =
            Payload(net->AppServer().Call(Remote::GetDados, {Branch, ByRef(expedition), ByRef(order), TDateTime(),
                                                             TDateTime(), TDateTime(), TDateTime()}))
                .toList();
        const TDataPacket items = Packet(packets.value(1));
        QStringList invoices;
        for (int r = 0; r < items.RowCount(); ++r) {
            const QString invoice = Cell(items, r, "NRLANCTONF");
            if (invoices.contains(invoice) || Cell(items, r, "IDSTATUSSEPSNCM") != QLatin1String("N"))
                continue;
            const double toShip = items.Number(r, items.IndexOf("QTITEMPROD"));
            const double read = items.Number(r, items.IndexOf("QTRESPRODPED"));
            if (toShip - read < 3)
                continue;
            invoices << invoice;
            targets.append({invoice, Cell(items, r, "CDPRODUTO"), QString(), read});
        }
        for (TTarget& t : targets) {
            const TDataPacket list = Packet(Payload(net->AppServer().Call(Remote::GetItensIUM, {Branch, t.invoice})));
            for (int r = 0; r < list.RowCount(); ++r)
                if (Cell(list, r, "CDPRODUTO") == t.product)
                    t.gtin14 = Cell(list, r, "CDGTIN").rightJustified(14, u'0');
        }
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
        targets.clear();
    }

    static std::unique_ptr<TNetConnection> Connect()
    {
        auto net = std::make_unique<TNetConnection>();
        net->SetServerName(Remote::ConfRastr);
        net->SetServerGUID(Remote::ConfRastrId);
        net->SetHost(server->Host());
        net->SetPort(server->Port());
        net->SetTimeout(60);
        return net;
    }

    void SetUp() override
    {
        // Each test's own queue of waiting scans, in its own data folder.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
        saved = Varneth::Settings();
        previousSounds = InstallReadingSounds(&sounds);
        net = Connect();
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", savedDataHome);
        InstallReadingSounds(previousSounds);
        Varneth::SetSettings(saved);
    }

    // The target reserved for test number `index` of this file.
    static TTarget Target(int index)
    {
        if (index >= targets.size() || targets[index].gtin14.isEmpty())
            throw std::runtime_error("the demo data has too few incomplete items: " + std::to_string(targets.size()));
        return targets[index];
    }

    // A scan as the scanner types it: symbology identifier, (01) GTIN, (21)
    // serial, and optionally (17) expiry and (10) lot after a separator.
    static QString Scan(const QString& gtin14, const QString& serial, const QString& separator = QString(),
                        const QDate& expiry = QDate(), const QString& lot = QString())
    {
        QString scan = QStringLiteral("]d201") + gtin14 + QStringLiteral("21") + serial;
        if (expiry.isValid())
            scan += separator + QStringLiteral("17") + expiry.toString(QStringLiteral("yyMMdd")) + QStringLiteral("10") + lot;
        return scan;
    }

    // Readings of the target's product, or with `wholeInvoice` of all the
    // invoice's items, as the server counts them.
    double ReadCount(const TTarget& t, bool wholeInvoice = false)
    {
        const TDataPacket list = Packet(Payload(net->AppServer().Call(Remote::GetItensIUM, {Branch, t.invoice})));
        double count = 0;
        for (int r = 0; r < list.RowCount(); ++r)
            if (wholeInvoice || Cell(list, r, "CDPRODUTO") == t.product)
                count += list.Number(r, list.IndexOf("QTRESPRODPED"));
        return count;
    }

    // Queues a reading answer that activates the screen and runs `script` on it.
    void ExpectScreen(std::function<void(TfrmLeituraIUM&)> script)
    {
        dialogs.ExpectReading([script](const TReadingRequest& request) {
            auto* form = dynamic_cast<TfrmLeituraIUM*>(request.Context);
            if (!form) {
                ADD_FAILURE() << "the reading request carries no reading screen";
                return QVariant();
            }
            EXPECT_EQ(request.Arguments.value("CDFILIAL"), QVariant(Branch));
            EXPECT_TRUE(form->Showing());
            Activate(form->HostWindow());
            script(*form);
            return QVariant();
        });
    }

    // Types `scan` into the scan field, key by key, and Enter; the field must
    // hold the focus before and after, and be empty after (or hold `kept`).
    static void Type(TfrmLeituraIUM& form, const QString& scan, const QString& kept = QString())
    {
        QWidget* field = form.edtCodigoIUM->Widget();
        ASSERT_TRUE(form.edtCodigoIUM->Focused());
        QTest::keyClicks(field, scan);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(form.edtCodigoIUM->Focused());
        EXPECT_EQ(form.edtCodigoIUM->Text(), kept);
    }

    // Types `scan` and Enter, whose call fails for want of a connection: the
    // scan waits for the server, in its own colour, and the field is empty.
    static void TypePending(TfrmLeituraIUM& form, const QString& scan)
    {
        const int before = form.Pending();
        Type(form, scan);
        EXPECT_EQ(form.Pending(), before + 1);
        EXPECT_TRUE(form.lblStatus->Caption().startsWith(QStringLiteral("IUM aguardando o servidor: ")))
            << form.lblStatus->Caption().toStdString();
        EXPECT_EQ(form.lstLeituras->TextColor(0), TfrmLeituraIUM::PendingColor);
    }

public:
    static QString DatabasePath() { return server->DatabasePath(); }
    static const TAppServerProcess& Server() { return *server; }

protected:
    static inline TAppServerProcess* server = nullptr;
    static inline QList<TTarget> targets;
    std::unique_ptr<TNetConnection> net;
    QTemporaryDir dataHome;
    QByteArray savedDataHome;
    Varneth::THostSettings saved;
    TSoundLog sounds;
    TReadingSounds* previousSounds = nullptr;
};

TEST_F(Codbarium, AcceptedScanIsShownCountedAndStoredOnTheServer)
{
    const TTarget t = Target(0);
    const QString scan = Scan(t.gtin14, QStringLiteral("CB0A1"));
    ExpectScreen([&](TfrmLeituraIUM& form) {
        ASSERT_TRUE(form.cdsItens->Locate("CDPRODUTO", t.product, {}));
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read);
        form.cdsItens->First();

        // Enter on an empty field sends nothing and shows nothing.
        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Return);
        EXPECT_EQ(form.lstLeituras->Count(), 0);

        Type(form, scan);
        EXPECT_EQ(form.lblStatus->Font().Color(), form.lstLeituras->TextColor(0));
        EXPECT_NE(form.lblStatus->Font().Color(), clRed);
        const QString status = form.lblStatus->Caption();
        EXPECT_TRUE(status.startsWith("IUM aceito: ")) << status.toStdString();
        EXPECT_TRUE(status.contains(QStringLiteral("(%1 de ").arg(t.read + 1))) << status.toStdString();
        EXPECT_TRUE(status.contains("GTIN " + t.gtin14 + ", série CB0A1")) << status.toStdString();
        ASSERT_EQ(form.lstLeituras->Count(), 1);
        EXPECT_TRUE(form.lstLeituras->Text(0).endsWith(status));
        // The item list was read again and stands on the product read.
        EXPECT_EQ(form.cdsItensCDPRODUTO->AsString(), t.product);
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read + 1);
        EXPECT_TRUE(status.contains(form.cdsItensNMPRODUTO->AsString())) << status.toStdString();

        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Escape);
        EXPECT_FALSE(form.Showing());
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
    EXPECT_EQ(ReadCount(t), t.read + 1);
}

TEST_F(Codbarium, RefusalsShowTheServersMessageInRedAndStoreNothing)
{
    const TTarget t = Target(1);
    const QString accepted = Scan(t.gtin14, QStringLiteral("CB1A1"));
    const QString body = QStringLiteral("0789000000001");
    const QString foreign = body + GtinCheckDigit(body);
    ASSERT_NE(foreign, t.gtin14);
    struct TRefusal {
        const char* what;
        QString scan;
        QString expected;  // part of the server's message
    };
    const QList<TRefusal> refusals = {
        {"an IUM already read", accepted, QStringLiteral("já foi lido")},
        {"a GTIN of no product of the invoice", Scan(foreign, QStringLiteral("CB1X1")),
         QStringLiteral("não é de nenhum produto")},
        {"a wrong GTIN check digit", QStringLiteral("]d20107891234567890") + QStringLiteral("21CB1X2"),
         QStringLiteral("Código IUM inválido")},
        {"no serial", QStringLiteral("01") + t.gtin14, QStringLiteral("Código IUM inválido")},
    };
    const double invoiceRead = ReadCount(t, true);
    QStringList shown;
    ExpectScreen([&](TfrmLeituraIUM& form) {
        Type(form, accepted);
        for (const TRefusal& r : refusals) {
            Type(form, r.scan);
            shown << form.lblStatus->Caption();
            EXPECT_TRUE(shown.last().contains(r.expected)) << r.what << ": " << shown.last().toStdString();
            EXPECT_EQ(form.lblStatus->Font().Color(), clRed) << r.what;
            EXPECT_EQ(form.lstLeituras->TextColor(0), clRed) << r.what;
            EXPECT_TRUE(form.lstLeituras->Text(0).endsWith(shown.last())) << r.what;
        }
        EXPECT_EQ(form.lstLeituras->Count(), refusals.size() + 1);
        EXPECT_NE(form.lstLeituras->TextColor(refusals.size()), clRed);
        form.sbtFechar->Click();
        EXPECT_FALSE(form.Showing());
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
    EXPECT_EQ(ReadCount(t, true), invoiceRead + 1);
    // What the screen showed is the server's own refusal of each scan.
    ASSERT_EQ(shown.size(), refusals.size());
    for (int i = 0; i < refusals.size(); ++i) {
        try {
            Payload(net->AppServer().Call(Remote::SetLeituraIUM, {Branch, t.invoice, refusals[i].scan}));
            ADD_FAILURE() << refusals[i].what << " was accepted";
        } catch (const EServerError& e) {
            EXPECT_EQ(shown[i], QStringLiteral("IUM recusado: ") + e.Message()) << refusals[i].what;
        }
    }
}

TEST_F(Codbarium, ScanDuringALostConnectionWaitsInTheQueueAndIsSentWhenTheServerAnswers)
{
    const TTarget t = Target(4);
    const QString scan = Scan(t.gtin14, QStringLiteral("CB4A1"));
    ExpectScreen([&](TfrmLeituraIUM& form) {
        form.SetRetryDelays(20, 100);
        net->Close();
        net->SetPort(1);  // nothing listens there: the next call cannot connect
        TypePending(form, scan);
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("1 leitura aguardando o servidor"));
        EXPECT_EQ(sounds.played.value(0), TReadingSound::Pending);
        // On disk before it showed, with the identifier it will be sent as.
        TScanQueue queue;
        queue.Open();
        const QList<TQueuedScan> rows = queue.Pending(Branch, t.invoice);
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0].Code, scan);
        EXPECT_FALSE(rows[0].RequestId.isEmpty());
        // Qt. Lida counts what the server accepted, and it accepted nothing yet.
        ASSERT_TRUE(form.cdsItens->Locate("CDPRODUTO", t.product, {}));
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read);

        net->SetPort(server->Port());
        ASSERT_TRUE(WaitFor([&] { return form.Pending() == 0; }, 5000));
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("1 leitura enviada: 1 aceita, 0 recusadas"));
        ASSERT_EQ(form.lstLeituras->Count(), 2) << "the waiting line became its outcome, under the summary";
        EXPECT_TRUE(form.lstLeituras->Text(1).contains(QStringLiteral("IUM aceito: "))) << form.lstLeituras->Text(1).toStdString();
        EXPECT_EQ(form.lstLeituras->TextColor(1), TfrmLeituraIUM::AcceptedColor);
        EXPECT_TRUE(queue.Pending(Branch, t.invoice).isEmpty());
        ASSERT_TRUE(form.cdsItens->Locate("CDPRODUTO", t.product, {}));
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read + 1);
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
    EXPECT_EQ(ReadCount(t), t.read + 1);
}

// The server stores the scan and dies before its reply; the connection's
// own second try finds no server, and the scan waits in the queue as the
// same request. Once the server is back it is sent again: accepted, once,
// not refused as read.
TEST_F(Codbarium, AScanWhoseReplyWasLostIsAcceptedOnceWhenSentFromTheQueue)
{
    const TTarget t = Target(6);
    const QString scan = Scan(t.gtin14, QStringLiteral("CB8P1"));
    TAppServerProcess::TOptions dying;
    dying.Database = server->DatabasePath();
    dying.Environment = {QStringLiteral("EXP13000_TEST_KILL_AFTER_COMMIT=1")};
    TAppServerProcess own(dying);
    net->SetPort(own.Port());
    ExpectScreen([&](TfrmLeituraIUM& form) {
        form.SetRetryDelays(20, 100);
        TypePending(form, scan);
        own.Kill();  // reaped: it killed itself once the reading was stored
        own.Start(net->Port());
        ASSERT_TRUE(WaitFor([&] { return form.Pending() == 0; }, 5000));
        EXPECT_TRUE(form.lstLeituras->Text(1).contains(QStringLiteral("IUM aceito: "))) << form.lstLeituras->Text(1).toStdString();
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("1 leitura enviada: 1 aceita, 0 recusadas"));
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
    EXPECT_EQ(ReadCount(t), t.read + 1) << "stored once";
}

TEST_F(Codbarium, GroupSeparatorReachesTheServerAsCharacter29)
{
    const TTarget t = Target(2);
    const QDate expiry = QDate::currentDate().addYears(3);
    struct TSeparatorCase {
        const char* what;
        QChar replacement;  // the host's setting
        std::function<void(QWidget*)> typeSeparator;
    };
    const QList<TSeparatorCase> cases = {
        {"character 29", GS, [](QWidget* w) { QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(GS), {}); }},
        {"Ctrl+] without text", GS, [](QWidget* w) { QTest::keyClick(w, Qt::Key_BracketRight, Qt::ControlModifier); }},
        {"the host's replacement ~", QChar(u'~'), [](QWidget* w) { QTest::keyClicks(w, QStringLiteral("~")); }},
    };
    QStringList codes;
    for (int i = 0; i < cases.size(); ++i) {
        const TSeparatorCase& c = cases[i];
        const QString serial = QStringLiteral("CB2S%1").arg(i);
        const QString lot = QStringLiteral("LT%1").arg(i);
        codes << Scan(t.gtin14, serial, QString(GS), expiry, lot).mid(3);
        Varneth::SetGroupSeparatorReplacement(c.replacement);
        ExpectScreen([&](TfrmLeituraIUM& form) {
            QWidget* field = form.edtCodigoIUM->Widget();
            QTest::keyClicks(field, Scan(t.gtin14, serial));
            c.typeSeparator(field);
            QTest::keyClicks(field, QStringLiteral("17") + expiry.toString(QStringLiteral("yyMMdd")) + QStringLiteral("10") + lot);
            QTest::keyClick(field, Qt::Key_Return);
            const QString status = form.lblStatus->Caption();
            EXPECT_TRUE(status.contains(QStringLiteral("série %1, validade %2, lote %3")
                                            .arg(serial, expiry.toString(QStringLiteral("dd/MM/yyyy")), lot)))
                << c.what << ": " << status.toStdString();
            QTest::keyClick(field, Qt::Key_Escape);
        });
        EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1)) << c.what;
    }

    // Stored with the separator, the lot and the expiry in their own columns.
    QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
    const TDataPacket readings = Packet(
        Payload(net->AppServer().Call(Remote::GetDados, {Branch, ByRef(expedition), ByRef(order), TDateTime(),
                                                         TDateTime(), TDateTime(), TDateTime()}))
            .toList()
            .value(2));
    for (int i = 0; i < cases.size(); ++i) {
        int found = -1;
        for (int r = 0; r < readings.RowCount(); ++r)
            if (Cell(readings, r, "CDIUMPROD") == codes[i])
                found = r;
        ASSERT_GE(found, 0) << cases[i].what;
        EXPECT_EQ(Cell(readings, found, "NRLOTEESTQ"), QStringLiteral("LT%1").arg(i)) << cases[i].what;
        EXPECT_EQ(ToQDate(TDateTime(readings.Number(found, readings.IndexOf("DTVALILOTE")))), expiry) << cases[i].what;
    }
}

TEST_F(Codbarium, RaisesBeforeShowingAnythingWithoutInvoiceItemsOrConnection)
{
    struct TCase {
        const char* what;
        QString invoice;
        TNetConnection* connection;
        QString message;  // part of the error
    };
    const QList<TCase> cases = {
        {"empty invoice number", QString(), net.get(), QStringLiteral("Nenhuma nota selecionada para a leitura de IUM.")},
        {"blank invoice number", QStringLiteral("   "), net.get(), QStringLiteral("Nenhuma nota selecionada para a leitura de IUM.")},
        {"unknown invoice", QStringLiteral("9999999999"), net.get(), QStringLiteral("não existe")},
        {"no connection", Target(0).invoice, nullptr, QStringLiteral("não tem conexão")},
    };
    for (const TCase& c : cases) {
        try {
            ::Codbarium::CriaLeituraIUM(Branch, c.invoice, c.connection);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().contains(c.message)) << c.what << ": " << e.Message().toStdString();
        }
    }
    EXPECT_TRUE(dialogs.Log().isEmpty());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
}

// The program's own dialog service: the screen runs modally until closed.
TEST_F(Codbarium, InteractiveServiceRunsTheScreenUntilItIsClosed)
{
    const TTarget t = Target(3);
    struct TInteractiveScope {
        TDialogs* previous = InstallDialogs(nullptr);
        ~TInteractiveScope() { InstallDialogs(previous); }
    } interactive;
    // Drives the screen from inside its modal run, once it is showing.
    std::function<void()> drive = [&] {
        TfrmLeituraIUM* form = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* f = dynamic_cast<TfrmLeituraIUM*>(ControlOf(window)); f && f->Showing())
                form = f;
        if (!form) {
            QTimer::singleShot(10, drive);
            return;
        }
        Activate(form->HostWindow());
        Type(*form, Scan(t.gtin14, QStringLiteral("CB3A1")));
        QTest::keyClick(form->edtCodigoIUM->Widget(), Qt::Key_Escape);
    };
    QTimer::singleShot(0, drive);
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
    EXPECT_EQ(ReadCount(t), t.read + 1);
}

TEST_F(Codbarium, EachOutcomeHasItsSoundUnlessTheSettingTurnsThemOff)
{
    const TTarget t = Target(0);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        Type(form, Scan(t.gtin14, QStringLiteral("CB0S1")));
        Type(form, Scan(t.gtin14, QStringLiteral("CB0S1")));  // read already
        EXPECT_EQ(sounds.played, QList<TReadingSound>({TReadingSound::Accepted, TReadingSound::Refused}));
        Varneth::SetScannerSounds(false);
        Type(form, Scan(t.gtin14, QStringLiteral("CB0S1")));
        Type(form, Scan(t.gtin14, QStringLiteral("CB0S2")));
        EXPECT_EQ(sounds.played.size(), 2) << "no sound with the setting off";
        EXPECT_TRUE(form.lblStatus->Caption().startsWith("IUM aceito: "));
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(2));
}

// A refusal that names a product names it as the grid shows it, and its row
// is the current one, drawn in the refusal's colours.
TEST_F(Codbarium, ARefusalNamesTheProductByItsMaskedCodeAndMarksItsRow)
{
    // An item of a product without IUM control, on some invoice of the branch.
    QString invoice, product, bare, gtin;
    for (const TTarget& candidate : targets) {
        const TDataPacket list = Packet(Payload(net->AppServer().Call(Remote::GetItensIUM, {Branch, candidate.invoice})));
        for (int r = 0; r < list.RowCount() && invoice.isEmpty(); ++r)
            if (Cell(list, r, "IDCONTROLAIUM") != QLatin1String("S") && !Cell(list, r, "CDGTIN").isEmpty()) {
                invoice = candidate.invoice;
                product = Cell(list, r, "CDPRODUTO");
                bare = Cell(list, r, "CDARVPROD").trimmed();
                gtin = Cell(list, r, "CDGTIN").rightJustified(14, u'0');
            }
    }
    if (invoice.isEmpty())
        GTEST_SKIP() << "the demo data has no item without IUM control on these invoices";
    const QString masked = FormatMaskText(Varneth::DBPict(0), bare).trimmed();
    ASSERT_NE(masked, bare);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        form.cdsItens->First();
        Type(form, Scan(gtin, QStringLiteral("CBMASK1")));
        const QString status = form.lblStatus->Caption();
        EXPECT_TRUE(status.contains(QStringLiteral("O produto %1 ").arg(masked))) << status.toStdString();
        EXPECT_FALSE(status.contains(bare)) << status.toStdString();
        EXPECT_EQ(form.cdsItensCDPRODUTO->AsString(), product);
        QTableView* view = form.dbgItens->View();
        const QRect cell = view->visualRect(view->model()->index(form.cdsItens->RecNo() - 1, 1));
        const QImage shot = view->viewport()->grab().toImage();
        EXPECT_EQ(shot.pixelColor(cell.right() - 2, cell.top() + 2), QColor(255, 220, 220));
        form.Close();
    });
    ::Codbarium::CriaLeituraIUM(Branch, invoice, net.get());
}

TEST_F(Codbarium, AScanWithAnUnknownSeparatorSaysWhichSettingToChange)
{
    const TTarget t = Target(1);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        Type(form, Scan(t.gtin14, QStringLiteral("CB1T1"), QStringLiteral("~"), QDate::currentDate().addYears(2),
                        QStringLiteral("L1")));
        const QString status = form.lblStatus->Caption();
        EXPECT_TRUE(status.startsWith("IUM recusado: ")) << status.toStdString();
        EXPECT_TRUE(status.endsWith(" Se o leitor envia '~' como separador de grupo, informe-o em group_separator, "
                                    "na seção [scanner] da configuração do host."))
            << status.toStdString();
        // A refusal without a stray character carries no such hint.
        Type(form, QStringLiteral("]d20107891234567890") + QStringLiteral("21CB1T2"));
        EXPECT_FALSE(form.lblStatus->Caption().contains("separador")) << form.lblStatus->Caption().toStdString();
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(0));
}

TEST_F(Codbarium, TheSeparatorShowsAsItsMarkAndTheScannerCheckOpensFromTheWindow)
{
    const TTarget t = Target(0);
    const QString scan = Scan(t.gtin14, QStringLiteral("CB9M")) + GS + QStringLiteral("11251340");
    ExpectScreen([&](TfrmLeituraIUM& form) {
        QWidget* field = form.edtCodigoIUM->Widget();
        QTest::keyClicks(field, scan.section(GS, 0, 0));
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(GS), {});
        QTest::keyClicks(field, scan.section(GS, 1));
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(form.lblStatus->Caption().contains(QStringLiteral("identificador (11) com data inválida: 251340")))
            << form.lblStatus->Caption().toStdString();
        const QString hint = form.lstLeituras->Hint(0);
        EXPECT_TRUE(hint.endsWith(QStringLiteral("Código lido: ") + Gs1ForDisplay(scan))) << hint.toStdString();
        EXPECT_TRUE(hint.contains(QChar(GroupSeparatorMark)));
        EXPECT_FALSE(hint.contains(GS) || form.lstLeituras->Text(0).contains(GS));

        dialogs.ExpectReading([](const TReadingRequest& request) {
            EXPECT_EQ(request.Arguments.value(QStringLiteral("TESTELEITOR")), QVariant(true));
            auto* check = dynamic_cast<TfrmTestaLeitor*>(request.Context);
            if (check)
                check->sbtFechar->Click();
            else
                ADD_FAILURE() << "the reading request carries no scanner check";
            return QVariant();
        });
        form.sbtTestarLeitor->Click();
        EXPECT_TRUE(form.Showing());
        EXPECT_TRUE(form.edtCodigoIUM->Focused());
        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Escape);
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(0));
}

TEST_F(Codbarium, EscClearsAPartlyTypedScanFirstAndClosesOnTheSecond)
{
    const TTarget t = Target(2);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        QTest::keyClicks(form.edtCodigoIUM->Widget(), QStringLiteral("]d201") + t.gtin14.left(5));
        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Escape);
        EXPECT_EQ(form.edtCodigoIUM->Text(), QString());
        EXPECT_TRUE(form.Showing());
        EXPECT_EQ(form.lstLeituras->Count(), 0) << "nothing was sent";
        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Escape);
        EXPECT_FALSE(form.Showing());
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(0));
}

// The undo asks first, removes the last reading this screen stored through
// the server's deletion, and a confirmed invoice refuses it.
TEST_F(Codbarium, UndoRemovesTheLastStoredReadingAfterAskingAndAConfirmedInvoiceRefuses)
{
    const TTarget t = Target(5);
    const QString first = Scan(t.gtin14, QStringLiteral("CB5U1"));
    const QString second = Scan(t.gtin14, QStringLiteral("CB5U2"));
    ExpectScreen([&](TfrmLeituraIUM& form) {
        EXPECT_FALSE(form.sbtDesfazer->Enabled());
        Type(form, first);
        Type(form, second);
        ASSERT_TRUE(form.sbtDesfazer->Enabled());

        dialogs.ExpectMessage(mrNo);
        form.sbtDesfazer->Click();
        EXPECT_EQ(ReadCount(t), t.read + 2) << "answered no";
        EXPECT_EQ(dialogs.Texts(TDialogKind::Message).value(0),
                  QStringLiteral("Desfazer a última leitura (IUM %1)?").arg(second.mid(3)));

        dialogs.ExpectMessage(mrYes);
        form.sbtDesfazer->Click();
        EXPECT_EQ(ReadCount(t), t.read + 1);
        EXPECT_TRUE(form.lblStatus->Caption().startsWith("Leitura desfeita: IUM " + second.mid(3)))
            << form.lblStatus->Caption().toStdString();
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read + 1) << "the list was read again";
        EXPECT_TRUE(form.edtCodigoIUM->Focused());

        // The invoice is confirmed meanwhile (elsewhere): the server refuses.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("confirm"));
            db.setDatabaseName(server->DatabasePath());
            ASSERT_TRUE(db.open());
            QSqlQuery confirm(db);
            confirm.prepare(QStringLiteral("UPDATE NOTAFISCAL SET IDCONFRASTR = 'S' WHERE CDFILIAL = ? AND NRLANCTONF = ?"));
            confirm.addBindValue(Branch);
            confirm.addBindValue(t.invoice);
            ASSERT_TRUE(confirm.exec());
            ASSERT_EQ(confirm.numRowsAffected(), 1);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("confirm"));
        dialogs.ExpectMessage(mrYes);
        form.sbtDesfazer->Click();
        EXPECT_TRUE(form.lblStatus->Caption().startsWith("Leitura não desfeita: ")) << form.lblStatus->Caption().toStdString();
        EXPECT_TRUE(form.lblStatus->Caption().contains("conferida")) << form.lblStatus->Caption().toStdString();
        EXPECT_EQ(form.lblStatus->Font().Color(), clRed);
        EXPECT_TRUE(form.sbtDesfazer->Enabled()) << "the reading is still there to undo";
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
    EXPECT_EQ(ReadCount(t), t.read + 1);
}

TEST_F(Codbarium, NamesWhatTakesTheFocusAndSaysEachResultAsText)
{
    const TTarget t = Target(0);
    const QString scan = Scan(t.gtin14, QStringLiteral("CBAC1"));
    TAccessibleEvents events;
    ExpectScreen([&](TfrmLeituraIUM& form) {
        const QList<TAccessibleControl> controls = FocusableControls(form.Widget());
        EXPECT_FALSE(controls.isEmpty());
        for (const TAccessibleControl& c : controls)
            EXPECT_FALSE(c.Name.trimmed().isEmpty()) << "unnamed: " << c.Object->metaObject()->className();
        EXPECT_EQ(form.edtCodigoIUM->AccessibleName(), QStringLiteral("Código IUM"));
        EXPECT_FALSE(form.edtCodigoIUM->AccessibleDescription().isEmpty());
        EXPECT_EQ(QAccessible::queryAccessibleInterface(form.sbtDesfazer->Widget())->text(QAccessible::Name),
                  QStringLiteral("Desfazer última leitura"));

        // Each outcome is said once, in the words the status line shows.
        events.Clear();
        Type(form, scan);
        QList<TAccessibleEventSeen> said = events.Of(QAccessible::Alert, form.lblStatus->Widget());
        ASSERT_EQ(said.size(), 1);
        EXPECT_TRUE(said[0].Name.startsWith(QStringLiteral("IUM aceito"))) << said[0].Name.toStdString();
        EXPECT_EQ(said[0].Name, form.lblStatus->Caption());

        events.Clear();
        Type(form, scan);
        said = events.Of(QAccessible::Alert, form.lblStatus->Widget());
        ASSERT_EQ(said.size(), 1);
        EXPECT_TRUE(said[0].Name.startsWith(QStringLiteral("IUM recusado: "))) << said[0].Name.toStdString();
        EXPECT_EQ(said[0].Name, form.lblStatus->Caption());
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(1));
}

// Sets the quantity to ship of a target's item, as another program might.
void SetToShip(const TTarget& t, double quantity)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("toship"));
        db.setDatabaseName(Codbarium::DatabasePath());
        ASSERT_TRUE(db.open());
        QSqlQuery update(db);
        update.prepare(QStringLiteral("UPDATE ITEMNOTA SET QTITEMPROD = ? WHERE CDFILIAL = ? AND NRLANCTONF = ? AND CDPRODUTO = ?"));
        for (const QVariant& value : {QVariant(quantity), QVariant(Branch), QVariant(t.invoice), QVariant(t.product)})
            update.addBindValue(value);
        ASSERT_TRUE(update.exec());
        ASSERT_EQ(update.numRowsAffected(), 1);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("toship"));
}


// A checker at a station of its own: its connection, its notice channel and
// its reading window on one invoice, shown beside the others (not modal).
struct TChecker {
    TChecker(const TTarget& t, const QString& user, const QString& station)
    {
        const TNetConnection::TStation who{user, station};
        net.SetServerName(Remote::ConfRastr);
        net.SetHost(Codbarium::Server().Host());
        net.SetPort(Codbarium::Server().Port());
        net.SetStation(who);
        channel.SetServer(Codbarium::Server().Host(), Codbarium::Server().Port(), {});
        channel.SetStation(who);
        form.SetInvoice(Branch, t.invoice, &net);
        form.LoadItems();
        form.Show();
        form.edtCodigoIUM->SetFocus();
        form.SetChannel(&channel);
    }
    ~TChecker() { form.SetChannel(nullptr); }
    double Read(const QString& product)
    {
        return form.cdsItens->Locate(QStringLiteral("CDPRODUTO"), product, {}) ? form.cdsItensQTRESPRODPED->AsFloat() : -1;
    }
    void Scan(const QString& scan)
    {
        QApplication::setActiveWindow(form.HostWindow());
        form.edtCodigoIUM->SetFocus();
        QTest::keyClicks(form.edtCodigoIUM->Widget(), scan);
        QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Return);
    }

    TNetConnection net;
    TNoticeChannel channel;
    TfrmLeituraIUM form{nullptr};
};

TEST_F(Codbarium, TwoReadingWindowsOnOneInvoiceShowEachOtherAndTheSameCounts)
{
    const TTarget t = Target(6);
    SetToShip(t, t.read + 2);
    TChecker ana(t, QStringLiteral("ana"), QStringLiteral("EST-A"));
    TChecker bia(t, QStringLiteral("bia"), QStringLiteral("EST-B"));
    ASSERT_TRUE(WaitFor([&] { return ana.form.Present() == QStringList{"bia (EST-B)"}; }, 10000))
        << ana.channel.Status().toStdString();
    ASSERT_TRUE(WaitFor([&] { return bia.form.Present() == QStringList{"ana (EST-A)"}; }, 2000));
    EXPECT_EQ(ana.form.lblPresenca->Caption(), QStringLiteral("Também lendo esta nota: bia (EST-B)"));

    // Each reading shows at once in the other window too.
    ana.Scan(Scan(t.gtin14, QStringLiteral("JUNTOS1")));
    EXPECT_EQ(ana.Read(t.product), t.read + 1);
    ASSERT_TRUE(WaitFor([&] { return bia.Read(t.product) == t.read + 1; }, 1000));
    bia.Scan(Scan(t.gtin14, QStringLiteral("JUNTOS2")));
    ASSERT_TRUE(WaitFor([&] { return ana.Read(t.product) == t.read + 2; }, 1000)) << "complete in both at once";
    EXPECT_EQ(bia.Read(t.product), t.read + 2);

    // One more for the completed item: who completed it says why not.
    ana.Scan(Scan(t.gtin14, QStringLiteral("JUNTOS3")));
    EXPECT_TRUE(ana.form.lblStatus->Caption().startsWith(QStringLiteral("IUM recusado: o item ")))
        << ana.form.lblStatus->Caption().toStdString();
    EXPECT_TRUE(ana.form.lblStatus->Caption().contains(QStringLiteral("já foi completado por bia na estação EST-B")))
        << ana.form.lblStatus->Caption().toStdString();

    // A window closed is a checker gone.
    bia.form.Close();
    EXPECT_TRUE(WaitFor([&] { return ana.form.Present().isEmpty(); }, 1000));
    EXPECT_EQ(ana.form.lblPresenca->Caption(), QString());
}

// The scans of `invoice` whose serial holds `mark`, as the scanner typed
// them, in the order the server stored them (its audit trail).
QStringList StoredInOrder(const QString& invoice, const QString& mark)
{
    QStringList stored;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("order"));
        db.setDatabaseName(Codbarium::DatabasePath());
        EXPECT_TRUE(db.open());
        QSqlQuery audit(db);
        audit.prepare(QStringLiteral("SELECT CDIUMPROD FROM AUDITORIA WHERE CDFILIAL = ? AND NRLANCTONF = ? "
                                     "AND CDIUMPROD LIKE ? ORDER BY NRSEQAUDIT"));
        for (const QString& value : {Branch, invoice, QStringLiteral("%") + mark + QStringLiteral("%")})
            audit.addBindValue(value);
        EXPECT_TRUE(audit.exec()) << audit.lastError().text().toStdString();
        while (audit.next())
            stored << QStringLiteral("]d2") + audit.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("order"));
    return stored;
}

// Types `codes` into `window` as a keyboard-wedge scanner does, through the
// window system's queue (so a wait that excludes user input holds the keys
// back, in order, as it would a real scanner's): one character every
// `msPerKey`, Enter after each code.
class TWedge {
public:
    TWedge(QWindow* window, const QStringList& codes, int msPerKey) : window_(window)
    {
        for (const QString& code : codes)
            keys_ += code + u'\r';
        timer_.setInterval(msPerKey);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Next(); });
        timer_.start();
    }
    bool Done() const { return next_ >= keys_.size(); }

private:
    void Next()
    {
        if (Done()) {
            timer_.stop();
            return;
        }
        const QChar c = keys_[next_++];
        const int key = c == u'\r' ? int(Qt::Key_Return) : c.isDigit() ? Qt::Key_0 + c.digitValue() : int(c.toUpper().unicode());
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(window_, type, key,
                                                                                              Qt::NoModifier, QString(c));
    }

    QWindow* window_;
    QString keys_;
    qsizetype next_ = 0;
    QTimer timer_;
};

TEST_F(Codbarium, ABurstOfTwoHundredCodesAtWedgeSpeedIsStoredWholeAndInOrder)
{
    const TTarget t = Target(7);
    constexpr int Codes = 200;
    SetToShip(t, t.read + Codes);
    QStringList codes;
    for (int i = 0; i < Codes; ++i)
        codes << Scan(t.gtin14, QStringLiteral("RAJADA%1").arg(i, 3, 10, QChar(u'0')));
    ExpectScreen([&](TfrmLeituraIUM& form) {
        QWidget* window = form.HostWindow();
        ASSERT_TRUE(window->windowHandle());
        TWedge wedge(window->windowHandle(), codes, 2);
        // The window repaints as it goes: the list is read again after each
        // reading and the result list grows.
        ASSERT_TRUE(WaitFor([&] { return wedge.Done() && form.Accepted() == Codes; }, 180000))
            << "stored " << form.Accepted() << " of " << Codes;
        EXPECT_EQ(form.edtCodigoIUM->Text(), QString()) << "nothing left half typed";
        EXPECT_EQ(form.lstLeituras->Count(), Codes) << "one result a code: none merged, none refused";
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(Codes));
    EXPECT_EQ(sounds.played.count(TReadingSound::Accepted), Codes);

    // In the order typed, each whole.
    EXPECT_EQ(StoredInOrder(t.invoice, QStringLiteral("RAJADA")), codes);
}


// Without the server, what the window can check by itself is refused at
// once, as the server would; the rest waits for the server.
TEST_F(Codbarium, WithoutTheServerWhatCanBeCheckedHereIsRefusedAtOnce)
{
    const TTarget t = Target(3);
    SetToShip(t, t.read + 2);
    const QString accepted = Scan(t.gtin14, QStringLiteral("LOC1"));
    const QString waiting = Scan(t.gtin14, QStringLiteral("LOC2"));
    const QString body = QStringLiteral("0789000000001");
    const QString foreign = body + GtinCheckDigit(body);
    struct TRefusal {
        const char* what;
        QString scan;
        QString expected;  // the refusal's text, after "IUM recusado: "
    };
    const QList<TRefusal> refusals = {
        {"not a GS1 code", QStringLiteral("01") + t.gtin14, QStringLiteral("Código IUM inválido")},
        {"a GTIN of no item of the invoice", Scan(foreign, QStringLiteral("LOC3")),
         QStringLiteral("O GTIN %1 não é de nenhum produto da nota fiscal %2.").arg(foreign, t.invoice)},
        {"read already in this window", accepted,
         QStringLiteral("O IUM de GTIN %1 e série LOC1 já foi lido nesta nota fiscal.").arg(t.gtin14)},
        {"waiting already", waiting,
         QStringLiteral("O IUM de GTIN %1 e série LOC2 já foi lido e está aguardando o servidor.").arg(t.gtin14)},
        {"its item complete counting those waiting", Scan(t.gtin14, QStringLiteral("LOC4")),
         QStringLiteral("já está completo: %1 lidas e 1 aguardando o servidor, para %2 a expedir.").arg(t.read + 1).arg(t.read + 2)},
    };
    ExpectScreen([&](TfrmLeituraIUM& form) {
        form.SetRetryDelays(60000, 60000);  // no try of its own during the test
        Type(form, accepted);
        net->Close();
        net->SetPort(1);
        TypePending(form, waiting);
        for (const TRefusal& r : refusals) {
            sounds.played.clear();
            Type(form, r.scan);
            EXPECT_EQ(form.lblStatus->Caption().left(14), QStringLiteral("IUM recusado: ")) << r.what;
            EXPECT_TRUE(form.lblStatus->Caption().contains(r.expected))
                << r.what << ": " << form.lblStatus->Caption().toStdString();
            EXPECT_EQ(form.lstLeituras->TextColor(0), clRed) << r.what;
            EXPECT_EQ(sounds.played, QList<TReadingSound>{TReadingSound::Refused}) << r.what;
            EXPECT_EQ(form.Pending(), 1) << r.what;
        }
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("1 leitura aguardando o servidor"));
        // Qt. Lida and the progress: what the server accepted, not what waits.
        ASSERT_TRUE(form.cdsItens->Locate("CDPRODUTO", t.product, {}));
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read + 1);

        // Any successful call sends what waits.
        net->SetPort(server->Port());
        form.LoadItems();
        ASSERT_TRUE(WaitFor([&] { return form.Pending() == 0; }, 5000));
        EXPECT_EQ(form.cdsItensQTRESPRODPED->AsFloat(), t.read + 2);
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(2));
    EXPECT_EQ(ReadCount(t), t.read + 2);
}

// Closed with scans waiting, the window warns and keeps them; opened again,
// it sends them in order, and each line shows its outcome.
TEST_F(Codbarium, ClosingWithScansWaitingWarnsKeepsThemAndTheNextOpeningSendsThem)
{
    const TTarget t = Target(5);
    QStringList scans;
    for (int i = 0; i < 4; ++i)
        scans << Scan(t.gtin14, QStringLiteral("FECHA%1").arg(i));
    // Its expiry before the invoice's outgoing date: the server's to refuse.
    scans.insert(2, QStringLiteral("]d201") + t.gtin14 + QStringLiteral("17210131") + QStringLiteral("21FECHAV"));
    SetToShip(t, t.read + 5);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        net->Close();
        net->SetPort(1);
        for (const QString& scan : scans)
                TypePending(form, scan);
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("5 leituras aguardando o servidor"));
        dialogs.ExpectMessage(mrOk);
        form.sbtFechar->Click();
        EXPECT_FALSE(form.Showing());
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(0));
    ASSERT_FALSE(dialogs.Log().isEmpty());
    EXPECT_EQ(dialogs.Log().last().Text, QStringLiteral("5 leituras ainda não foram enviadas ao servidor; elas serão "
                                                        "enviadas quando a leitura desta nota for aberta de novo"));
    EXPECT_EQ(dialogs.Log().last().Type, TMsgDlgType::mtWarning);
    net->SetPort(server->Port());
    EXPECT_EQ(ReadCount(t), t.read) << "nothing sent";

    ExpectScreen([&](TfrmLeituraIUM& form) {
        ASSERT_TRUE(WaitFor([&] { return form.Pending() == 0; }, 5000));
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("5 leituras enviadas: 4 aceitas, 1 recusada"));
        ASSERT_EQ(form.lstLeituras->Count(), 6);
        EXPECT_EQ(form.lstLeituras->Text(0).mid(10), QStringLiteral("5 leituras enviadas: 4 aceitas, 1 recusada"));
        // Newest first: line 5 is the first scan's.
        for (int i = 0; i < scans.size(); ++i) {
            const int line = 5 - i;
            const bool refused = i == 2;
            EXPECT_TRUE(form.lstLeituras->Text(line).contains(refused ? QStringLiteral("IUM recusado: A validade")
                                                                      : QStringLiteral("IUM aceito: ")))
                << i << ": " << form.lstLeituras->Text(line).toStdString();
            EXPECT_EQ(form.lstLeituras->TextColor(line), refused ? clRed : TfrmLeituraIUM::AcceptedColor) << i;
            EXPECT_TRUE(form.lstLeituras->Hint(line).contains(Gs1ForDisplay(scans[i].mid(3)))) << i;
        }
        EXPECT_EQ(sounds.played.count(TReadingSound::Refused), 1);
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(4));
    EXPECT_EQ(ReadCount(t), t.read + 4);
    TScanQueue queue;
    queue.Open();
    EXPECT_TRUE(queue.All().isEmpty());
}

// Scans queued on this station under another user, or for another server,
// are not sent under this one unless the user says so.
TEST_F(Codbarium, ScansQueuedUnderAnotherUserOrServerAreSentOnlyWhenTheUserSaysSo)
{
    const TTarget t = Target(1);
    const QString site = QStringLiteral("%1:%2").arg(server->Host()).arg(server->Port());
    QList<TQueuedScan> kept = {
        {0, QStringLiteral("bia-1"), Branch, t.invoice, Scan(t.gtin14, QStringLiteral("BIA1")).mid(3),
         QDateTime::currentDateTimeUtc(), QStringLiteral("bia"), site},
        {0, QStringLiteral("outro-1"), Branch, t.invoice, Scan(t.gtin14, QStringLiteral("OUT1")).mid(3),
         QDateTime::currentDateTimeUtc(), QString(), QStringLiteral("10.9.9.9:3050")},
    };
    {
        TScanQueue queue;
        queue.Open();
        for (TQueuedScan& scan : kept)
            queue.Add(scan);
    }
    dialogs.ExpectMessage(mrNo);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        WaitFor([&] { return form.Pending() > 0; }, 300);  // time it would take to send them
        EXPECT_EQ(form.Pending(), 0);
        EXPECT_TRUE(form.lstLeituras->Text(0).contains(QStringLiteral("2 leituras de outro usuário ou servidor continuam")))
            << form.lstLeituras->Text(0).toStdString();
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(0));
    const QString question = dialogs.Texts(TDialogKind::Message).value(0);
    EXPECT_TRUE(question.startsWith(QStringLiteral("2 leituras desta nota foram guardadas nesta estação por bia para o servidor ")))
        << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("usuário sem nome para o servidor 10.9.9.9:3050"))) << question.toStdString();
    EXPECT_EQ(ReadCount(t), t.read);
    {
        TScanQueue queue;
        queue.Open();
        EXPECT_EQ(queue.All().size(), 2) << "kept";
    }

    dialogs.ExpectMessage(mrYes);
    ExpectScreen([&](TfrmLeituraIUM& form) {
        ASSERT_TRUE(WaitFor([&] { return form.Pending() == 0; }, 5000));
        EXPECT_EQ(form.lblPendentes->Caption(), QStringLiteral("2 leituras enviadas: 2 aceitas, 0 recusadas"));
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(2));
    EXPECT_EQ(ReadCount(t), t.read + 2);
}

// A burst typed at a scanner's speed while the server goes away and comes
// back: every code stored once, in the order typed, none left waiting, and
// each line showing its outcome.
TEST_F(Codbarium, ABurstThroughAServerRestartIsStoredWholeOnceAndInOrder)
{
    const TTarget t = Target(7);
    constexpr int Codes = 100;
    SetToShip(t, t.read + Codes);
    QStringList codes;
    for (int i = 0; i < Codes; ++i)
        codes << Scan(t.gtin14, QStringLiteral("ZONA%1").arg(i, 3, 10, QChar(u'0')));
    TAppServerProcess::TOptions second;
    second.Database = server->DatabasePath();
    TAppServerProcess own(second);
    net->SetPort(own.Port());
    int waited = 0;
    ExpectScreen([&](TfrmLeituraIUM& form) {
        form.SetRetryDelays(50, 400);
        QWidget* window = form.HostWindow();
        ASSERT_TRUE(window->windowHandle());
        TWedge wedge(window->windowHandle(), codes, 2);
        ASSERT_TRUE(WaitFor([&] { return form.Accepted() >= 20; }, 60000));
        own.Stop();  // the cart enters the dead zone
        ASSERT_TRUE(WaitFor([&] { return form.Pending() >= 20 || form.Accepted() + form.Pending() == Codes; }, 60000));
        waited = form.Pending();
        own.Start(net->Port());
        ASSERT_TRUE(WaitFor([&] { return wedge.Done() && form.Pending() == 0 && form.Accepted() == Codes; }, 120000))
            << "accepted " << form.Accepted() << ", waiting " << form.Pending();
        EXPECT_EQ(form.edtCodigoIUM->Text(), QString());
        int accepted = 0;
        for (int i = 0; i < form.lstLeituras->Count(); ++i) {
            EXPECT_FALSE(form.lstLeituras->Text(i).contains(QStringLiteral("aguardando o servidor")))
                << form.lstLeituras->Text(i).toStdString();
            accepted += form.lstLeituras->Text(i).contains(QStringLiteral("IUM aceito: "));
        }
        EXPECT_EQ(accepted, Codes) << "one outcome a code";
        EXPECT_TRUE(form.lblPendentes->Caption().endsWith(QStringLiteral(" recusadas"))
                    && form.lblPendentes->Caption().contains(QStringLiteral("enviadas: ")))
            << form.lblPendentes->Caption().toStdString();
        form.Close();
    });
    EXPECT_EQ(::Codbarium::CriaLeituraIUM(Branch, t.invoice, net.get()), QVariant(Codes));
    EXPECT_GT(waited, 0) << "some codes went through the queue";

    EXPECT_EQ(StoredInOrder(t.invoice, QStringLiteral("ZONA")), codes) << "once each, in the order typed";
    EXPECT_EQ(ReadCount(t), t.read + Codes);
}

// What the host says at its start: the scans that wait and for which
// invoices, and an unreadable queue moved aside.
TEST_F(Codbarium, TheHostsNoteCountsWaitingScansAndTellsOfAnUnreadableQueue)
{
    EXPECT_EQ(::Codbarium::QueuedScansNote(), QString()) << "nothing waits";
    {
        QFile garbage(TScanQueue::DefaultPath());
        ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
    }
    const QString note = ::Codbarium::QueuedScansNote();
    EXPECT_TRUE(note.startsWith(QStringLiteral("O arquivo de leituras pendentes ")) && note.contains(QStringLiteral(".ilegivel-")))
        << note.toStdString();

    TScanQueue queue;
    queue.Open();
    for (const QString& invoice : {QStringLiteral("0000000001"), QStringLiteral("0000000002"), QStringLiteral("0000000001")}) {
        TQueuedScan scan{0, QStringLiteral("id-") + invoice, Branch, invoice, QStringLiteral("code"),
                         QDateTime::currentDateTimeUtc(), QString(), QString()};
        queue.Add(scan);
    }
    EXPECT_EQ(::Codbarium::QueuedScansNote(),
              QStringLiteral("3 leituras aguardando o servidor nesta estação (notas 0000000001, 0000000002): serão "
                             "enviadas quando a leitura de cada nota for aberta."));
}

} // namespace
