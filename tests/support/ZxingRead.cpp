#include "ZxingRead.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

TZxingRead ZxingRead(const QImage& image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                                int(grey.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    hints.setTryHarder(true);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid())
        return {};
    return {QString::fromStdString(result.text()), QString::fromStdString(result.symbologyIdentifier())};
}
