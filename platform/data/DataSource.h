#pragma once
// TDataSource joins a data set to the controls that show it. Controls watch a
// data source through a TDataLink. The data set tells its data sources of
// every change unless its controls are disabled; a disabled data source
// (Enabled false) passes nothing on and reports its state as inactive.
//
// OnStateChange runs each time the state a data source sees changes: opening,
// closing, and a reload (which passes through inactive to browse), at the
// moment it changes. The links hear of the data set's changes coalesced, once
// the outermost change in progress has finished (see TDataSet): one call per
// link, the first that applies of ActiveChanged (opened or closed since they
// last heard), DataSetChanged (content, filter or a move together with them),
// DataSetScrolled (only the cursor moved). A reload heard as a whole is a
// DataSetChanged. Attaching a link, changing the data set or Enabled tell
// the links at once.
//
// Lifetimes: destroying a data set detaches it from its data sources;
// destroying a data source detaches its links; a link detaches itself when
// destroyed.
#include "data/DataSet.h"
#include "rtl/Classes.h"
#include "rtl/Closure.h"

#include <QList>

class TDataLink;

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    TDataSetState State() const { return state_; }

    TNotifyEvent OnStateChange;

private:
    friend class TDataSet;
    friend class TDataLink;
    // Follows the data set's state and runs OnStateChange when it changed.
    void stateChanged();
    // Tells the links what the data set's notices (TDataSet::Notice bits) mean for them.
    void tellLinks(unsigned notices);
    TDataSetState currentState() const;

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    TDataSetState state_ = TDataSetState::dsInactive;
    bool linksActive_ = false;  // whether the links last heard of an open data set
    QList<TDataLink*> links_;
};

// A control's view of a data source. Override what the control must react to.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return source_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
    // The data source is enabled and its data set open.
    bool Active() const;

protected:
    // None of these may raise: they run when a change ends, also while an
    // error raised by an event handler is on its way out.
    friend class TDataSource;
    virtual void ActiveChanged() {}   // opened or closed: read everything again
    virtual void DataSetChanged() {}  // rows, content, filter (and maybe the cursor) changed: read everything again
    virtual void DataSetScrolled() {} // only the cursor moved

private:
    TDataSource* source_ = nullptr;
};
