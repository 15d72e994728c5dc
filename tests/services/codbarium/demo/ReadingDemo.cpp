// Pictures of the IUM reading screen for the documentation: against a
// running application server with the demo data, opens the reading of the
// first invoice with an IUM item still to read, types one scan the server
// accepts and saves a picture, then one it refuses (a product without IUM
// control when the invoice has one, else the same scan again) and saves
// another. Then a second checker (bia, station EST-02) opens the same
// invoice's reading and stores one more reading of the item, and a third
// picture shows the first window with her present and the count followed.
// Last, the server goes out of reach of the first window, three more scans
// wait in the station's queue (a temporary one, not the user's), and a
// fourth picture shows them waiting.
//
//   reading_demo --server HOST:PORT [--branch CODE] ACCEPTED.png REFUSED.png TOGETHER.png PENDING.png
#include "codbarium/IumReadingForm.h"
#include "data/DataPacket.h"
#include "framework/Varneth.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "netconn/NoticeChannel.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <cstdio>

namespace {

QString Cell(const TDataPacket& p, int row, const char* field)
{
    return p.String(row, p.IndexOf(QString::fromLatin1(field)));
}

TDataPacket Items(TNetConnection& net, const QString& branch, const QString& invoice)
{
    return Consiste::CheckResultServ(net.AppServer().Call(Remote::GetItensIUM, {branch, invoice}), true, 0)
        .value<TDataPacket>();
}

void Save(TfrmLeituraIUM& form, const QString& picture)
{
    if (!form.HostWindow()->grab().save(picture))
        throw Exception(QStringLiteral("Não foi possível gravar %1.").arg(picture));
}

void Scan(TfrmLeituraIUM& form, const QString& code, const QString& picture)
{
    QTest::keyClicks(form.edtCodigoIUM->Widget(), code);
    QTest::keyClick(form.edtCodigoIUM->Widget(), Qt::Key_Return);
    QTest::qWait(200);
    if (!form.HostWindow()->grab().save(picture))
        throw Exception(QStringLiteral("Não foi possível gravar %1.").arg(picture));
}

} // namespace

int main(int argc, char** argv)
{
    // The waiting scans go to a queue of the demo's own.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QApplication qt(argc, argv);
    QStringList arguments = QApplication::arguments();
    TApplication application;
    try {
        const QString error = Varneth::Load(arguments.mid(0, arguments.size() - 4));
        if (!error.isEmpty() || arguments.size() < 5)
            throw Exception(error.isEmpty() ? QStringLiteral("Uso: reading_demo --server HOST:PORTA ACEITO.png RECUSADO.png "
                                                             "JUNTOS.png AGUARDANDO.png")
                                            : error);
        const QString acceptedPicture = arguments.at(arguments.size() - 4);
        const QString refusedPicture = arguments.at(arguments.size() - 3);
        const QString togetherPicture = arguments.at(arguments.size() - 2);
        const QString pendingPicture = arguments.last();
        const QString branch = Varneth::FiliProc().isEmpty() ? QStringLiteral("0001") : Varneth::FiliProc();
        TNetConnection net;
        net.SetServerName(Remote::ConfRastr);
        net.SetServerGUID(Remote::ConfRastrId);
        net.SetHost(Varneth::WebURL());
        net.SetPort(Varneth::WebPort());

        QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
        const TDataPacket invoices =
            Consiste::CheckResultServ(net.AppServer().Call(Remote::GetDados, {branch, ByRef(expedition), ByRef(order),
                                                                              TDateTime(), TDateTime(), TDateTime(),
                                                                              TDateTime()}),
                                      true, 0)
                .toList()
                .value(0)
                .value<TDataPacket>();
        for (int i = 0; i < invoices.RowCount(); ++i) {
            const QString invoice = Cell(invoices, i, "NRLANCTONF");
            const TDataPacket items = Items(net, branch, invoice);
            QString accepted, refused;
            for (int r = 0; r < items.RowCount(); ++r) {
                const QString gtin = Cell(items, r, "CDGTIN").rightJustified(14, u'0');
                const bool controlled = Cell(items, r, "IDCONTROLAIUM") == QLatin1String("S");
                const double missing = items.Number(r, items.IndexOf(QStringLiteral("QTITEMPROD")))
                                       - items.Number(r, items.IndexOf(QStringLiteral("QTRESPRODPED")));
                const QString scan = QStringLiteral("]d201") + gtin + QStringLiteral("21D")
                                     + QString::number(QDateTime::currentSecsSinceEpoch() % 100000000);
                if (controlled && missing >= 5 && accepted.isEmpty())
                    accepted = scan;
                if (!controlled && refused.isEmpty())
                    refused = scan + u'X';
            }
            if (accepted.isEmpty())
                continue;
            const TNetConnection::TStation ana{QStringLiteral("ana"), QStringLiteral("EST-01")};
            const TNetConnection::TStation bia{QStringLiteral("bia"), QStringLiteral("EST-02")};
            TNoticeChannel anaNotices, biaNotices;
            for (auto [channel, who] : {std::pair{&anaNotices, ana}, std::pair{&biaNotices, bia}}) {
                channel->SetServer(Varneth::WebURL(), Varneth::WebPort(), {});
                channel->SetStation(who);
            }
            net.SetStation(ana);
            TfrmLeituraIUM* form = TForm::Create<TfrmLeituraIUM>(nullptr);
            form->SetChannel(&anaNotices);
            form->SetInvoice(branch, invoice, &net);
            form->LoadItems();
            form->ShowReading();
            QTest::qWait(200);
            Scan(*form, accepted, acceptedPicture);
            Scan(*form, refused.isEmpty() ? accepted : refused, refusedPicture);

            // The second checker joins and reads the same item once more.
            TNetConnection biaNet;
            biaNet.SetServerName(Remote::ConfRastr);
            biaNet.SetHost(Varneth::WebURL());
            biaNet.SetPort(Varneth::WebPort());
            biaNet.SetStation(bia);
            biaNotices.Follow(branch);
            biaNotices.SetReading(invoice);
            QTest::qWait(500);
            Consiste::CheckResultServ(biaNet.AppServer().Call(Remote::SetLeituraIUM, {branch, invoice, accepted + u'B'}), true, 0);
            QTest::qWait(500);
            Save(*form, togetherPicture);

            // Into the dead zone: three more scans wait.
            form->SetRetryDelays(600000, 600000);
            net.Close();
            net.SetPort(1);
            for (const char* serial : {"P1", "P2", "P3"}) {
                QTest::keyClicks(form->edtCodigoIUM->Widget(), accepted + QLatin1String(serial));
                QTest::keyClick(form->edtCodigoIUM->Widget(), Qt::Key_Return);
            }
            QTest::qWait(200);
            Save(*form, pendingPicture);
            form->SetChannel(nullptr);
            delete form;
            return 0;
        }
        throw Exception(QStringLiteral("Nenhuma nota com leituras de IUM por fazer."));
    } catch (const Exception& e) {
        std::fprintf(stderr, "reading_demo: %s\n", e.Message().toUtf8().constData());
        return 1;
    }
}
