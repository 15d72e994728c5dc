#include "InvoiceState.h"
#include "Notices.h"
#include "Operations.h"
#include "server/ConfirmationRule.h"
#include "WorkList.h"
#include "epcis/Outbox.h"
#include "rpc/Envelope.h"
#include "server/PacketLayouts.h"
#include "storage/Database.h"

#include <QDateTime>
#include <QLocale>

QVariant ConfirmInvoice(TDatabase& db, const QString& branch, const QString& invoice, qint64& rows)
{
    const auto state = FindInvoice(db, branch, invoice);
    const QString name = InvoiceName(branch, invoice);
    if (!state)
        return Rpc::Failure(QStringLiteral("A %1 não existe.").arg(name));
    if (state->Confirmed)
        return Rpc::Failure(QStringLiteral("A %1 já foi conferida para rastreio em %2.")
                                .arg(name, DateTimeToStr(state->ConfirmedAt)));

    // The confirm button's rule, checked again: the client is not trusted.
    const TDataPacket items = LoadInvoiceItems(db, branch, invoice);
    if (items.RowCount() == 0)
        return Rpc::Failure(QStringLiteral("A %1 não tem itens e não pode ser conferida.").arg(name));
    const int code = items.IndexOf(QStringLiteral("CDARVPROD"));
    const int toShip = items.IndexOf(QStringLiteral("QTITEMPROD"));
    const int read = items.IndexOf(QStringLiteral("QTRESPRODPED"));
    const int status = items.IndexOf(QStringLiteral("IDSTATUSSEPSNCM"));
    for (int row = 0; row < items.RowCount(); ++row) {
        switch (ConfirmationRule::ItemBlock(items.Number(row, toShip), items.Number(row, read),
                                            items.String(row, status))) {
        case ConfirmationRule::TItemBlock::None:
            break;
        case ConfirmationRule::TItemBlock::NothingToShipNorRead:
            return Rpc::Failure(QStringLiteral("A %1 não está pronta: o produto %2 tem quantidade a expedir e "
                                               "quantidade lida iguais a 0.")
                                    .arg(name, items.String(row, code)));
        case ConfirmationRule::TItemBlock::ReadingsMissing:
            return Rpc::Failure(QStringLiteral("A %1 não está pronta: o produto %2 tem %3 leitura(s) de IUM para "
                                               "%4 a expedir.")
                                    .arg(name, items.String(row, code))
                                    .arg(items.Number(row, read))
                                    .arg(items.Number(row, toShip)));
        }
    }

    TSql update(db, QStringLiteral("UPDATE NOTAFISCAL SET IDCONFRASTR = 'S', DTCONFRASTR = :DTCONFRASTR"
                                   " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF AND IDCONFRASTR = 'N'"));
    BindInvoice(update, branch, invoice).Bind(QStringLiteral(":DTCONFRASTR"), QDateTime::currentDateTime()).Exec();
    rows = update.RowsAffected();
    if (rows != 1)  // confirmed since it was read: only a writer that skipped the invoice's lock could do that
        return Rpc::Failure(QStringLiteral("A %1 já foi conferida para rastreio.").arg(name));
    Audit(db, TAuditEvent::Confirmation, branch, invoice, QString(),
          QStringLiteral("Conferência de rastreio da %1").arg(name));
    PublishChange(db, Rpc::Notice::Confirmation, branch, invoice);
    RecordDueEvent(db, branch, invoice);  // its traceability event, written by the outbox
    return Rpc::Success();
}
