#pragma once
// The two controls of the IUM reading screen that the platform has no
// counterpart for.
//
// TScanEdit: the scan field. A keyboard-wedge scanner types the GS1 group
// separator as the character 29 (the key Ctrl+]); a line edit drops control
// characters, so the field puts IumReading::GroupSeparatorMark in its place,
// which IumReading::ScanToCode turns back into 29.
//
// TReadingLog: the results of the scans, newest first, each line in its own
// colour, wrapped to the list's width. A line may be replaced where it
// stands (a scan waiting for the server, by its outcome). It never takes the
// focus, so the scan field keeps it.
#include "ui/Graphics.h"
#include "ui/StdCtrls.h"

class QListWidget;

class TScanEdit : public TCustomEdit {
public:
    explicit TScanEdit(TComponent* owner);

protected:
    bool WidgetEvent(QEvent* event) override;
};

class TReadingLog : public TControl {
public:
    explicit TReadingLog(TComponent* owner);

    // Puts a line on top; `hint` is its tool tip. Returns the line's key.
    int Add(const QString& text, TColor color, const QString& hint);
    // Gives line `key` (Add's) a new text, colour and hint where it stands;
    // false when there is no such line.
    bool Replace(int key, const QString& text, TColor color, const QString& hint);
    int Count() const;
    // Line `index`, 0 the newest.
    QString Text(int index) const;
    TColor TextColor(int index) const;
    QString Hint(int index) const;

private:
    QListWidget* List() const;
    int lastKey_ = 0;
};
