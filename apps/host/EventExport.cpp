#include "EventExport.h"

#include "framework/Varneth.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"
#include "ui/Dialogs.h"

#include <QSaveFile>

void ExportTraceabilityEvents(const std::function<void(int written, int total)>& progress)
{
    const QString title = QStringLiteral("Exportar eventos de rastreio");
    const QDate today = QDate::currentDate();
    const auto period = Dialogs().Period({title, Varneth::FiliProc(), today.addDays(-30), today});
    if (!period)
        return;
    if (period->Branch.isEmpty())
        throw EConvertError(QStringLiteral("Informe a filial dos eventos de rastreio."));
    if (period->From.isValid() && period->To.isValid() && period->From > period->To)
        throw EConvertError(QStringLiteral("A data inicial (%1) é posterior à final (%2).")
                                .arg(period->From.toString(QStringLiteral("dd/MM/yyyy")),
                                     period->To.toString(QStringLiteral("dd/MM/yyyy"))));
    const auto name = Dialogs().SaveFileName({QStringLiteral("Salvar eventos de rastreio"),
                                              QStringLiteral("eventos-rastreio-%1.jsonld").arg(period->Branch),
                                              QStringLiteral("Documentos EPCIS (*.jsonld)")});
    if (!name)
        return;

    TNetConnection net;
    net.SetServerName(Remote::ConfRastr);
    net.SetServerGUID(Remote::ConfRastrId);
    net.SetHost(Varneth::WebURL());
    net.SetPort(Varneth::WebPort());
    QSaveFile file(*name);
    if (!file.open(QIODevice::WriteOnly))
        throw EConvertError(QStringLiteral("Não foi possível criar o arquivo %1: %2").arg(*name, file.errorString()));
    QString cursor;
    int written = 0;
    do {
        const QVariantList piece =
            Consiste::CheckResultServ(net.AppServer().Call(Remote::GetEventosRastreio,
                                                           {period->Branch, DateTimeFromQDate(period->From),
                                                            DateTimeFromQDate(period->To), cursor}),
                                      true, 0)
                .toList();
        if (piece.size() != 4 || piece[0].typeId() != QMetaType::QString || piece[1].typeId() != QMetaType::QString)
            throw EServerError(QStringLiteral("O servidor de aplicação respondeu à exportação de eventos de rastreio de "
                                              "forma inesperada."));
        const QByteArray bytes = piece[0].toString().toUtf8();
        if (file.write(bytes) != bytes.size())
            throw EConvertError(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(*name, file.errorString()));
        cursor = piece[1].toString();
        written = piece[2].toInt();
        if (progress)
            progress(written, piece[3].toInt());
    } while (!cursor.isEmpty());
    if (!file.commit())
        throw EConvertError(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(*name, file.errorString()));
    MessageDlg(QStringLiteral("%1 evento(s) de rastreio gravado(s) em %2.").arg(written).arg(*name),
               TMsgDlgType::mtInformation, TMsgDlgBtn::mbOK, 0);
}
