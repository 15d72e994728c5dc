#pragma once
// TLabel (a caption, sized to it) and TEdit (one line of text).
//
// TEdit's OnChange runs on every change of the text: typed by the user (inside
// the dispatch boundary) or set by SetText (its exceptions reach the caller of
// SetText). Setting the text it already holds changes nothing.
#include "Controls.h"

class QLabel;
class QLineEdit;

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);

    QString Caption() const;
    void SetCaption(const QString& caption);
    // With AutoSize (the default) the label takes the size of its caption in
    // its font, also after the font changes.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    // The control this label is the caption of: assistive technology names
    // it by the caption (without its outer blanks and a closing colon), now
    // and whenever the caption changes. The label does not own it; a
    // control destroyed first is forgotten.
    void SetFocusControl(TWinControl* control);

protected:
    void FontChanged() override { SetAutoSize(autoSize_); }

private:
    QLabel* Label() const;
    void NameFocusControl() const;
    bool autoSize_ = true;
};

class TCustomEdit : public TWinControl {
public:
    virtual QString Text() const;
    virtual void SetText(const QString& text);
    bool ReadOnly() const;
    void SetReadOnly(bool readOnly);
    // 0: no limit.
    int MaxLength() const;
    void SetMaxLength(int length);

    TNotifyEvent OnChange;

protected:
    TCustomEdit(TComponent* owner, QLineEdit* widget);
    QLineEdit* LineEdit() const;
    QPalette::ColorRole ColorRole() const override { return QPalette::Base; }
    // The text changed: runs OnChange.
    void Change();
};

class TEdit : public TCustomEdit {
public:
    explicit TEdit(TComponent* owner);
};
