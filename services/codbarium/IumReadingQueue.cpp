// The reading form without the server: scans kept in the station's queue and
// sent when the server answers (IumReadingForm.h, "Without the server").
//
// A waiting scan's life, and the function behind each step:
//
//   typed --[Enqueue: LocalRefusal says no]--> refused at once (red)
//   typed --[Enqueue: ScanQueue::Add]--> waiting (its line, lblPendentes)
//   waiting --[SendQueued: the server stores it]--> accepted (green), row removed
//   waiting --[SendQueued: the server refuses it]--> refused (red), row removed
//   waiting --[SendQueued: no server]--> waiting (next try after a longer wait)
//   waiting --[FormClose]--> kept in the file for the next opening (TakeQueued)
#include "IumReadingForm.h"

#include "IumReadingText.h"
#include "ScanQueue.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/Exceptions.h"
#include "server/Gs1.h"
#include "server/RemoteNames.h"
#include "ui/Dialogs.h"

#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

namespace {

// `one` for a count of 1, else `many` with the count for %1.
QString Count(qsizetype n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}

} // namespace

void TfrmLeituraIUM::SetRetryDelays(int firstMs, int longestMs)
{
    firstDelay_ = delay_ = qMax(0, firstMs);
    longestDelay_ = qMax(firstDelay_, longestMs);
}

QString TfrmLeituraIUM::User() const
{
    // The account the server records request identifiers under, else the
    // station's user.
    const QString account = connection_ ? connection_->Security().User : QString();
    return account.isEmpty() ? TNetConnection::DefaultStation().User : account;
}

QString TfrmLeituraIUM::Site() const
{
    return connection_ ? QStringLiteral("%1:%2").arg(connection_->Host()).arg(connection_->Port()) : QString();
}

void TfrmLeituraIUM::TakeQueued()
{
    if (queue_ || !connection_)
        return;
    auto queue = std::make_unique<TScanQueue>();
    QList<TQueuedScan> rows;
    try {
        queue->Open();
        rows = queue->Pending(branch_, invoice_);
    } catch (const EDatabaseError& e) {
        ShowResult(QStringLiteral("Sem o servidor, as leituras não poderão ser guardadas nesta estação: ") + e.Message(),
                   RefusedColor, QString());
        return;
    }
    queue_ = std::move(queue);
    if (!queue_->Notice().isEmpty())
        ShowResult(queue_->Notice(), RefusedColor, QString());

    site_ = Site();
    user_ = User();
    const auto foreign = std::stable_partition(rows.begin(), rows.end(), [this](const TQueuedScan& row) {
        return row.User == user_ && row.Site == site_;
    });
    if (foreign != rows.end()) {
        QStringList whose;
        for (auto row = foreign; row != rows.end(); ++row) {
            const QString who = QStringLiteral("%1 para o servidor %2")
                                    .arg(row->User.isEmpty() ? QStringLiteral("usuário sem nome") : row->User, row->Site);
            if (!whose.contains(who))
                whose << who;
        }
        const qsizetype count = rows.end() - foreign;
        const bool send =
            MessageDlg(QStringLiteral("%1 desta nota %2 nesta estação por %3 e não %4 enviadas. Enviá-las agora como %5 "
                                      "para o servidor %6?")
                           .arg(Count(count, QStringLiteral("1 leitura"), QStringLiteral("%1 leituras")),
                                count == 1 ? QStringLiteral("foi guardada") : QStringLiteral("foram guardadas"),
                                whose.join(QStringLiteral(", ")), count == 1 ? QStringLiteral("foi") : QStringLiteral("foram"),
                                user_.isEmpty() ? QStringLiteral("usuário sem nome") : user_, site_),
                       TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0)
            == mrYes;
        if (send) {
            std::sort(rows.begin(), rows.end(), [](const TQueuedScan& a, const TQueuedScan& b) { return a.Id < b.Id; });
        } else {
            ShowResult(Count(count, QStringLiteral("1 leitura de outro usuário ou servidor continua guardada nesta estação, "
                                                   "sem envio."),
                             QStringLiteral("%1 leituras de outro usuário ou servidor continuam guardadas nesta estação, "
                                            "sem envio.")),
                       PendingColor, QString());
            rows.erase(foreign, rows.end());
        }
    }
    for (const TQueuedScan& row : rows) {
        QString product;
        try {
            if (LocateGtin(ParseIumCode(row.Code).Gtin))
                product = cdsItensCDPRODUTO->AsString();
        } catch (const EConvertError&) {
            // The server will say what is wrong with it.
        }
        pending_.append({row.Id, row.RequestId, row.Code, product, 0});
        pending_.last().Line = ShowResult(PendingText(row.Code, product), PendingColor, row.Code);
    }
    ShowPendingCount();
    if (!pending_.isEmpty())
        ScheduleSend(0);
}

