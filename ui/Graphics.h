#pragma once
// The picture kinds an image control can hold. Each graphic knows its natural
// size and draws itself scaled into a target rectangle. Loading takes the
// whole file's bytes and raises mg::Error with a clear text when they are not
// a picture of that kind; a failed load leaves the graphic as it was.
#include "base/JPEGImage.h"
#include "ui/MetafileClient.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

class QPainter;
class QSvgRenderer;

namespace mg {

// Every picture kind read through Qt gets the picture memory budget
// (PictureMemoryBudget): Qt's reader is allowed up to it, and a picture whose
// pixels would need more fails with "Picture too large to decode (W x H)".
// Kinds added later call both before reading.
void ApplyPictureBudget();
void CheckDecodedSize(int width, int height);

class TGraphic {
public:
    virtual ~TGraphic() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() <= 0 || Height() <= 0; }
    // Draws the graphic scaled to target. May raise mg::Error (a JPEG whose
    // data turns out damaged at its first decode).
    virtual void Draw(QPainter& painter, const QRect& target) const = 0;
    // A copy of its own; pixel data is shared where it is immutable.
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    // Replaces the content with a picture read from the bytes of a file.
    virtual void LoadFromBytes(const std::vector<std::uint8_t>& bytes) = 0;
    // The same, free to keep the buffer itself instead of a copy (a JPEG
    // picture keeps its file's bytes, which are then held once).
    virtual void TakeBytes(std::vector<std::uint8_t>&& bytes);
    virtual const char* ClassName() const = 0;

protected:
    TGraphic() = default;
    TGraphic(const TGraphic&) = default;
    TGraphic& operator=(const TGraphic&) = default;
};

// A raster picture read from a BMP file, or made from an image (the viewer's
// 24-bit noise picture).
class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    explicit TBitmap(const QImage& image) : image_(image) {}
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    std::unique_ptr<TGraphic> Clone() const override;
    // Throws mg::Error("Bitmap image is not valid").
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes) override;
    const char* ClassName() const override { return "TBitmap"; }
    const QImage& Image() const { return image_; }

private:
    QImage image_;
};

// An icon read from an ICO file; the largest entry is kept.
class TIcon : public TGraphic {
public:
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    std::unique_ptr<TGraphic> Clone() const override;
    // Throws mg::Error("Icon image is not valid").
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes) override;
    const char* ClassName() const override { return "TIcon"; }
    const QImage& Image() const { return image_; }

private:
    QImage image_;
};

// A picture read by one of Qt's image readers, its format named explicitly:
// PNG, GIF (the first frame), WebP, TIFF (the first page) and SVG (drawn at
// its own size). Read through the same path as bitmaps and icons.
class TReaderImage : public TGraphic {
public:
    // format: the Qt reader's format name ("png", "webp", ...); invalidText:
    // the load error for bytes that reader cannot read.
    TReaderImage(const char* format, const char* invalidText) : format_(format), invalidText_(invalidText) {}
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void Draw(QPainter& painter, const QRect& target) const override;
    std::unique_ptr<TGraphic> Clone() const override;
    // Throws mg::Error(invalidText), or an error naming the missing reader
    // when Qt has no reader for the format installed.
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes) override;
    const char* ClassName() const override { return "TReaderImage"; }
    const char* Format() const { return format_; }
    const QImage& Image() const { return image_; }

private:
    const char* format_;
    const char* invalidText_;
    QImage image_;
};

// A WMF or EMF metafile, turned into vectors by the metafile helper process
// and drawn at the size it is shown, so a fitted or enlarged metafile stays
// sharp. The last drawing is kept for repaints at the same size.
class TMetafile : public TGraphic {
public:
    explicit TMetafile(MetafileKind kind) : kind_(kind) {}
    int Width() const override { return naturalWidth_; }
    int Height() const override { return naturalHeight_; }
    void Draw(QPainter& painter, const QRect& target) const override;
    std::unique_ptr<TGraphic> Clone() const override;
    // Throws mg::Error("Metafile image is not valid").
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes) override;
    const char* ClassName() const override { return "TMetafile"; }
    MetafileKind Kind() const { return kind_; }
    // The picture drawn on white at the size in pixels (at most
    // kMetafileMaxSide a side; larger sizes are drawn smaller, keeping the
    // proportions).
    QImage Render(const QSize& pixels) const;

private:
    MetafileKind kind_;
    int naturalWidth_ = 0;
    int naturalHeight_ = 0;
    std::shared_ptr<QSvgRenderer> renderer_; // shared by copies, never changed
    mutable QImage cached_;
    mutable QSize cachedFor_;
};

// A JPEG picture: the header is read at load, the pixels are decoded when the
// picture is first drawn, at the smallest libjpeg scale that still covers the
// target in device pixels (each scale is decoded once and kept by the shared
// TJPEGImage). The EXIF orientation is applied when drawing; the size is the
// upright size, so a photo taken with the phone held upright is taller than
// wide wherever its size is used.
class JpegGraphic : public TGraphic {
public:
    JpegGraphic() = default;
    explicit JpegGraphic(const TJPEGImage& jpeg);
    JpegGraphic(const JpegGraphic& other) : TGraphic(other), jpeg_(other.jpeg_), orientation_(other.orientation_) {}
    int Width() const override;
    int Height() const override;
    // Throws mg::Error when the data cannot be decoded.
    void Draw(QPainter& painter, const QRect& target) const override;
    std::unique_ptr<TGraphic> Clone() const override;
    // Throws mg::Error("JPEG error #%d") when libjpeg rejects the header.
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes) override;
    void TakeBytes(std::vector<std::uint8_t>&& bytes) override;
    const char* ClassName() const override { return "TJPEGImage"; }
    const TJPEGImage& Jpeg() const { return jpeg_; }
    // The EXIF orientation (1 to 8) applied when drawing.
    int Orientation() const { return orientation_; }
    // The libjpeg scale (eighths) the last drawing decoded at; 0 before any.
    int LastScale() const { return lastScale_; }

private:
    TJPEGImage jpeg_;
    int orientation_ = 1;
    mutable int lastScale_ = 0;
    mutable int cachedScale_ = 0;
    mutable std::shared_ptr<const JpegPixels> cachedPixels_;
    mutable QImage cachedImage_; // wraps cachedPixels_ without copying
};

} // namespace mg
