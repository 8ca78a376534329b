// Reading and drawing the picture kinds.
#include "ui/Graphics.h"

#include "base/Error.h"
#include "base/JpegOrientation.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

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
    if (width > 0 && height > 0 && std::uint64_t(width) * std::uint64_t(height) * 4u > PictureMemoryBudget())
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
    QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
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
        if (!image.isNull() && qint64(image.width()) * image.height() > qint64(best.width()) * best.height())
            best = image;
        if (!all || !reader.jumpToNextImage())
            break;
    }
    // Detach from the caller's bytes.
    best.detach();
    return best;
}

// True when every PNG chunk up to IEND lies within the bytes. Qt's PNG reader
// walks a chunk that claims more bytes than the file holds (a few hundred
// hostile bytes claiming a gigabyte of text) for seconds, filling the
// missing bytes with zeros, before it fails anyway: such a file is refused
// here at once.
bool PngChunksFit(const std::vector<std::uint8_t>& bytes)
{
    constexpr std::size_t kSignature = 8;
    std::size_t at = kSignature;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t length = std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16
                                     | std::uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
        const bool end = std::memcmp(&bytes[at + 4], "IEND", 4) == 0;
        // Length, type, data and CRC.
        if (length > bytes.size() - at - 8 || bytes.size() - at - 8 - length < 4)
            return end && length == 0; // an IEND without its CRC is still read
        if (end)
            return true;
        at += 12 + std::size_t(length);
    }
    return bytes.size() >= kSignature;
}

// Maps the stored picture, laid out in a rectangle at the origin with the
// stored width and height (the target's sides exchanged when the orientation
// exchanges them), onto the target as EXIF orientation says.
QTransform OrientationTransform(int orientation, const QRect& target)
{
    const qreal w = target.width();
    const qreal h = target.height();
    QTransform t;
    switch (orientation) {
    case 2:
        t = QTransform(-1, 0, 0, 1, w, 0);
        break;
    case 3:
        t = QTransform(-1, 0, 0, -1, w, h);
        break;
    case 4:
        t = QTransform(1, 0, 0, -1, 0, h);
        break;
    case 5:
        t = QTransform(0, 1, 1, 0, 0, 0);
        break;
    case 6:
        t = QTransform(0, 1, -1, 0, w, 0);
        break;
    case 7:
        t = QTransform(0, -1, -1, 0, w, h);
        break;
    case 8:
        t = QTransform(0, -1, 1, 0, 0, h);
        break;
    default:
        break;
    }
    return t * QTransform::fromTranslate(target.x(), target.y());
}

void DrawOriented(QPainter& painter, const QRect& target, const QImage& image, int orientation)
{
    if (orientation <= 1 || orientation > 8) {
        DrawImage(painter, target, image);
        return;
    }
    if (image.isNull() || target.isEmpty())
        return;
    const QSize stored = OrientationSwapsSides(orientation) ? target.size().transposed() : target.size();
    painter.save();
    painter.setTransform(OrientationTransform(orientation, target), true);
    if (stored != image.size())
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRect(QPoint(0, 0), stored), image);
    painter.restore();
}

// The side in device pixels of a side given in the painter's logical pixels:
// on a high-density screen (device pixel ratio 2) a pane 300 pixels wide
// shows 600 pixels.
int DeviceSide(const QPainter& painter, int side)
{
    const QPaintDevice* device = painter.device();
    const qreal ratio = device ? device->devicePixelRatioF() : 1.0;
    if (ratio <= 1.0)
        return side;
    return int(std::ceil(side * ratio - 1e-9));
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

void TReaderImage::Draw(QPainter& painter, const QRect& target) const
{
    DrawImage(painter, target, image_);
}

std::unique_ptr<TGraphic> TReaderImage::Clone() const
{
    return std::make_unique<TReaderImage>(*this);
}

void TReaderImage::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    // The WebP and TIFF readers come as plug-ins in a package of their own;
    // without one the file is not broken, and the message says what is missing.
    if (!QImageReader::supportedImageFormats().contains(QByteArray(format_))) {
        const bool svg = std::string(format_).rfind("svg", 0) == 0;
        throw Error(std::string("No picture reader for ") + format_ + " is installed (package "
                    + (svg ? "libqt6svg6" : "qt6-image-formats-plugins") + ")");
    }
    if (std::strcmp(format_, "png") == 0 && !PngChunksFit(bytes))
        throw Error(invalidText_);
    QImage image = ReadLargest(bytes, format_, false);
    if (image.isNull())
        throw Error(invalidText_);
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
    // Drawn at its natural size (an unfitted view, the snapshot) the picture
    // takes its natural size in pixels, so that size meets the budget too.
    CheckDecodedSize(vectors.naturalWidth, vectors.naturalHeight);
    naturalWidth_ = vectors.naturalWidth;
    naturalHeight_ = vectors.naturalHeight;
    renderer_ = std::move(renderer);
    cached_ = QImage();
    cachedFor_ = QSize();
}

void JpegGraphic::Draw(QPainter& painter, const QRect& target) const
{
    if (jpeg_.Empty() || target.isEmpty())
        return;
    // The decode scale covers the target in the stored picture's own
    // orientation and in device pixels, so an upright-turned photo and a
    // high-density screen both get every pixel they show.
    int wide = DeviceSide(painter, target.width());
    int high = DeviceSide(painter, target.height());
    if (OrientationSwapsSides(orientation_))
        std::swap(wide, high);
    const int scale = jpeg_.ScaleFor(wide, high);
    if (scale != cachedScale_ || !cachedPixels_) {
        // Decode caches per scale inside the shared TJPEGImage, so a copy of
        // this picture (the snapshot) reuses what was decoded here.
        std::shared_ptr<const JpegPixels> pixels = jpeg_.Decode(scale);
        cachedImage_ = QImage(pixels->rgb.data(), pixels->width, pixels->height, qsizetype(pixels->width) * 3,
                              QImage::Format_RGB888);
        cachedPixels_ = std::move(pixels);
        cachedScale_ = scale;
    }
    lastScale_ = scale;
    DrawOriented(painter, target, cachedImage_, orientation_);
}

JpegGraphic::JpegGraphic(const TJPEGImage& jpeg)
    : jpeg_(jpeg), orientation_(JpegOrientation(jpeg.Bytes().data(), jpeg.Bytes().size()))
{
}

int JpegGraphic::Width() const
{
    return OrientationSwapsSides(orientation_) ? jpeg_.Height() : jpeg_.Width();
}

int JpegGraphic::Height() const
{
    return OrientationSwapsSides(orientation_) ? jpeg_.Width() : jpeg_.Height();
}

std::unique_ptr<TGraphic> JpegGraphic::Clone() const
{
    return std::make_unique<JpegGraphic>(*this);
}

void JpegGraphic::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    TakeBytes(std::vector<std::uint8_t>(bytes));
}

void TGraphic::TakeBytes(std::vector<std::uint8_t>&& bytes)
{
    LoadFromBytes(bytes);
}

void JpegGraphic::TakeBytes(std::vector<std::uint8_t>&& bytes)
{
    // The orientation is read before the picture takes the bytes over.
    const int orientation = JpegOrientation(bytes.data(), bytes.size());
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(std::move(bytes));
    jpeg_ = jpeg;
    orientation_ = orientation;
    cachedScale_ = 0;
    cachedPixels_.reset();
    cachedImage_ = QImage();
    lastScale_ = 0;
}

} // namespace mg
