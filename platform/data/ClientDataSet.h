#pragma once
// TClientDataSet: an in-memory data set filled with whole data packets.
//
// Content comes only through SetData; Data gives it back as a packet that
// shares storage with what was loaded as long as no row was deleted.
// Deleting a row hides it and records the deletion in the change log:
//
//   change log empty --Delete()--> pending deletions
//   pending --MergeChangeLog()--> empty (the rows are gone for good)
//   pending --CancelUpdates()--> empty (the rows are back where they were)
//
// Delta is a packet of the pending deleted rows with their original values,
// in the order they were deleted. A deletion never touches the shared packet,
// so other data sets holding it see no change.
#include "data/DataSet.h"

class TClientDataSet : public TDataSet {
public:
    explicit TClientDataSet(TComponent* owner = nullptr);

    // Replaces the content and opens the data set on its first row (AfterScroll
    // runs). A packet that lacks a persistent field, or carries it with another
    // kind, raises EDatabaseError naming the field; the data set keeps what it held.
    void SetData(const TDataPacket& packet);
    // The current content without deleted rows; shares storage when nothing was deleted.
    TDataPacket Data() const;

    // Deletes the current row: records it in the change log, runs AfterDelete,
    // then AfterScroll when a row is current. Raises EDatabaseError on a
    // closed or empty data set.
    void Delete();
    int ChangeCount() const { return int(changeLog_.size()); }
    TDataPacket Delta() const;
    void MergeChangeLog();
    void CancelUpdates();

protected:
    void DoClose() override;

private:
    enum RowState : unsigned char { Live = 0, Pending = 1, Removed = 2 };
    std::vector<int> changeLog_;  // packet rows, in deletion order
};