QString TfrmLeituraIUM::PendingText(const QString& code, const QString& product) const
{
    QString text = QStringLiteral("IUM aguardando o servidor: ");
    if (!product.isEmpty() && cdsItensCDPRODUTO->AsString() == product)
        text += QStringLiteral("%1 %2 - ").arg(cdsItensCDARVPROD->DisplayText().trimmed(), cdsItensNMPRODUTO->AsString());
    try {
        return text + IumReading::DescribeIumCode(ParseIumCode(code));
    } catch (const EConvertError&) {
        return text + Gs1ForDisplay(code);
    }
}

QString TfrmLeituraIUM::LocalRefusal(const QString& code)
{
    TIumCode parsed;
    try {
        parsed = ParseIumCode(code);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    if (!LocateGtin(parsed.Gtin))
        return QStringLiteral("O GTIN %1 não é de nenhum produto da nota fiscal %2.").arg(parsed.Gtin, invoice_);
    const auto same = [&parsed](const QString& other) {
        try {
            const TIumCode read = ParseIumCode(other);
            return read.Gtin == parsed.Gtin && read.Serial == parsed.Serial;
        } catch (const EConvertError&) {
            return false;
        }
    };
    if (std::any_of(stored_.cbegin(), stored_.cend(), [&](const TStored& s) { return same(s.Code); }))
        return QStringLiteral("O IUM de GTIN %1 e série %2 já foi lido nesta nota fiscal.").arg(parsed.Gtin, parsed.Serial);
    if (std::any_of(pending_.cbegin(), pending_.cend(), [&](const TPendingScan& p) { return same(p.Code); }))
        return QStringLiteral("O IUM de GTIN %1 e série %2 já foi lido e está aguardando o servidor.")
            .arg(parsed.Gtin, parsed.Serial);
    const QString product = cdsItensCDPRODUTO->AsString();
    const auto waiting =
        std::count_if(pending_.cbegin(), pending_.cend(), [&](const TPendingScan& p) { return p.Product == product; });
    const double read = cdsItensQTRESPRODPED->AsFloat();
    const double toShip = cdsItensQTITEMPROD->AsFloat();
    if (read + double(waiting) + 1 > toShip)
        return QStringLiteral("O produto %1 já está completo: %2 lidas e %3 aguardando o servidor, para %4 a expedir.")
            .arg(cdsItensCDARVPROD->DisplayText().trimmed())
            .arg(read)
            .arg(waiting)
            .arg(toShip);
    return QString();
}

TfrmLeituraIUM::TQueued TfrmLeituraIUM::Enqueue(const QString& code, const QString& requestId, QString& why)
{
    if (!queue_) {
        why = QStringLiteral("A fila de leituras desta estação não está disponível.");
        return TQueued::Unavailable;
    }
    if (const QString refusal = LocalRefusal(code); !refusal.isEmpty()) {
        ShowRefusal(QStringLiteral("IUM recusado: "), refusal, code);
        return TQueued::Refused;
    }
    const QString product = cdsItensCDPRODUTO->AsString();  // LocalRefusal stands on it
    TQueuedScan scan{0, requestId, branch_, invoice_, code, QDateTime::currentDateTimeUtc(), user_, site_};
    try {
        queue_->Add(scan);
    } catch (const EDatabaseError& e) {
        why = e.Message();
        return TQueued::Unavailable;
    }
    // On disk: now it may show.
    refusedProduct_.clear();
    dbgItens->View()->viewport()->update();
    Sound(TReadingSound::Pending);
    pending_.append({scan.Id, requestId, code, product, 0});
    pending_.last().Line = ShowResult(PendingText(code, product), PendingColor, code);
    ShowPendingCount();
    if (!retryTimer_->isActive())
        ScheduleSend(delay_);
    return TQueued::Queued;
}

void TfrmLeituraIUM::ScheduleSend(int ms)
{
    if (!retryTimer_->isActive() || retryTimer_->remainingTime() > ms)
        retryTimer_->start(ms);
}

void TfrmLeituraIUM::ShowPendingCount()
{
    lblPendentes->Font().SetColor(PendingColor);
    lblPendentes->SetCaption(pending_.isEmpty() ? QString() : IumReading::PendingCount(pending_.size()));
}

void TfrmLeituraIUM::SendQueued()
{
    if (pending_.isEmpty() || !Showing() || sending_)
        return;
    if (calling_) {
        // Heard inside a call's wait: one call at a time on a connection.
        ScheduleSend(50);
        return;
    }
    retryTimer_->stop();
    sending_ = true;
    const auto done = qScopeGuard([this] { sending_ = false; });
    while (!pending_.isEmpty()) {
        const TPendingScan scan = pending_.first();
        QVariant payload;
        QString refusal;
        try {
            payload = Consiste::CheckResultServ(
                Call(Remote::SetLeituraIUM, {branch_, invoice_, scan.Code}, scan.RequestId), true, 0);
        } catch (const EServerError& e) {
            refusal = e.Message();
        } catch (const Exception&) {
            // Still out of reach: the next try waits longer.
            ScheduleSend(delay_);
            delay_ = qMin(delay_ * 2, longestDelay_);
            return;
        }
        delay_ = firstDelay_;
        pending_.removeFirst();
        try {
            queue_->Remove(scan.Id);
        } catch (const EDatabaseError& e) {
            // Sent again at the next opening, it gets the same answer.
            ShowResult(e.Message(), RefusedColor, scan.Code);
        }
        if (!refusal.isEmpty()) {
            ++sentRefused_;
            ShowRefusal(QStringLiteral("IUM recusado: "), refusal, scan.Code, scan.Line);
        } else {
            ++sentAccepted_;
            const QVariantList values = payload.toList();
            const QString product = values.value(0).toString();
            stored_.append({product, IumReading::StoredCode(scan.Code)});
            sbtDesfazer->SetEnabled(true);
            if (values.size() == 3)
                SetReadCount(product, values[1].toDouble());
            cdsItens->Locate(QStringLiteral("CDPRODUTO"), product, {});
            ShowResult(AcceptedText(scan.Code, payload), AcceptedColor, scan.Code, scan.Line);
        }
        ShowPendingCount();
    }
    const QString summary =
        Count(sentAccepted_ + sentRefused_, QStringLiteral("1 leitura enviada"), QStringLiteral("%1 leituras enviadas"))
        + QStringLiteral(": ") + Count(sentAccepted_, QStringLiteral("1 aceita"), QStringLiteral("%1 aceitas"))
        + QStringLiteral(", ") + Count(sentRefused_, QStringLiteral("1 recusada"), QStringLiteral("%1 recusadas"));
    const TColor color = sentRefused_ ? RefusedColor : AcceptedColor;
    sentAccepted_ = sentRefused_ = 0;
    ShowResult(summary, color, QString());
    lblPendentes->Font().SetColor(color);
    lblPendentes->SetCaption(summary);
    // The counts came with each reply; the server's list is the truth.
    ReloadAfter(summary, QString());
}
