#include "InvoiceState.h"
#include "Notices.h"
#include "Operations.h"
#include "rpc/Envelope.h"
#include "storage/Database.h"

#include <map>
#include <optional>
#include <utility>

QVariant DeleteReadings(TDatabase& db, const TDataPacket& delta, qint64& rows)
{
    const int branchColumn = delta.IndexOf(QStringLiteral("CDFILIAL"));
    const int invoiceColumn = delta.IndexOf(QStringLiteral("NRLANCTONF"));
    const int iumColumn = delta.IndexOf(QStringLiteral("CDIUMPROD"));
    const int productColumn = delta.IndexOf(QStringLiteral("CDPRODUTO"));
    for (const auto& [column, name] : {std::pair{branchColumn, "CDFILIAL"}, std::pair{invoiceColumn, "NRLANCTONF"},
                                       std::pair{iumColumn, "CDIUMPROD"}}) {
        if (column < 0 || delta.Field(column).Type != TFieldType::ftString)
            return Rpc::Failure(QStringLiteral("O pacote de exclusão de leituras de IUM não tem o campo de texto %1.")
                                    .arg(QLatin1String(name)));
    }
    if (productColumn >= 0 && delta.Field(productColumn).Type != TFieldType::ftString)
        return Rpc::Failure(QStringLiteral("O campo CDPRODUTO do pacote de exclusão deve ser texto."));

    // Every invoice of the delta is locked before any reading goes, in key
    // order (FindInvoice): the checks below hold until the commit.
    std::map<std::pair<QString, QString>, std::optional<TInvoiceState>> invoices;
    for (int row = 0; row < delta.RowCount(); ++row)
        invoices[{delta.String(row, branchColumn), delta.String(row, invoiceColumn)}];
    for (auto& [key, state] : invoices)
        state = FindInvoice(db, key.first, key.second);

    TSql remove(db, QStringLiteral("DELETE FROM LEITURAIUM"
                                   " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF AND CDIUMPROD = :CDIUMPROD"
                                   "   AND CDPRODUTO = COALESCE(:CDPRODUTO, CDPRODUTO)"));
    rows = 0;
    for (int row = 0; row < delta.RowCount(); ++row) {
        const QString branch = delta.String(row, branchColumn);
        const QString invoice = delta.String(row, invoiceColumn);
        const QString ium = delta.String(row, iumColumn);
        const QString reading = QStringLiteral("leitura de IUM \"%1\" da %2").arg(Rpc::Quoted(ium), InvoiceName(branch, invoice));

        const auto& state = invoices.at({branch, invoice});
        if (!state)
            return Rpc::Failure(QStringLiteral("A %1 não existe: nenhuma leitura foi excluída.").arg(reading));
        if (state->Confirmed)
            return Rpc::Failure(QStringLiteral("A %1 não pode ser excluída: a nota já foi conferida para rastreio. "
                                               "Nenhuma leitura foi excluída.")
                                    .arg(reading));
        const bool byProduct = productColumn >= 0 && !delta.IsNull(row, productColumn);
        BindInvoice(remove, branch, invoice)
            .Bind(QStringLiteral(":CDIUMPROD"), ium)
            .Bind(QStringLiteral(":CDPRODUTO"), byProduct ? QVariant(delta.String(row, productColumn)) : QVariant())
            .Exec();
        if (remove.RowsAffected() != 1)
            return Rpc::Failure(QStringLiteral("A %1 não existe (já foi excluída?): nenhuma leitura foi excluída.")
                                    .arg(reading));
        Audit(db, TAuditEvent::Deletion, branch, invoice, ium, QStringLiteral("Exclusão da %1").arg(reading));
        // Without the product the notice says only that the invoice changed.
        if (byProduct) {
            const QString product = delta.String(row, productColumn);
            PublishChange(db, Rpc::Notice::Deletion, branch, invoice, product, ReadingsOf(db, branch, invoice, product));
        } else {
            PublishChange(db, Rpc::Notice::Deletion, branch, invoice);
        }
        ++rows;
    }
    return Rpc::Success();
}
