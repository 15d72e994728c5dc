#include "GlyphLine.h"

#include <QFont>
#include <QGlyphRun>
#include <QPainter>

#include <algorithm>

namespace {

// The raw form of the font last laid out in, with its ellipsis glyph (finding
// it costs about what shaping a short text does).
struct TRawFontCache {
    QFont font;
    QRawFont raw;
    quint32 ellipsis = 0;  // 0: the font has none
    qreal ellipsisAdvance = 0;

    const QRawFont& For(const QFont& wanted)
    {
        if (raw.isValid() && wanted == font)
            return raw;
        font = wanted;
        raw = QRawFont::fromFont(wanted);
        ellipsis = 0;
        ellipsisAdvance = 0;
        const QChar dots(0x2026);
        int count = 1;
        if (raw.isValid() && raw.glyphIndexesForChars(&dots, 1, &ellipsis, &count) && count == 1 && ellipsis != 0) {
            QPointF advance;
            raw.advancesForGlyphIndexes(&ellipsis, &advance, 1);
            ellipsisAdvance = advance.x();
        } else {
            ellipsis = 0;
        }
        return raw;
    }
};

TRawFontCache& Cache()
{
    static TRawFontCache cache;
    return cache;
}

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
}

} // namespace

bool TGlyphLine::Layout(const QFont& font, const QString& text)
{
    glyphs_.clear();
    advances_.clear();
    width_ = 0;
    TRawFontCache& cache = Cache();
    raw_ = cache.For(font);
    ellipsis_ = cache.ellipsis;
    ellipsisAdvance_ = cache.ellipsisAdvance;
    const QRawFont& raw = raw_;
    if (!raw.isValid())
        return false;
    int count = int(text.size());
    glyphs_.resize(count);
    advances_.resize(count);
    if (count == 0)
        return true;
    if (!raw.glyphIndexesForChars(text.constData(), count, glyphs_.data(), &count))
        return false;
    glyphs_.resize(count);
    advances_.resize(count);
    // A missing glyph is acceptable only for a control character (one glyph
    // per character then, since none is a surrogate).
    const auto missing = std::count(glyphs_.cbegin(), glyphs_.cend(), 0u);
    if (missing > 0 && (count != text.size() || missing != std::count_if(text.cbegin(), text.cend(), IsControl)))
        return false;
    raw.advancesForGlyphIndexes(glyphs_.constData(), advances_.data(), count, QRawFont::KernedAdvances);
    for (const QPointF& advance : std::as_const(advances_))
        width_ += advance.x();
    return true;
}

void TGlyphLine::Elide(qreal width)
{
    if (width_ <= width)
        return;
    qsizetype kept = 0;
    width_ = 0;
    while (kept < glyphs_.size() && width_ + advances_[kept].x() + ellipsisAdvance_ <= width)
        width_ += advances_[kept++].x();
    glyphs_.resize(kept);
    advances_.resize(kept);
    if (ellipsis_ != 0) {
        glyphs_.append(ellipsis_);
        advances_.append(QPointF(ellipsisAdvance_, 0));
        width_ += ellipsisAdvance_;
    }
}

void TGlyphLine::Draw(QPainter* painter, const QPointF& origin) const
{
    if (glyphs_.isEmpty())
        return;
    positions_.resize(advances_.size());
    qreal x = 0;
    for (qsizetype i = 0; i < advances_.size(); ++i) {
        positions_[i] = QPointF(x, 0);
        x += advances_[i].x();
    }
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setRawData(glyphs_.constData(), positions_.constData(), int(glyphs_.size()));
    painter->drawGlyphRun(origin, run);
}
