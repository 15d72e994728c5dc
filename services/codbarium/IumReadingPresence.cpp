// The reading form among other checkers: who else has the invoice's reading
// open, and their readings as they are heard (IumReadingForm.h).
#include "IumReadingForm.h"

#include "netconn/NoticeChannel.h"
#include "rtl/FormatFloat.h"

#include <QTimer>

void TfrmLeituraIUM::SetChannel(TNoticeChannel* channel)
{
    LeaveReading();
    channel_ = channel;
    if (Showing())
        JoinReading();
}

QStringList TfrmLeituraIUM::Present() const
{
    QStringList names;
    for (const TChecker& checker : present_)
        names << QStringLiteral("%1 (%2)").arg(checker.User.isEmpty() ? QStringLiteral("?") : checker.User, checker.Station);
    return names;
}

void TfrmLeituraIUM::JoinReading()
{
    if (!channel_ || listener_)
        return;
    present_.clear();
    completedBy_.clear();
    listener_ = channel_->Listen([this](const Rpc::TNotice& notice) { NoticeHeard(notice); });
    channel_->Follow(branch_);
    channel_->SetReading(invoice_);
}

void TfrmLeituraIUM::LeaveReading()
{
    if (!channel_ || !listener_)
        return;
    channel_->Unlisten(listener_);
    listener_ = 0;
    channel_->SetReading(QString());
    present_.clear();
    lblPresenca->SetCaption(QString());
}

void TfrmLeituraIUM::NoticeHeard(const Rpc::TNotice& notice)
{
    if (notice.Branch != branch_ || channel_->FromHere(notice))
        return;
    if (notice.Event == Rpc::Notice::Missed) {
        ReloadWhenIdle();
        return;
    }
    if (notice.Invoice != invoice_)
        return;
    const TChecker checker{notice.User, notice.Station};
    if (notice.Event == Rpc::Notice::Present || notice.Event == Rpc::Notice::Absent) {
        present_.removeAll(checker);
        if (notice.Event == Rpc::Notice::Present)
            present_.append(checker);
        const QStringList names = Present();
        lblPresenca->SetCaption(names.isEmpty() ? QString()
                                                : QStringLiteral("Também lendo esta nota: %1").arg(names.join(QStringLiteral(", "))));
        return;
    }
    if ((notice.Event == Rpc::Notice::Reading || notice.Event == Rpc::Notice::Deletion) && notice.Count
        && !notice.Product.isEmpty()) {
        SetReadCount(notice.Product, *notice.Count);
        if (notice.Event == Rpc::Notice::Reading)
            completedBy_.insert(notice.Product, checker);
        else
            completedBy_.remove(notice.Product);
    }
}

void TfrmLeituraIUM::ReloadWhenIdle()
{
    // Heard inside a call's wait, the reload waits for its turn: one call at
    // a time on a connection.
    if (calling_) {
        QTimer::singleShot(50, Widget(), [this] { ReloadWhenIdle(); });
        return;
    }
    ReloadAfter(QStringLiteral("Avisos de outras estações se perderam"), QString());
}

void TfrmLeituraIUM::SetReadCount(const QString& product, double count)
{
    // The data set holds the invoice's few items: a copy with the new count
    // is cheaper than anything cleverer, and keeps the cursor where it was.
    const TDataPacket items = cdsItens->Data();
    const int productColumn = items.IndexOf(QStringLiteral("CDPRODUTO"));
    const int countColumn = items.IndexOf(QStringLiteral("QTRESPRODPED"));
    if (productColumn < 0 || countColumn < 0)
        return;
    TDataPacketBuilder copy(items.Fields());
    copy.Reserve(items.RowCount());
    for (int row = 0; row < items.RowCount(); ++row) {
        for (int column = 0; column < items.FieldCount(); ++column) {
            if (column == countColumn && items.String(row, productColumn) == product)
                copy.AddNumber(count);
            else if (items.IsNull(row, column))
                copy.AddNull();
            else if (items.Field(column).Type == TFieldType::ftString)
                copy.AddString(items.String(row, column));
            else
                copy.AddNumber(items.Number(row, column));
        }
        copy.EndRow();
    }
    const QString current = cdsItensCDPRODUTO->AsString();
    cdsItens->SetData(copy.Build());
    if (!current.isEmpty())
        cdsItens->Locate(QStringLiteral("CDPRODUTO"), current, {});
}

QString TfrmLeituraIUM::CompletedElsewhere(const QString& product) const
{
    const auto by = completedBy_.constFind(product);
    if (product.isEmpty() || by == completedBy_.cend())
        return QString();
    // The refused item is the current row (ShowRefusal found it).
    if (cdsItensQTRESPRODPED->AsFloat() < cdsItensQTITEMPROD->AsFloat())
        return QString();
    return QStringLiteral("o item %1 %2 já foi completado por %3 na estação %4 (%5 de %5 lidas).")
        .arg(cdsItensCDARVPROD->DisplayText().trimmed(), cdsItensNMPRODUTO->AsString(),
             by->User.isEmpty() ? QStringLiteral("outro conferente") : by->User, by->Station,
             FloatToStr(cdsItensQTITEMPROD->AsFloat()));
}
