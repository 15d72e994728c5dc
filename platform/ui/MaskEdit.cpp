#include "MaskEdit.h"

#include "Application.h"
#include "Dispatch.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

namespace {

class TMaskLineEdit : public QLineEdit {
public:
    TMaskEdit* edit = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!edit->MaskKey(event))
            QLineEdit::keyPressEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        QLineEdit::mousePressEvent(event);
        edit->MaskClicked();
    }
};

} // namespace

TMaskEdit::TMaskEdit(TComponent* owner) : TCustomEdit(owner, new TMaskLineEdit)
{
    static_cast<TMaskLineEdit*>(LineEdit())->edit = this;
    // Pastes and drops would bypass the mask; Ctrl+V goes through MaskKey.
    LineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    LineEdit()->setAcceptDrops(false);
}

void TMaskEdit::SetEditMask(const QString& mask)
{
    const QString current = Text();
    editMask_ = mask;
    text_ = TMaskedText(mask);
    if (Masked()) {
        LineEdit()->setMaxLength(32767);
        text_.SetText(current);
        Render(0, false);
    } else {
        LineEdit()->setText(current);
    }
}

QString TMaskEdit::EditText() const
{
    return LineEdit()->text();
}

QString TMaskEdit::Text() const
{
    return Masked() ? text_.Text() : TCustomEdit::Text();
}

void TMaskEdit::SetText(const QString& text)
{
    if (!Masked()) {
        TCustomEdit::SetText(text);
        return;
    }
    text_.SetText(text);
    Render(0, false);
}

void TMaskEdit::Render(int cursor, bool typed)
{
    const QString shown = text_.DisplayText();
    if (shown == LineEdit()->text()) {
        LineEdit()->setCursorPosition(cursor);
        return;
    }
    LineEdit()->setText(shown);
    LineEdit()->setCursorPosition(cursor);
    if (typed)
        Dispatch(this, [this] { Change(); });
    else
        Change();
}

int TMaskEdit::TypingPosition(int pos) const
{
    return qMin(pos, text_.FreePosition());
}

void TMaskEdit::MaskClicked()
{
    if (!Masked() || LineEdit()->hasSelectedText())
        return;
    const int pos = LineEdit()->cursorPosition();
    if (TypingPosition(pos) != pos)
        LineEdit()->setCursorPosition(TypingPosition(pos));
}

void TMaskEdit::Refuse(int pos, QChar c) const
{
    QApplication::beep();
    if (!Application)
        return;
    const TEditMask& mask = text_.Mask();
    pos = mask.NextEditable(pos);
    QString why;
    if (pos >= mask.Length())
        why = QStringLiteral("O campo está completo: apague antes de digitar.");
    else if (!mask.Accept(pos, u'0').isNull() && mask.Accept(pos, u'A').isNull())
        why = QStringLiteral("Este campo aceita somente dígitos nesta posição.");
    else if (mask.Accept(pos, u'0').isNull() && !mask.Accept(pos, u'A').isNull())
        why = QStringLiteral("Este campo aceita somente letras nesta posição.");
    else
        why = QStringLiteral("Este campo não aceita o caractere '%1' nesta posição.").arg(c);
    Application->SetHint(why);
}

bool TMaskEdit::MaskKey(QKeyEvent* event)
{
    if (!Masked() || ReadOnly())
        return false;
    QLineEdit* line = LineEdit();
    const bool selection = line->hasSelectedText();
    if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
        line->setCursorPosition(event->key() == Qt::Key_Home ? text_.Mask().NextEditable(0) : text_.FreePosition());
        return true;
    }
    const int from = selection ? line->selectionStart() : TypingPosition(line->cursorPosition());
    const int to = selection ? from + int(line->selectedText().size()) : from;

    auto typeText = [&](const QString& chars) {
        text_.Clear(from, to);
        int pos = from;
        for (QChar c : chars) {
            const int next = text_.Type(pos, c);
            if (next >= 0)
                pos = next;
        }
        Render(pos, true);
    };

    if (event->matches(QKeySequence::Paste)) {
        typeText(QApplication::clipboard()->text());
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        line->copy();
        text_.Clear(from, to);
        Render(from, true);
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        if (selection) {
            text_.Clear(from, to);
            Render(from, true);
        } else {
            Render(text_.Backspace(from), true);
        }
        return true;
    case Qt::Key_Delete:
        if (selection)
            text_.Clear(from, to);
        else
            text_.Delete(from);
        Render(from, true);
        return true;
    default: break;
    }
    const QString typed = event->text();
    if (typed.size() != 1 || !typed.at(0).isPrint() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    TMaskedText before = text_;
    text_.Clear(from, to);
    const int next = text_.Type(from, typed.at(0));
    if (next < 0) {
        text_ = before;
        Refuse(from, typed.at(0));
        return true;
    }
    Render(next, true);
    return true;
}
