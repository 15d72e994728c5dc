#pragma once
// The screen's pictures, drawn in code: tool-button glyphs (two states side
// by side: as shown, and greyed for the disabled button) and the pictures of
// the tool bar's hidden images.
#include "ui/Bitmap.h"

enum class GlyphKind { Insert, Edit, Delete, Search, Refresh, Cancel, Confirm, Print, Lookup };

// A 32 × 16 two-state glyph; its bottom-left pixel is the transparent colour.
TBitmap MakeGlyph(GlyphKind kind);

enum class PictureKind { Yellow, Green, Blue, Red, BarCode, BarCodeOK, Grey, Uncheck, Check, Descheck };

// A 16 × 16 picture. BarCode is black bars on olive (128, 128, 0), olive
// being the colour the invoice grid treats as transparent.
TBitmap MakePicture(PictureKind kind);
