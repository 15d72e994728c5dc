#include "MaskUtils.h"

#include "FormatSettings.h"

namespace {

// Splits the mask into its sections at unescaped ';'.
QStringList Sections(const QString& editMask)
{
    QStringList sections{QString()};
    for (int i = 0; i < editMask.size(); ++i) {
        const QChar c = editMask.at(i);
        if (c == u'\\' && i + 1 < editMask.size()) {
            sections.last() += c;
            sections.last() += editMask.at(++i);
        } else if (c == u';' && sections.size() < 3) {
            sections.append(QString());
        } else {
            sections.last() += c;
        }
    }
    return sections;
}

} // namespace

TEditMask::TEditMask(const QString& editMask)
{
    const QStringList sections = Sections(editMask);
    if (sections.size() > 1 && !sections.at(1).isEmpty())
        saveLiterals_ = sections.at(1).at(0) != u'0';
    if (sections.size() > 2 && !sections.at(2).isEmpty())
        blank_ = sections.at(2).at(0);

    const QString& mask = sections.at(0);
    Case letterCase = Case::AsTyped;
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        auto add = [&](Kind kind) { positions_.append({kind, letterCase, QChar()}); };
        auto literal = [&](QChar l) { positions_.append({Kind::Literal, Case::AsTyped, l}); };
        switch (c.unicode()) {
        case '0':
        case '9': add(Kind::Digit); break;
        case '#': add(Kind::DigitOrSign); break;
        case 'L':
        case 'l': add(Kind::Letter); break;
        case 'A':
        case 'a': add(Kind::Alphanumeric); break;
        case 'C':
        case 'c': add(Kind::Any); break;
        case '!': leadingBlanks_ = true; break;
        case '>': letterCase = Case::Upper; break;
        case '<':
            if (i + 1 < mask.size() && mask.at(i + 1) == u'>') {
                letterCase = Case::AsTyped;
                ++i;
            } else {
                letterCase = Case::Lower;
            }
            break;
        case '\\':
            if (i + 1 < mask.size())
                literal(mask.at(++i));
            break;
        case ':': literal(FormatSettings().TimeSeparator); break;
        case '/': literal(FormatSettings().DateSeparator); break;
        case '_': literal(u' '); break;
        default: literal(c); break;
        }
    }
}

int TEditMask::EditableCount() const
{
    int n = 0;
    for (const Position& p : positions_)
        n += p.kind != Kind::Literal;
    return n;
}

QChar TEditMask::Accept(int pos, QChar c) const
{
    const Position& p = positions_.at(pos);
    bool fits = false;
    switch (p.kind) {
    case Kind::Literal: fits = false; break;
    case Kind::Digit: fits = c.isDigit(); break;
    case Kind::DigitOrSign: fits = c.isDigit() || c == u'+' || c == u'-'; break;
    case Kind::Letter: fits = c.isLetter(); break;
    case Kind::Alphanumeric: fits = c.isLetterOrNumber(); break;
    case Kind::Any: fits = c.isPrint(); break;
    }
    if (!fits)
        return QChar();
    switch (p.letterCase) {
    case Case::Upper: return c.toUpper();
    case Case::Lower: return c.toLower();
    case Case::AsTyped: break;
    }
    return c;
}

int TEditMask::NextEditable(int pos) const
{
    while (pos < Length() && IsLiteral(pos))
        ++pos;
    return pos;
}

int TEditMask::PreviousEditable(int pos) const
{
    --pos;
    while (pos >= 0 && IsLiteral(pos))
        --pos;
    return pos;
}

TMaskedText::TMaskedText(const QString& editMask) : mask_(editMask)
{
    slots_.resize(mask_.Length());
    Clear(0, mask_.Length());
}

void TMaskedText::SetText(const QString& value)
{
    // Lays `value` from the editable position `skip` on; returns how many
    // editable positions it reached.
    auto lay = [this, &value](int skip) {
        Clear(0, mask_.Length());
        int used = 0;
        int v = 0;
        for (int pos = 0; pos < mask_.Length() && v < value.size(); ++pos) {
            if (mask_.IsLiteral(pos)) {
                if (value.at(v) == mask_.Literal(pos))
                    ++v;
                continue;
            }
            if (skip > 0) {
                --skip;
                continue;
            }
            const QChar c = value.at(v++);
            if (c != mask_.BlankChar() && c != u' ')
                slots_[pos] = mask_.Accept(pos, c);
            ++used;
        }
        return used;
    };
    const int used = lay(0);
    if (mask_.LeadingBlanks() && used < mask_.EditableCount())
        lay(mask_.EditableCount() - used);
}

QString TMaskedText::DisplayText() const
{
    QString out;
    out.reserve(slots_.size());
    for (int pos = 0; pos < slots_.size(); ++pos)
        out += slots_.at(pos).isNull() ? mask_.BlankChar() : slots_.at(pos);
    return out;
}

bool TMaskedText::IsEmpty() const
{
    for (int pos = 0; pos < slots_.size(); ++pos)
        if (!mask_.IsLiteral(pos) && !slots_.at(pos).isNull())
            return false;
    return true;
}

QString TMaskedText::Text() const
{
    if (IsEmpty())
        return QString();
    QString out;
    for (int pos = 0; pos < slots_.size(); ++pos) {
        const QChar c = slots_.at(pos);
        if (mask_.IsLiteral(pos)) {
            if (mask_.SaveLiterals())
                out += c;
        } else if (!c.isNull()) {
            out += c;
        } else if (mask_.SaveLiterals()) {
            out += u' ';
        }
    }
    return out;
}

int TMaskedText::Type(int pos, QChar c)
{
    pos = mask_.NextEditable(pos);
    if (pos >= mask_.Length())
        return -1;
    const QChar stored = mask_.Accept(pos, c);
    if (stored.isNull())
        return -1;
    slots_[pos] = stored;
    return mask_.NextEditable(pos + 1);
}

void TMaskedText::Clear(int from, int to)
{
    for (int pos = qMax(0, from); pos < qMin(to, mask_.Length()); ++pos)
        slots_[pos] = mask_.IsLiteral(pos) ? mask_.Literal(pos) : QChar();
}

int TMaskedText::Backspace(int pos)
{
    const int target = mask_.PreviousEditable(pos);
    if (target < 0)
        return pos;
    slots_[target] = QChar();
    return target;
}

void TMaskedText::Delete(int pos)
{
    pos = mask_.NextEditable(pos);
    if (pos < mask_.Length())
        slots_[pos] = QChar();
}

int TMaskedText::FreePosition() const
{
    int pos = mask_.Length();
    while (pos > 0 && (mask_.IsLiteral(pos - 1) || slots_.at(pos - 1).isNull()))
        --pos;
    return mask_.NextEditable(pos);
}

QString FormatMaskText(const QString& editMask, const QString& value)
{
    TMaskedText text(editMask);
    if (text.Mask().IsEmpty())
        return value;
    text.SetText(value);
    return text.DisplayText();
}
