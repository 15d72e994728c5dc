#pragma once
// TDataSet: what every data set shares — fields, content, cursor, state,
// filtering, events and the notifications to data sources. A kind of data set
// (TClientDataSet, the framework's SQL query) fills it with a packet through
// LoadPacket().
//
// States and the calls behind each transition:
//
//   dsInactive --LoadPacket()--> dsBrowse --Close()--> dsInactive
//   dsBrowse  --LoadPacket()--> dsBrowse   (a reload: notifies inactive, then browse)
//
// (dsEdit and dsInsert exist for the data sources' sake; nothing here edits.)
//
// The content is a shared, immutable TDataPacket plus an overlay of hidden
// rows (deleted, or deleted and merged); the visible rows are the live rows
// that pass the filter, in packet order. The cursor is a position among them.
//
// Events: AfterScroll runs after every move that lands on a row — First and
// Last always (also on an empty data set), Next/Prior/MoveBy only when the
// cursor moved, Locate when found, a load, and switching filtering on.
// Exceptions from handlers propagate to whoever moved the cursor.
//
// Notifications: a data source hears of every change of state at once and
// runs its OnStateChange then. The links behind it (grids) hear of changes
// of content, filter and cursor coalesced: every operation that changes the
// cursor or the content (moves, loads, filtering, deletions) is a change,
// and the event handlers it runs make changes nested inside it. Links hear
// once, when the outermost change in progress on any data set has finished,
// with the final state: a handler that switches a detail's filter off, sets
// a new one and switches it on again, or walks a copy whose own handler
// refilters another data set, costs each link one notice, never one per
// intermediate state. AfterScroll and the other events still run at every
// step.
//
// Controls: while DisableControls is in force (it nests), data sources and
// their links hear nothing; the last EnableControls tells them the content
// changed.
#include "data/DataPacket.h"
#include "data/Field.h"
#include "data/FilterExpression.h"
#include "rtl/Classes.h"
#include "rtl/Closure.h"

#include <QFlags>
#include <QList>
#include <QVariant>

#include <vector>

class TDataSource;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TLocateOption { loCaseInsensitive = 0x1, loPartialKey = 0x2 };
Q_DECLARE_FLAGS(TLocateOptions, TLocateOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TLocateOptions)

using TDataSetNotifyEvent = TEvent<TDataSet*>;

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* owner = nullptr);
    ~TDataSet() override;

    // --- fields
    int FieldCount() const { return int(fields_.size()); }
    TField* Fields(int index) const { return fields_.at(index); }
    TField* FindField(const QString& name) const;  // case-insensitive; nullptr when none
    TField* FieldByName(const QString& name) const;  // raises EDatabaseError naming the field

    // --- life cycle
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    TDataSetState State() const { return state_; }
    virtual void Open();  // raises EDatabaseError when the kind has nothing to open
    void Close();         // keeps the filter; forgets content, overlay and cursor
    void SetActive(bool active);

    // --- cursor (visible rows only)
    bool IsEmpty() const { return RecordCount() == 0; }  // a closed data set is empty
    int RecordCount() const;
    int RecNo() const { return cursor_ + 1; }  // 0 when there is no current row
    void SetRecNo(int recNo);
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);  // the distance actually moved
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    // Finds the first visible row whose fields (names separated by ';') hold
    // the values (one QVariant, or a QVariantList for several fields).
    // Found: moves there and runs AfterScroll. Not found: false, nothing moves.
    bool Locate(const QString& fieldNames, const QVariant& values, TLocateOptions options);

    // --- filtering
    const QString& Filter() const { return filter_.Text(); }
    void SetFilter(const QString& text);  // raises EDatabaseError for a bad expression, keeping the old one
    bool Filtered() const { return filtered_; }
    // On: (re)filters, goes to the first visible row, runs AfterScroll — also
    // when filtering was on already. Off: keeps the current row; AfterScroll
    // only when the current row changes.
    void SetFiltered(bool on);

    // --- controls
    void DisableControls() { ++disableCount_; }
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    TDataSetNotifyEvent AfterScroll;
    TDataSetNotifyEvent AfterDelete;

    // The packet row the fields read (the display row or the cursor's), -1 when none.
    int ActiveRow() const;
    // The row of the packet at a visible position (0-based).
    int VisibleRow(int position) const;
    const TDataPacket& Packet() const { return packet_; }

protected:
    // Replaces the content with `packet`, opens the data set on its first
    // visible row and runs AfterScroll. Persistent fields must all be in the
    // packet with their kind, else EDatabaseError naming the field and the
    // data set keeps what it held. With no persistent fields, fields are made
    // from the packet.
    void LoadPacket(const TDataPacket& packet);
    // Hidden-row overlay: 0 live, anything else hidden. Empty means all live.
    std::vector<unsigned char>& RowStates() { return rowStates_; }
    const std::vector<unsigned char>& RowStates() const { return rowStates_; }
    // Rebuilds the visible rows after a change of the overlay, putting the
    // cursor on `preferredRow` when visible, else on the visible row that
    // follows it, else the last one.
    void ResyncAfterHiding(int preferredRow);
    void DoAfterScroll();
    void NotifyDataSetChanged();
    virtual void DoClose() {}

    // Makes everything done while it lives one change for the links (see
    // Notifications above). Every operation of a kind of data set that moves
    // the cursor or changes the content holds one.
    class TChangeScope {
    public:
        TChangeScope();
        ~TChangeScope();
        TChangeScope(const TChangeScope&) = delete;
        TChangeScope& operator=(const TChangeScope&) = delete;
    };

private:
    friend class TField;
    friend class TDataSource;
    friend class TDisplayRowScope;

    // What the links have not heard yet, as bits.
    enum Notice : unsigned { StateNotice = 1, ContentNotice = 2, ScrollNotice = 4 };
    void notify(Notice notice);
    static void deliverPending();
    void setState(TDataSetState state);
    void rebuildView();
    void moveTo(int position);  // no event
    int positionOf(int row) const;  // visible position of a packet row, -1 when hidden
    void attachField(TField* field);
    void detachField(TField* field);
    void bindFields();
    void clearDynamicFields();

    QList<TField*> fields_;
    QList<TField*> dynamicFields_;
    QList<TDataSource*> sources_;
    TDataSetState state_ = TDataSetState::dsInactive;

    TDataPacket packet_;
    std::vector<unsigned char> rowStates_;
    bool viewAll_ = true;      // every packet row visible, view_ unused
    std::vector<int> view_;    // visible packet rows, ascending
    int cursor_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    int displayRow_ = -1;      // set by TDisplayRowScope

    TFilterExpression filter_;
    TFilterExpression::Bound bound_;
    bool filtered_ = false;

    int disableCount_ = 0;
    bool pendingNotice_ = false;
    unsigned linkNotices_ = 0;
};

// Makes the fields of a data set read the visible row `position` for as long
// as the scope lives, without moving the cursor and without any event (grids
// and lists draw rows with it).
class TDisplayRowScope {
public:
    TDisplayRowScope(TDataSet* dataSet, int position);
    ~TDisplayRowScope();
    TDisplayRowScope(const TDisplayRowScope&) = delete;
    TDisplayRowScope& operator=(const TDisplayRowScope&) = delete;

private:
    TDataSet* dataSet_;
    int saved_;
};
