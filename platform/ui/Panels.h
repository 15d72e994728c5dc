#pragma once
// Containers: TPanel (bevels, border width, caption) and TGroupBox (a
// caption over a frame). Both lay out their aligned children inside their
// frame and have OnEnter/OnExit like any container.
#include "Controls.h"

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);

    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut cut);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut cut);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    QRect AlignRect() const override;
    void Paint(QPainter& painter) const;

private:
    void Changed();
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
    TBevelCut bevelInner_ = TBevelCut::bvNone;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    QString caption_;
};

// The group box's font is its caption's: the controls placed in it sit on a
// client widget of their own and keep the font they had.
class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* owner);

    QString Caption() const;
    void SetCaption(const QString& caption);

    QWidget* ClientWidget() const override { return client_; }

protected:
    void Aligned(const QRect& remainder) override;

private:
    QWidget* client_;
};
