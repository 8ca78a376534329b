// Reading and drawing the picture kinds.
#include "ui/Graphics.h"

#include "cipher/Error.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace mg {

namespace {

// Draws an image scaled to the target; smooth when the size changes.
void DrawImage(QPainter& painter, const QRect& target, const QImage& image)
{
    if (image.isNull() || target.isEmpty())
        return;
    if (target.size() != image.size())
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
}

// Reads every image a Qt reader finds in the bytes with the format named
// explicitly (never guessed from the content); returns the largest. A null
// image when none could be read.
QImage ReadLargest(const std::vector<std::uint8_t>& bytes, const char* format, bool all)
{
    if (bytes.empty())
        return {};
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    QImage best;
    for (int n = 0; n < 256; ++n) {
        QImage image;
        if (!reader.read(&image))
            break;
        if (!image.isNull()
            && qint64(image.width()) * image.height() > qint64(best.width()) * best.height())
            best = image;
        if (!all || !reader.jumpToNextImage())
            break;
    }
    // Detach from the caller's bytes.
    best.detach();
    return best;
}

} // namespace

void TBitmap::Draw(QPainter& painter, const QRect& target) const
{
    DrawImage(painter, target, image_);
}

std::unique_ptr<TGraphic> TBitmap::Clone() const
{
    return std::make_unique<TBitmap>(*this);
}

void TBitmap::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    QImage image = ReadLargest(bytes, "bmp", false);
    if (image.isNull())
        throw Error("Bitmap image is not valid");
    image_ = image;
}

void TIcon::Draw(QPainter& painter, const QRect& target) const
{
    DrawImage(painter, target, image_);
}

std::unique_ptr<TGraphic> TIcon::Clone() const
{
    return std::make_unique<TIcon>(*this);
}

void TIcon::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    QImage image = ReadLargest(bytes, "ico", true);
    if (image.isNull())
        throw Error("Icon image is not valid");
    image_ = image;
}

void TMetafile::Draw(QPainter& painter, const QRect& target) const
{
    if (!renderer_ || target.isEmpty())
        return;
    // Drawn for the device's pixels, so a high-density screen gets its
    // resolution too.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (QSizeF(target.size()) * ratio).toSize();
    if (cached_.isNull() || cachedFor_ != pixels) {
        cached_ = Render(pixels);
        cachedFor_ = pixels;
    }
    DrawImage(painter, target, cached_);
}

QImage TMetafile::Render(const QSize& pixels) const
{
    if (!renderer_ || pixels.isEmpty())
        return {};
    const double shrink = std::min(1.0, double(kMetafileMaxSide) / std::max(pixels.width(), pixels.height()));
    const QSize size(std::max(1, int(pixels.width() * shrink)), std::max(1, int(pixels.height() * shrink)));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer_->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

std::unique_ptr<TGraphic> TMetafile::Clone() const
{
    return std::make_unique<TMetafile>(*this);
}

void TMetafile::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    const MetafileVectors vectors = ConvertMetafile(kind_, bytes);
    auto renderer = std::make_shared<QSvgRenderer>(vectors.svg);
    // The helper drew the same SVG; refusing it here means the helper's
    // answer was not what it claims.
    if (!renderer->isValid())
        throw Error("Metafile image is not valid");
    naturalWidth_ = vectors.naturalWidth;
    naturalHeight_ = vectors.naturalHeight;
    renderer_ = std::move(renderer);
    cached_ = QImage();
    cachedFor_ = QSize();
}

void TJPEGGraphic::Draw(QPainter& painter, const QRect& target) const
{
    if (jpeg_.Empty() || target.isEmpty())
        return;
    const int scale = jpeg_.ScaleFor(target.width(), target.height());
    if (scale != cachedScale_ || !cachedPixels_) {
        // Decode caches per scale inside the shared TJPEGImage, so a copy of
        // this picture (the snapshot) reuses what was decoded here.
        std::shared_ptr<const JpegPixels> pixels = jpeg_.Decode(scale);
        cachedImage_ = QImage(pixels->rgb.data(), pixels->width, pixels->height,
                              qsizetype(pixels->width) * 3, QImage::Format_RGB888);
        cachedPixels_ = std::move(pixels);
        cachedScale_ = scale;
    }
    lastScale_ = scale;
    DrawImage(painter, target, cachedImage_);
}

std::unique_ptr<TGraphic> TJPEGGraphic::Clone() const
{
    return std::make_unique<TJPEGGraphic>(*this);
}

void TJPEGGraphic::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(bytes);
    jpeg_ = jpeg;
    cachedScale_ = 0;
    cachedPixels_.reset();
    cachedImage_ = QImage();
    lastScale_ = 0;
}

} // namespace mg
