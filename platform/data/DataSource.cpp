#include "DataSource.h"

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource()
{
    // Handlers belong to an owner that may be half destroyed already.
    OnStateChange = nullptr;
    SetDataSet(nullptr);
    for (TDataLink* link : links_)
        link->source_ = nullptr;
}

TDataSetState TDataSource::currentState() const
{
    return dataSet_ && enabled_ ? dataSet_->State() : TDataSetState::dsInactive;
}

void TDataSource::SetDataSet(TDataSet* dataSet)
{
    if (dataSet_ == dataSet)
        return;
    if (dataSet_)
        dataSet_->sources_.removeOne(this);
    dataSet_ = dataSet;
    if (dataSet_)
        dataSet_->sources_.append(this);
    stateChanged();
    tellLinks(TDataSet::ContentNotice);
}

void TDataSource::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    stateChanged();
    tellLinks(TDataSet::ContentNotice);
}

void TDataSource::stateChanged()
{
    const TDataSetState now = currentState();
    if (now == state_)
        return;
    state_ = now;
    OnStateChange(this);
}

void TDataSource::tellLinks(unsigned notices)
{
    const bool active = state_ != TDataSetState::dsInactive;
    void (TDataLink::*tell)() = nullptr;
    if (active != linksActive_)
        tell = &TDataLink::ActiveChanged;
    else if (enabled_ && (notices & TDataSet::ContentNotice))
        tell = &TDataLink::DataSetChanged;
    else if (enabled_ && (notices & TDataSet::ScrollNotice))
        tell = &TDataLink::DataSetScrolled;
    linksActive_ = active;
    if (tell)
        for (TDataLink* link : QList<TDataLink*>(links_))
            (link->*tell)();
}

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* source)
{
    if (source_ == source)
        return;
    if (source_)
        source_->links_.removeOne(this);
    source_ = source;
    if (source_)
        source_->links_.append(this);
    ActiveChanged();
}

bool TDataLink::Active() const { return source_ && source_->State() != TDataSetState::dsInactive; }
