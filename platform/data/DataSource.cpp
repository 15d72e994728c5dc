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
    dataSetChanged();
}

void TDataSource::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    stateChanged();
    dataSetChanged();
}

void TDataSource::stateChanged()
{
    const TDataSetState now = currentState();
    if (now == state_)
        return;
    const bool activeChanged = (now == TDataSetState::dsInactive) != (state_ == TDataSetState::dsInactive);
    state_ = now;
    if (activeChanged)
        for (TDataLink* link : QList<TDataLink*>(links_))
            link->ActiveChanged();
    OnStateChange(this);
}

void TDataSource::dataSetChanged()
{
    if (!enabled_)
        return;
    for (TDataLink* link : QList<TDataLink*>(links_))
        link->DataSetChanged();
}

void TDataSource::scrolled()
{
    if (!enabled_)
        return;
    for (TDataLink* link : QList<TDataLink*>(links_))
        link->DataSetScrolled();
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
