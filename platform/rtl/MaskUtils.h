#pragma once
// Edit masks: the one engine behind the masked edit and FormatMaskText.
//
// A mask has up to three sections separated by ';':
//   mask ; save-literals ; blank
// The save-literals section is '0' when the text of the edit holds only the
// characters typed (literals left out) and anything else when it keeps the
// literals (the default). The blank section's first character stands for an
// unfilled position in the displayed text (default '_').
//
// Mask characters:
//   0 digit, required        9 digit, optional        # digit, '+' or '-', optional
//   L letter, required       l letter, optional
//   A letter or digit, req.  a letter or digit, optional
//   C any character, req.    c any character, optional
//   >  upper case from here  <  lower case from here  <>  case as typed again
//   !  a value shorter than the mask fills its last positions (leading blanks)
//   \  the next character is a literal
//   :  time separator        /  date separator (both from the format settings)
//   _  a literal blank
// Any other character is a literal shown as is. Required and optional
// positions take the same characters; nothing here refuses an incomplete text.
//
// Written by hand because Qt's input masks differ in grammar ('9' and '0'
// swap meaning, no save-literals or blank sections) and keep no separate
// "text without literals"; both the edit and the field display need this one.
#include <QChar>
#include <QList>
#include <QString>

// A parsed mask. Positions are display positions (one per character shown).
class TEditMask {
public:
    explicit TEditMask(const QString& editMask = QString());

    bool IsEmpty() const { return positions_.isEmpty(); }
    bool SaveLiterals() const { return saveLiterals_; }
    QChar BlankChar() const { return blank_; }
    bool LeadingBlanks() const { return leadingBlanks_; }

    int Length() const { return int(positions_.size()); }
    int EditableCount() const;
    bool IsLiteral(int pos) const { return positions_.at(pos).kind == Kind::Literal; }
    QChar Literal(int pos) const { return positions_.at(pos).literal; }
    // The character as it is stored at `pos` (case applied), or a null QChar
    // when the position does not take it.
    QChar Accept(int pos, QChar c) const;

    // First editable position at or after `pos`, or Length() when none.
    int NextEditable(int pos) const;
    // Last editable position before `pos`, or -1 when none.
    int PreviousEditable(int pos) const;

private:
    enum class Kind { Literal, Digit, DigitOrSign, Letter, Alphanumeric, Any };
    enum class Case { AsTyped, Upper, Lower };
    struct Position {
        Kind kind;
        Case letterCase;
        QChar literal;
    };
    QList<Position> positions_;
    bool saveLiterals_ = true;
    QChar blank_ = u'_';
    bool leadingBlanks_ = false;
};

// The contents of a masked text: one slot per display position; a literal's
// slot always holds the literal, an editable slot holds its character or is
// unfilled. Edit operations return the cursor position that follows them.
class TMaskedText {
public:
    explicit TMaskedText(const QString& editMask = QString());

    const TEditMask& Mask() const { return mask_; }

    // Replaces the contents by `value`, read as the text of the edit: each
    // character goes to the next editable position; a character equal to the
    // literal at its place is taken as that literal; a blank leaves its
    // position unfilled, and so does a character the position does not take.
    // Characters beyond the mask are dropped.
    void SetText(const QString& value);
    // Literals and characters, the blank character where nothing is filled.
    QString DisplayText() const;
    // What the edit reads: "" when nothing is filled; otherwise, without saved
    // literals, the filled characters alone; with them, the display text with
    // a space in every unfilled position.
    QString Text() const;
    bool IsEmpty() const;

    // Types `c` at the first editable position at or after `pos`. Returns the
    // position after it, or -1 when the character is refused (nothing changes).
    int Type(int pos, QChar c);
    // Empties the editable positions in [from, to).
    void Clear(int from, int to);
    // Empties the editable position before `pos`; returns where the cursor goes.
    int Backspace(int pos);
    // Empties the editable position at or after `pos`; the cursor stays.
    void Delete(int pos);
    // Where typing goes on: the first editable position after the last filled
    // one (the first editable position when none is filled), or Length()
    // when the last editable position is filled.
    int FreePosition() const;

private:
    TEditMask mask_;
    QList<QChar> slots_; // null QChar = unfilled
};

// `value` laid into the mask as TMaskedText::SetText reads it, shown with its
// literals and the mask's blank character. An empty mask returns `value`.
QString FormatMaskText(const QString& editMask, const QString& value);
