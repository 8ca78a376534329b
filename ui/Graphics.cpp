// Reading and drawing the picture kinds.
#include "ui/Graphics.h"

#include "cipher/Error.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <climits>

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

} // namespace

void ApplyPictureBudget()
{
    // Qt's own limit (128 MB by default) would refuse valid pictures far
    // below what a JPEG may take; every kind gets the same budget.
    const std::uint64_t megabytes = std::max<std::uint64_t>(PictureMemoryBudget() >> 20, 1);
    QImageReader::setAllocationLimit(static_cast<int>(std::min<std::uint64_t>(megabytes, INT_MAX)));
}

void CheckDecodedSize(int width, int height)
{
    // 4 bytes a pixel: what Qt's 32-bit formats take, the widest it makes of
    // these kinds.
    if (width > 0 && height > 0
        && std::uint64_t(width) * std::uint64_t(height) * 4u > PictureMemoryBudget())
        throw Error(PictureTooLargeToDecode(width, height));
}

namespace {

// Reads every image a Qt reader finds in the bytes with the format named
// explicitly (never guessed from the content); returns the largest. A null
// image when none could be read. A picture whose pixels would exceed the
// picture memory budget fails with "Picture too large to decode (W x H)"
// before they are allocated.
QImage ReadLargest(const std::vector<std::uint8_t>& bytes, const char* format, bool all)
{
    if (bytes.empty())
        return {};
    ApplyPictureBudget();
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    QImage best;
    for (int n = 0; n < 256; ++n) {
        const QSize size = reader.size();
        CheckDecodedSize(size.width(), size.height());
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
    DrawImage(painter, target, pixels_.image);
}

std::unique_ptr<TGraphic> TMetafile::Clone() const
{
    return std::make_unique<TMetafile>(*this);
}

void TMetafile::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    MetafilePixels pixels = RenderMetafile(kind_, bytes);
    CheckDecodedSize(pixels.image.width(), pixels.image.height());
    pixels_ = std::move(pixels);
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
    TakeBytes(std::vector<std::uint8_t>(bytes));
}

void TGraphic::TakeBytes(std::vector<std::uint8_t>&& bytes)
{
    LoadFromBytes(bytes);
}

void TJPEGGraphic::TakeBytes(std::vector<std::uint8_t>&& bytes)
{
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(std::move(bytes));
    jpeg_ = jpeg;
    cachedScale_ = 0;
    cachedPixels_.reset();
    cachedImage_ = QImage();
    lastScale_ = 0;
}

} // namespace mg
