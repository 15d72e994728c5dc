// The edit-mask engine (rtl/MaskUtils.h): a mask from the host's settings,
// a text laid into it (FormatMaskText, SetText) and the edits of a masked
// edit at cursor positions on the mask (0 to its length).
//
// Input: mask NUL text NUL edits, each edit two bytes: the operation and
// the position, then, for typing, the character is the next byte.
#include "Fuzz.h"

#include "rtl/MaskUtils.h"

namespace {

void CheckShape(const TMaskedText& text)
{
    const TEditMask& mask = text.Mask();
    const QString shown = text.DisplayText();
    Fuzz::Require(shown.size() == mask.Length(), "one displayed character per position");
    for (int pos = 0; pos < mask.Length(); ++pos)
        Fuzz::Require(!mask.IsLiteral(pos) || shown.at(pos) == mask.Literal(pos), "literals are always shown");
    Fuzz::Require(text.IsEmpty() == text.Text().isEmpty(), "an empty text reads as nothing");
    const int free = text.FreePosition();
    Fuzz::Require(free >= 0 && free <= mask.Length(), "typing goes on inside the mask");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArrayView> parts = Fuzz::Split(Fuzz::Bytes(data, size), 3);
    const QString maskText = QString::fromUtf8(parts[0]);
    const QString value = QString::fromUtf8(parts[1]);
    const QByteArrayView edits = parts[2];

    const QString formatted = FormatMaskText(maskText, value);
    TMaskedText text(maskText);
    text.SetText(value);
    Fuzz::Require(text.Mask().IsEmpty() ? formatted == value : formatted == text.DisplayText(),
                  "FormatMaskText shows what the edit shows");
    CheckShape(text);

    const int length = text.Mask().Length();
    for (qsizetype i = 0; i + 1 < edits.size(); i += 2) {
        const int pos = quint8(edits[i + 1]) % (length + 1);
        switch (quint8(edits[i]) % 4) {
        case 0: {
            const QChar c = i + 2 < edits.size() ? QChar(quint8(edits[++i + 1])) : QChar(u'0');
            const int after = text.Type(pos, c);
            Fuzz::Require(after == -1 || (after > pos && after <= length), "typing moves the cursor on");
            break;
        }
        case 1: {
            const int after = text.Backspace(pos);
            Fuzz::Require(after >= 0 && after <= pos, "a backspace moves the cursor back or leaves it");
            break;
        }
        case 2: text.Delete(pos); break;
        default: text.Clear(pos, pos + quint8(edits[i]) / 4); break;
        }
        CheckShape(text);
    }
    return 0;
}
