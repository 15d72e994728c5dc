#pragma once
// TLookupListDialog: the list a lookup button shows (the interactive
// answer to the dialog service's LookupList).
//
// A data grid over the request's data source shows the data set's visible
// fields, titled with their display labels, each text as the field shows it
// (display format, edit mask, OnGetText); moving in the list moves the data
// set's cursor. When first shown, the columns take the width of their
// titles and of the texts in view, and the dialog the width of the list
// (within 360 to 900 pixels). Keys:
//   - typing finds: the typed text so far (shown under the list) moves the
//     cursor to the first row whose first visible column starts with it,
//     case-insensitively; a character that would match no row is refused
//     with a beep; Backspace takes the last character back; moving with the
//     arrow or page keys starts a new text;
//   - Enter or a double click picks the current row (Accepted);
//   - Esc cancels (Rejected); putting the cursor back is the caller's.
// Handlers the moves run (AfterScroll) run inside the dispatch boundary.
#include "ui/Dialogs.h"

#include <QDialog>
#include <memory>

class QLabel;
class TDBGrid;

class TLookupListDialog : public QDialog {
public:
    explicit TLookupListDialog(const TLookupListRequest& request, QWidget* parent = nullptr);
    ~TLookupListDialog() override;

    TDBGrid* Grid() const { return grid_; }
    QString TypedText() const { return typed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Finds the first row for `text`; false when none matches.
    bool Find(const QString& text);
    void SetTyped(const QString& text);

    std::unique_ptr<TComponent> owner_; // owns the grid
    TDBGrid* grid_;
    QLabel* typedLabel_;
    QString typed_;
    bool fitted_ = false;
};

// Shows the list modally over the active window (DialogPlacement.h); true
// when a row was picked.
bool RunLookupList(const TLookupListRequest& request);
