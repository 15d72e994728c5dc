// What other stations changed in the loaded work list: counted in the host's
// status bar and marked in the invoice grid, while the data sets stay as
// loaded until the user reloads (Atualizar). Nothing here runs when an
// invoice or an item is selected: a notice costs a hash look-up, and the
// grid's mark one more per invoice row painted.
#include "screen/Cli_exp13000.h"

#include "framework/StatusNote.h"
#include "netconn/NoticeChannel.h"

#include <QTableView>

void TfrmConfSepExp::FollowChanges()
{
    ForgetChanges();
    const TDataPacket list = cdsNotaFiscal->Data();
    const int invoice = list.IndexOf(QStringLiteral("NRLANCTONF"));
    invoicesLoaded_.reserve(list.RowCount());
    for (int row = 0; invoice >= 0 && row < list.RowCount(); ++row)
        invoicesLoaded_.insert(list.String(row, invoice));
    if (TNoticeChannel* channel = Notices()) {
        if (!changeListener_)
            changeListener_ = channel->Listen([this](const Rpc::TNotice& notice) { ChangeHeard(notice); });
        channel->Follow(medCdFilial->Text());
    }
    ShowChanges();
}

TfrmConfSepExp::~TfrmConfSepExp()
{
    StopFollowingChanges();
}

void TfrmConfSepExp::StopFollowingChanges()
{
    if (TNoticeChannel* channel = Notices(); channel && changeListener_)
        channel->Unlisten(changeListener_);
    changeListener_ = 0;
    ForgetChanges();
}

void TfrmConfSepExp::ForgetChanges()
{
    invoicesLoaded_.clear();
    invoicesChanged_.clear();
    changesMissed_ = false;
    StatusNote::Set(QString());
}

void TfrmConfSepExp::ChangeHeard(const Rpc::TNotice& notice)
{
    if (notice.Branch != medCdFilial->Text() || invoicesLoaded_.isEmpty())
        return;
    if (notice.Event == Rpc::Notice::Missed) {
        changesMissed_ = true;
        ShowChanges();
        return;
    }
    const bool change = notice.Event == Rpc::Notice::Reading || notice.Event == Rpc::Notice::Deletion
                        || notice.Event == Rpc::Notice::Confirmation;
    if (!change || Notices()->FromHere(notice) || !invoicesLoaded_.contains(notice.Invoice)
        || invoicesChanged_.contains(notice.Invoice))
        return;
    invoicesChanged_.insert(notice.Invoice);
    ShowChanges();
    dbgNotaFiscal->View()->viewport()->update();
}

void TfrmConfSepExp::ShowChanges()
{
    QString text;
    const qsizetype changed = invoicesChanged_.size();
    if (changed == 1)
        text = QStringLiteral("1 nota fiscal da lista foi alterada por outro usuário desde a carga; Atualizar mostra a mudança.");
    else if (changed > 1)
        text = QStringLiteral("%1 notas fiscais da lista foram alteradas por outros usuários desde a carga; Atualizar "
                              "mostra as mudanças.")
                   .arg(changed);
    if (changesMissed_)
        text = (text.isEmpty() ? QString() : text + u' ')
               + QStringLiteral("Avisos de mudança se perderam; Atualizar mostra a lista como está.");
    StatusNote::Set(text);
}
