#include "ExtCtrls.h"

#include "Dispatch.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

namespace {

class TSplitterWidget : public QWidget {
public:
    TSplitter* splitter = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override { last_ = Along(event); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton))
            return;
        const int now = Along(event);
        const int delta = now - last_;
        last_ = now;
        Dispatch(splitter, [&] { splitter->MoveBy(delta); });
    }

private:
    int Along(QMouseEvent* event) const
    {
        const QPoint p = event->globalPosition().toPoint();
        const TAlign a = splitter->Align();
        return a == TAlign::alLeft || a == TAlign::alRight ? p.x() : p.y();
    }
    int last_ = 0;
};

} // namespace

TSplitter::TSplitter(TComponent* owner) : TControl(owner, new TSplitterWidget)
{
    static_cast<TSplitterWidget*>(Widget())->splitter = this;
    SetAlign(TAlign::alLeft);
    Widget()->setFocusPolicy(Qt::NoFocus);
}

TControl* TSplitter::Neighbour() const
{
    if (!Parent())
        return nullptr;
    QList<TControl*> same;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        TControl* c = Parent()->Controls(i);
        if (c->Align() == Align() && c->Visible())
            same.append(c);
    }
    const qsizetype at = same.indexOf(const_cast<TSplitter*>(this));
    // Bottom and right groups read in declaration order towards their edge.
    const bool towardsEnd = Align() == TAlign::alBottom || Align() == TAlign::alRight;
    const qsizetype n = towardsEnd ? at + 1 : at - 1;
    return n >= 0 && n < same.size() ? same.at(n) : nullptr;
}

void TSplitter::MoveBy(int delta)
{
    TControl* neighbour = Neighbour();
    if (!neighbour || delta == 0)
        return;
    const bool vertical = Align() == TAlign::alTop || Align() == TAlign::alBottom;
    const bool grows = Align() == TAlign::alTop || Align() == TAlign::alLeft;
    const int size = vertical ? neighbour->Height() : neighbour->Width();
    // The client control gives what the neighbour takes.
    int room = 0;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        TControl* c = Parent()->Controls(i);
        if (c->Align() == TAlign::alClient && c->Visible())
            room = (vertical ? c->Height() : c->Width()) - minSize_;
    }
    int wanted = size + (grows ? delta : -delta);
    wanted = qBound(minSize_, wanted, size + qMax(0, room));
    if (wanted == size)
        return;
    if (vertical)
        neighbour->SetHeight(wanted);
    else
        neighbour->SetWidth(wanted);
}

TImage::TImage(TComponent* owner) : TControl(owner, new QLabel)
{
    picture_.Bitmap().OnChange = [this] { PictureChanged(); };
}

void TImage::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    PictureChanged();
}

void TImage::PictureChanged()
{
    const TBitmap& b = picture_.Bitmap();
    auto* label = static_cast<QLabel*>(Widget());
    label->setPixmap(QPixmap::fromImage(b.Transparent() ? b.MaskedImage() : b.Image()));
    if (autoSize_ && !b.Empty())
        SetBounds(Left(), Top(), b.Width(), b.Height());
}
