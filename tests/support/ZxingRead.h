#pragma once
// The symbols of an image as ZXing-C++ reads them: what the tests compare
// with what the project meant to draw.
#include <QImage>
#include <QList>
#include <QString>

struct TZxingRead {
    QString Text;                 // the content, GS1 separators as the character 29
    QString SymbologyIdentifier;  // "]d2" for a GS1 DataMatrix; empty when nothing was read
};

// The one symbol of `image` (DataMatrix only); an empty read when there is none.
TZxingRead ZxingRead(const QImage& image);
