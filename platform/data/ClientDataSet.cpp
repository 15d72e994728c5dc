#include "ClientDataSet.h"

#include "rtl/Exceptions.h"

#include <algorithm>

TClientDataSet::TClientDataSet(TComponent* owner) : TDataSet(owner) {}

void TClientDataSet::SetData(const TDataPacket& packet)
{
    LoadPacket(packet);
}

void TClientDataSet::DoClose() { changeLog_.clear(); }

TDataPacket TClientDataSet::Data() const
{
    const auto& states = RowStates();
    if (states.empty())
        return Packet();
    std::vector<int> live;
    live.reserve(states.size());
    for (int r = 0; r < int(states.size()); ++r)
        if (states[r] == Live)
            live.push_back(r);
    return Packet().Select(live);
}

void TClientDataSet::Delete()
{
    TChangeScope change;
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: o conjunto de dados está fechado.").arg(Name()));
    if (IsEmpty())
        throw EDatabaseError(QStringLiteral("%1: não há registro para excluir.").arg(Name()));
    const int row = ActiveRow();
    auto& states = RowStates();
    if (states.empty())
        states.assign(Packet().RowCount(), Live);
    states[row] = Pending;
    changeLog_.push_back(row);
    ResyncAfterHiding(row);
    AfterDelete(this);
    if (!IsEmpty())
        DoAfterScroll();
}

TDataPacket TClientDataSet::Delta() const { return Packet().Select(changeLog_); }

void TClientDataSet::MergeChangeLog()
{
    auto& states = RowStates();
    for (int row : changeLog_)
        states[row] = Removed;
    changeLog_.clear();
}

void TClientDataSet::CancelUpdates()
{
    TChangeScope change;
    if (changeLog_.empty())
        return;
    const int current = ActiveRow();
    auto& states = RowStates();
    for (int row : changeLog_)
        states[row] = Live;
    changeLog_.clear();
    if (std::find(states.begin(), states.end(), Removed) == states.end())
        states.clear();
    ResyncAfterHiding(current < 0 ? 0 : current);
}
