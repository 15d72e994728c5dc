#pragma once
// TSplitter: a bar between aligned controls; dragging it resizes the control
// it is aligned against (the one below a bottom-aligned splitter, above a
// top-aligned one, left of a left-aligned one, right of a right-aligned one)
// and the client control takes the rest, never going below MinSize.
//
// TImage: shows a picture; with AutoSize it takes the picture's size.
#include "Bitmap.h"
#include "Controls.h"

class TSplitter : public TControl {
public:
    explicit TSplitter(TComponent* owner);

    int MinSize() const { return minSize_; }
    void SetMinSize(int size) { minSize_ = size; }

    // The control the splitter resizes, or nullptr.
    TControl* Neighbour() const;
    // Moves the splitter by `delta` pixels (down or right when positive),
    // as dragging it does.
    void MoveBy(int delta);

private:
    int minSize_ = 30;
};

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);

    TPicture& Picture() { return picture_; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);

private:
    void PictureChanged();
    TPicture picture_;
    bool autoSize_ = false;
};
