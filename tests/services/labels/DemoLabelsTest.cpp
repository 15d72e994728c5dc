// The demo sheet of an invoice of the demo data: written as PDF, rendered
// to pictures by pdftoppm, every label read back by ZXing, and every read
// scanned into the real application server, which accepts the good labels
// and refuses each wrong one for its own reason.
#include "AppServerProcess.h"
#include "ZxingRead.h"
#include "labels/DemoLabels.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int Dpi = 200;

// The pages of `pdf` as pictures.
QList<QImage> Render(const QString& pdf, const QDir& into)
{
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(Dpi), QStringLiteral("-png"), pdf,
                                                 into.filePath(QStringLiteral("page"))});
    if (!pdftoppm.waitForFinished(120000) || pdftoppm.exitCode() != 0)
        throw std::runtime_error("pdftoppm failed: " + pdftoppm.readAllStandardError().toStdString());
    QList<QImage> pages;
    for (const QString& name : into.entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name))
        pages.append(QImage(into.filePath(name)));
    return pages;
}

// Label `index` of `pages`: the symbol's square with a quiet zone around it.
QImage SymbolOf(const QList<QImage>& pages, int index)
{
    const int perPage = LabelSheet::Columns * LabelSheet::Rows;
    const QRectF mm = LabelSheet::SymbolArea(index % perPage).adjusted(-3, -3, 3, 3);
    const qreal dots = Dpi / 25.4;
    return pages.value(index / perPage)
        .copy(QRectF(mm.x() * dots, mm.y() * dots, mm.width() * dots, mm.height() * dots).toRect());
}

class DemoLabels : public testing::Test {
protected:
    static void SetUpTestSuite() { server = new TAppServerProcess(); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    QSqlDatabase Database()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("demo-labels"));
        db.setDatabaseName(server->DatabasePath());
        EXPECT_TRUE(db.open());
        return db;
    }
    void TearDown() override { QSqlDatabase::removeDatabase(QStringLiteral("demo-labels")); }

    static inline TAppServerProcess* server = nullptr;
    QTemporaryDir dir;
};

TEST_F(DemoLabels, EveryLabelReadsBackAndTheServerAnswersAsItsNoteSays)
{
    const QSqlDatabase db = Database();
    const TDemoSheet sheet = DemoSheet(db, QString(), QString());
    EXPECT_EQ(sheet.Branch, QStringLiteral("0001"));
    ASSERT_GT(sheet.Good, 0);
    ASSERT_EQ(sheet.Labels.size(), sheet.Good + 4);
    const QString pdf = dir.filePath(QStringLiteral("rotulos.pdf"));
    WriteDemoSheet(sheet, pdf);
    const QList<QImage> pages = Render(pdf, QDir(dir.path()));
    const int perPage = LabelSheet::Columns * LabelSheet::Rows;
    ASSERT_EQ(pages.size(), (sheet.Labels.size() + perPage - 1) / perPage);

    TNetConnection net;
    net.SetServerName(Remote::ConfRastr);
    net.SetHost(server->Host());
    net.SetPort(server->Port());
    // The refusal each wrong label is for, by its note.
    const QList<std::pair<const char*, const char*>> refusals{
        {"vencido", "é anterior à data de saída"}, {"GTIN de nenhum produto", "não é de nenhum produto"},
        {"dígito verificador", "dígito verificador não confere"}, {"lido duas vezes", "já foi lido"}};
    int wrong = 0;
    for (int i = 0; i < sheet.Labels.size(); ++i) {
        const TSheetLabel& label = sheet.Labels[i];
        SCOPED_TRACE(QStringLiteral("label %1: %2").arg(i + 1).arg(label.Note).toStdString());
        const TZxingRead read = ZxingRead(SymbolOf(pages, i));
        ASSERT_EQ(read.SymbologyIdentifier, QStringLiteral("]d2"));
        ASSERT_EQ(read.Text, Gs1ElementString(label.Elements));
        const QVariant result = net.AppServer().Call(Remote::SetLeituraIUM, {sheet.Branch, sheet.Invoice, read.SymbologyIdentifier + read.Text});
        if (!label.Wrong) {
            EXPECT_NO_THROW(Consiste::CheckResultServ(result, true, 0));
            continue;
        }
        const auto refusal = std::find_if(refusals.cbegin(), refusals.cend(), [&](const auto& r) {
            return label.Note.contains(QString::fromUtf8(r.first));
        });
        ASSERT_NE(refusal, refusals.cend());
        ++wrong;
        try {
            Consiste::CheckResultServ(result, true, 0);
            ADD_FAILURE() << "accepted";
        } catch (const EServerError& e) {
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(refusal->second))) << e.Message().toStdString();
        }
    }
    EXPECT_EQ(wrong, 4);

    // Every IUM the invoice lacked is read now: a second sheet has nothing for it.
    try {
        DemoSheet(db, sheet.Branch, sheet.Invoice);
        ADD_FAILURE() << "a sheet for a full invoice";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("A nota fiscal %1 da filial 0001 não tem IUM por ler.").arg(sheet.Invoice));
    }
}

TEST_F(DemoLabels, AnUnknownInvoiceIsRefusedAndNoFileIsLeft)
{
    const QSqlDatabase db = Database();
    try {
        DemoSheet(db, QStringLiteral("0001"), QStringLiteral("X"));
        ADD_FAILURE() << "a sheet for an unknown invoice";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("A nota fiscal X da filial 0001 não existe."));
    }
    const QString pdf = dir.filePath(QStringLiteral("recusado.pdf"));
    TSheetLabel bad{QStringLiteral("mês 13"), QString(), {{"01", "07891234567895"}, {"11", "251340"}}};
    EXPECT_THROW(WriteLabelSheet(pdf, QStringLiteral("x"), {bad}), Exception);
    EXPECT_FALSE(QFile::exists(pdf));
}

} // namespace
