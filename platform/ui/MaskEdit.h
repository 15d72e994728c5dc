#pragma once
// TMaskEdit: an edit whose text follows an edit mask (rtl/MaskUtils.h).
// The user types over the mask's positions; literals are skipped, characters
// a position does not take are refused, and the refusal says why in
// Application->Hint (besides the beep). The caret never rests in the empty
// part after what is filled: a click there, End, or typing there all go to
// the first free position (TMaskedText::FreePosition), so digits never land
// after blanks. Home goes to the first editable position. Backspace and
// Delete empty one position and leave the literals where they are.
// Text() reads as the mask says
// (without literals for "...;0;...", "" while nothing is filled); SetText
// lays a value into the mask. Without a mask it is a plain edit.
//
// With a mask the mask bounds the length; MaxLength applies to plain text.
#include "StdCtrls.h"
#include "rtl/MaskUtils.h"

class QKeyEvent;

class TMaskEdit : public TCustomEdit {
public:
    explicit TMaskEdit(TComponent* owner);

    QString EditMask() const { return editMask_; }
    // Keeps the current text, laid into the new mask.
    void SetEditMask(const QString& mask);
    // The text with literals and blanks, as shown.
    QString EditText() const;

    QString Text() const override;
    void SetText(const QString& text) override;

    // The widget's key handling while a mask is set; true when handled.
    bool MaskKey(QKeyEvent* event);
    // The widget placed the caret with the mouse: keeps it out of the
    // empty part after what is filled.
    void MaskClicked();

private:
    bool Masked() const { return !text_.Mask().IsEmpty(); }
    // Shows the masked text with the cursor at `cursor`; runs OnChange when
    // the shown text changed (`typed`: inside the dispatch boundary).
    void Render(int cursor, bool typed);
    // The caret position that typing uses for `pos`: never past the first
    // free position.
    int TypingPosition(int pos) const;
    // Beeps and says in Application->Hint why `c` cannot go at `pos`.
    void Refuse(int pos, QChar c) const;

    QString editMask_;
    TMaskedText text_;
};
